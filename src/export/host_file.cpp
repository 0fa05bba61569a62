#include "export/host_file.h"

#include <algorithm>
#include <system_error>

#include "export/host_file_platform.h"
#include "services/atomic_file.h"
#include "services/cp932.h"
#include "services/ss_logging.h"

namespace kestrova {

namespace {

namespace fs = std::filesystem;

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

[[noreturn]] void failWrite(const fs::path& target, const std::error_code& error) {
    throw FileError("ファイルの書き込みに失敗しました。(" + pathText(target) + ": " +
                    fileErrorReason(error) + ")");
}

}  // namespace

void ensureFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        return;
    }
    fs::create_directory(folder, ec);
    std::error_code check;
    if (ec || !fs::is_directory(folder, check)) {
        throw FileError("フォルダを作成できませんでした。(" + pathText(folder) + ": " +
                        (ec ? fileErrorReason(ec) : std::string("同じ名前のファイルがあります")) +
                        ")");
    }
}

void replaceHostFile(const fs::path& target, std::string_view bytes) {
    fs::path temporary = target;
    temporary += ".kestrova-tmp";
    std::error_code ignored;
    std::error_code error = createFileWith(temporary, bytes);
    if (error == std::errc::file_exists) {
        // Left behind by a run that was killed; only this program uses the name.
        fs::remove(temporary, ignored);
        error = createFileWith(temporary, bytes);
    }
    if (!error) {
        fs::rename(temporary, target, error);
    }
    if (error) {
        fs::remove(temporary, ignored);
        failWrite(target, error);
    }
}

void writeHostFile(const SsLogging& log, std::string_view tag, const fs::path& target,
                   std::string_view utf8) {
    if (isAscii(utf8)) {
        replaceHostFile(target, utf8);
        return;
    }
    const Cp932Text text = toCp932(utf8);
    if (text.unmappable > 0) {
        log.WarnLog(std::string(tag) + ": " + pathText(target.filename()) +
                    " に CP932 で表せない文字が " + std::to_string(text.unmappable) +
                    " 個あり、「?」で書きました。");
    }
    replaceHostFile(target, text.bytes);
}

void flushHostFiles(const SsLogging& log, std::string_view tag, const fs::path& hostFolder) {
    if (const std::error_code error = flushFileSystem(hostFolder)) {
        log.WarnLog(std::string(tag) + ": ディスクへの書き出しに失敗しました。(" +
                    pathText(hostFolder) + ": " + fileErrorReason(error) + ")");
    }
}

}  // namespace kestrova
