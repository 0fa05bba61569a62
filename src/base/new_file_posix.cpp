#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "base/errors.h"
#include "base/new_file.h"

namespace kestrova {
namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    /// Closes now; a failed close can be the first report of a failed write on network
    /// file systems.
    std::error_code close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && ::close(fd) != 0 ? lastError() : std::error_code();
    }

  private:
    int fd_;
};

}  // namespace

std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes,
                             bool flush) {
    Descriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        return lastError();
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd.get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (flush && ::fsync(fd.get()) != 0) {
        return lastError();
    }
    return fd.close();
}

std::error_code renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) != 0 ? lastError() : std::error_code();
}

std::error_code asGenericError(const std::error_code& error) {
    return error;  // errno values already
}

std::size_t removeAbandonedTemporaries(const std::filesystem::path& folder,
                                       std::string_view prefix) {
    const std::filesystem::path where = folder.empty() ? "." : folder;
    DIR* dir = ::opendir(where.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const int fd = ::dirfd(dir);
    const auto before =
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - kAbandonedAfter);
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        struct stat st {};
        if (name.starts_with(prefix) && isAbandonedTemporary(name) &&
            ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_mtime < before && ::unlinkat(fd, entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

std::error_code readRegularFile(const std::filesystem::path& file, std::string& bytes,
                                std::uint64_t maxBytes, FollowLink follow) {
    // Without O_NONBLOCK the open of a FIFO would wait for a writer that never comes.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (follow == FollowLink::No) {
        flags |= O_NOFOLLOW;
    }
    Descriptor fd(::open(file.c_str(), flags));
    if (fd.get() < 0) {
        return lastError();
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return lastError();
    }
    if (S_ISDIR(st.st_mode)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    if (!S_ISREG(st.st_mode)) {
        return std::make_error_code(std::errc::not_supported);
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > maxBytes) {
        return std::make_error_code(std::errc::file_too_large);
    }
    // One byte more than the size tells the end from a file that grew meanwhile, without
    // moving the buffer.
    bytes.clear();
    bytes.resize(static_cast<std::size_t>(size) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            bytes.resize(have + std::max<std::size_t>(have / 2, 4096));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
        if (have > maxBytes) {
            return std::make_error_code(std::errc::file_too_large);
        }
    }
    bytes.resize(have);
    return {};
}

std::error_code touchWithoutFollowing(const std::filesystem::path& file) {
    return ::utimensat(AT_FDCWD, file.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0
               ? lastError()
               : std::error_code();
}

}  // namespace kestrova
