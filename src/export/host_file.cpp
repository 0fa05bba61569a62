#include "export/host_file.h"

#include <system_error>

#include "base/cp932.h"
#include "base/errors.h"
#include "base/new_file.h"
#include "base/ss_logging.h"

namespace kestrova {

namespace fs = std::filesystem;

HostWriter::HostWriter(const fs::path& hostFolder)
    : root_(WriteFolder::openRoot(hostFolder)), temporarySuffix_(uniqueTemporarySuffix()) {}

bool HostWriter::lock() {
    lock_ = root_.tryLock(kRunLockFile);
    return lock_ != nullptr;
}

const WriteFolder& HostWriter::folder(const fs::path& relative, std::size_t createLevels) {
    std::size_t levels = 0;
    for (auto it = relative.begin(); it != relative.end(); ++it) {
        ++levels;
    }
    const WriteFolder* parent = &root_;
    std::string key;
    std::size_t level = 0;
    for (const fs::path& part : relative) {
        ++level;
        const std::string name = pathText(part);
        key += '/';
        key += name;
        auto found = folders_.find(key);
        if (found == folders_.end()) {
            WriteFolder opened = parent->child(name, level + createLevels > levels);
            if (level == levels) {
                // This run holds the lock: what carries the marker here is a dead run's.
                opened.removeFilesContaining(kTemporaryMarker);
            }
            found = folders_.emplace(key, std::move(opened)).first;
        }
        parent = &found->second;
    }
    return *parent;
}

void HostWriter::writeText(const SsLogging& log, std::string_view tag, const WriteFolder& folder,
                           std::string_view name, std::string_view utf8) const {
    const Cp932Text text = toCp932(utf8);
    if (text.unmappable > 0) {
        log.WarnLog(std::string(tag) + ": " + std::string(name) + " に CP932 で表せない文字が " +
                    std::to_string(text.unmappable) + " 個あり、「?」で書きました。");
    }
    folder.replaceFile(name, text.bytes, temporarySuffix_);
}

void HostWriter::flush(const SsLogging& log, std::string_view tag) const {
    if (const std::error_code error = root_.flush()) {
        log.WarnLog(std::string(tag) + ": ディスクへの書き出しに失敗しました。(" +
                    pathText(root_.path()) + ": " + fileErrorReason(error) + ")");
    }
}

}  // namespace kestrova
