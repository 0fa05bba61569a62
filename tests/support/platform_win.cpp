#include <windows.h>

#include "support/platform.h"

namespace kestrova::test {

bool makeFifo(const std::filesystem::path&) {
    return false;
}

bool permissionsIgnored() {
    return false;
}

bool folderPermissionsStopWrites() {
    return false;
}

std::uint64_t fileIdentity(const std::filesystem::path& file) {
    const HANDLE handle = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool got = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    return got ? (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow : 0;
}

long long currentProcessId() {
    return GetCurrentProcessId();
}

bool makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    if (std::filesystem::is_directory(target, error)) {
        std::filesystem::create_directory_symlink(target, link, error);
    } else {
        std::filesystem::create_symlink(target, link, error);
    }
    // Wine may answer with a copy of the target where Windows makes a link.
    return !error && (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace kestrova::test
