#include <sys/stat.h>
#include <unistd.h>

#include "support/platform.h"

namespace kestrova::test {

bool makeFifo(const std::filesystem::path& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

bool permissionsIgnored() {
    return ::geteuid() == 0;
}

bool folderPermissionsStopWrites() {
    return true;
}

std::uint64_t fileIdentity(const std::filesystem::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

long long currentProcessId() {
    return ::getpid();
}

bool makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return !error;
}

}  // namespace kestrova::test
