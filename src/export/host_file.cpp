#include "export/host_file.h"

#include <algorithm>
#include <system_error>

#include "services/atomic_file.h"
#include "services/cp932.h"
#include "services/ss_logging.h"

namespace kestrova {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void ensureFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) {
        return;
    }
    std::filesystem::create_directory(folder, ec);
    std::error_code check;
    if (ec || !std::filesystem::is_directory(folder, check)) {
        throw FileError("フォルダを作成できませんでした。(" + folder.string() + ": " +
                        (ec ? ec.message() : std::string("同じ名前のファイルがあります")) + ")");
    }
}

void writeHostFile(const SsLogging& log, std::string_view tag, const std::filesystem::path& target,
                   std::string_view utf8) {
    if (isAscii(utf8)) {
        writeFileAtomically(target, utf8);
        return;
    }
    const Cp932Text text = toCp932(utf8);
    if (text.unmappable > 0) {
        log.WarnLog(std::string(tag) + ": " + target.filename().string() +
                    " に CP932 で表せない文字が " + std::to_string(text.unmappable) +
                    " 個あり、「?」で書きました。");
    }
    writeFileAtomically(target, text.bytes);
}

}  // namespace kestrova
