#include "export/host_folder.h"

#include <system_error>

#include "base/atomic_file.h"

namespace kestrova {

bool isHostFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(folder / "TFJV.EXE", ignored);
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
