#include "export/host_file.h"

#include <system_error>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/new_file.h"
#include "base/ss_logging.h"

namespace kestrova {

namespace fs = std::filesystem;

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
    writeFileAtomically(target, bytes, FlushToDisk::Later);
}

void writeHostFile(const SsLogging& log, std::string_view tag, const fs::path& target,
                   std::string_view utf8) {
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
