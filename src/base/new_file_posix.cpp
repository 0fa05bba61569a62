#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "base/new_file.h"

namespace kestrova {
namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

}  // namespace

std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes,
                             FlushToDisk flush) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return lastError();
    }
    std::error_code error;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0 && !error) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno != EINTR) {
                error = lastError();
            }
            continue;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (!error && flush == FlushToDisk::Now && ::fsync(fd) != 0) {
        error = lastError();
    }
    // A failed close can be the first report of a failed write on network file systems.
    if (::close(fd) != 0 && !error) {
        error = lastError();
    }
    return error;
}

std::error_code flushFileSystem(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    std::error_code error;
    if (::syncfs(fd) != 0) {
        error = lastError();
    }
    ::close(fd);
    return error;
}

}  // namespace kestrova
