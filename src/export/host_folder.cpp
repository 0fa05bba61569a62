#include "export/host_folder.h"

#include <system_error>

#include "base/atomic_file.h"
#include "base/text.h"

namespace kestrova {

bool isHostFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::is_regular_file(folder / "TFJV.EXE", error)) {
        return true;
    }
    // A copy from a Windows disk may carry the name in another letter case.
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (equalsIgnoringAsciiCase(pathText(entry.path().filename()), "TFJV.EXE") &&
            entry.is_regular_file(ignored)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> hostFolderProblem(const std::filesystem::path& folder) {
    if (folder.empty()) {
        return std::string(kHostFolderNotSet);
    }
    if (!isHostFolder(folder)) {
        return std::string(kNotAHostFolder) + "\r\n" + pathText(folder);
    }
    return std::nullopt;
}

}  // namespace kestrova
