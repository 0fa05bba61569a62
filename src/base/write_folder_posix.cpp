#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "base/write_folder.h"

namespace kestrova {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

[[noreturn]] void fail(std::string_view what, const fs::path& path, const std::error_code& error) {
    throw FileError(std::string(what) + "(" + pathText(path) + ": " + fileErrorReason(error) + ")");
}

[[noreturn]] void fail(std::string_view what, const fs::path& path, std::string_view reason) {
    throw FileError(std::string(what) + "(" + pathText(path) + ": " + std::string(reason) + ")");
}

/// One name inside a folder; anything that would reach another folder is refused.
void checkName(const fs::path& folder, std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        fail("ファイル名が正しくありません。", folder / std::string(name),
             "名前が正しくありません");
    }
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    /// Closes now; a failed close can be the first report of a failed write.
    std::error_code close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && ::close(fd) != 0 ? lastError() : std::error_code();
    }

  private:
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    int fd_;
};

std::error_code writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

/// True when the regular file `name` in `dir` holds `bytes` and nothing else.
bool holdsExactly(int dir, const std::string& name, std::string_view bytes) {
    Descriptor fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        return false;
    }
    char buffer[64 * 1024];
    std::size_t offset = 0;
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return offset == bytes.size();
        }
        const auto size = static_cast<std::size_t>(got);
        if (offset + size > bytes.size() || std::memcmp(buffer, bytes.data() + offset, size) != 0) {
            return false;
        }
        offset += size;
    }
}

}  // namespace

struct WriteFolder::Impl {
    Descriptor fd;
    fs::path path;
};

WriteFolder::WriteFolder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WriteFolder::WriteFolder(WriteFolder&&) noexcept = default;
WriteFolder& WriteFolder::operator=(WriteFolder&&) noexcept = default;
WriteFolder::~WriteFolder() = default;

const fs::path& WriteFolder::path() const {
    return impl_->path;
}

WriteFolder WriteFolder::openRoot(const fs::path& root) {
    Descriptor fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        fail("フォルダを開けませんでした。", root, lastError());
    }
    return WriteFolder(std::make_unique<Impl>(Impl{std::move(fd), root}));
}

WriteFolder WriteFolder::child(std::string_view name, bool create) const {
    checkName(impl_->path, name);
    const std::string text(name);
    const fs::path path = impl_->path / text;
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Descriptor fd(::openat(impl_->fd.get(), text.c_str(), flags));
    if (fd.get() < 0 && errno == ENOENT && create) {
        if (::mkdirat(impl_->fd.get(), text.c_str(), 0777) != 0 && errno != EEXIST) {
            fail("フォルダを作成できませんでした。", path, lastError());
        }
        fd = Descriptor(::openat(impl_->fd.get(), text.c_str(), flags));
    }
    if (fd.get() < 0) {
        // O_NOFOLLOW reports a link as ELOOP, O_DIRECTORY a file as ENOTDIR.
        if (errno == ELOOP || errno == ENOTDIR) {
            fail("フォルダを開けませんでした。", path,
                 "フォルダではありません（リンクは使えません）");
        }
        fail("フォルダを開けませんでした。", path, lastError());
    }
    return WriteFolder(std::make_unique<Impl>(Impl{std::move(fd), path}));
}

void WriteFolder::replaceFile(std::string_view name, std::string_view bytes,
                              std::string_view temporarySuffix, bool flushNow) const {
    checkName(impl_->path, name);
    const int dir = impl_->fd.get();
    const std::string target(name);
    const fs::path path = impl_->path / target;
    constexpr std::string_view kWriteFailed = "ファイルの書き込みに失敗しました。";

    struct stat existing {};
    const bool exists = ::fstatat(dir, target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) {
        fail(kWriteFailed, path, lastError());
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        fail(kWriteFailed, path, "通常のファイルではないため置き換えません");
    }
    // The user made it read-only to keep it; also when running as root.
    if (exists && (existing.st_mode & S_IWUSR) == 0) {
        fail(kWriteFailed, path, "読み取り専用のファイルです");
    }

    if (exists && static_cast<std::uint64_t>(existing.st_size) == bytes.size() &&
        holdsExactly(dir, target, bytes)) {
        return;
    }

    const std::string temporary = target + std::string(temporarySuffix);
    checkName(impl_->path, temporary);
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    Descriptor fd(::openat(dir, temporary.c_str(), flags, 0666));
    if (fd.get() < 0 && errno == EEXIST) {
        ::unlinkat(dir, temporary.c_str(), 0);
        fd = Descriptor(::openat(dir, temporary.c_str(), flags, 0666));
    }
    if (fd.get() < 0) {
        fail(kWriteFailed, path, lastError());
    }
    std::error_code error = writeAll(fd.get(), bytes);
    if (!error && flushNow && ::fsync(fd.get()) != 0) {
        error = lastError();
    }
    if (!error && exists && ::fchmod(fd.get(), existing.st_mode & 07777) != 0) {
        error = lastError();
    }
    if (const std::error_code closed = fd.close(); !error) {
        error = closed;
    }
    if (!error && ::renameat(dir, temporary.c_str(), dir, target.c_str()) != 0) {
        error = lastError();
    }
    if (error) {
        ::unlinkat(dir, temporary.c_str(), 0);
        fail(kWriteFailed, path, error);
    }
}

std::size_t WriteFolder::removeFilesContaining(std::string_view marker) const {
    // A descriptor of its own: the directory stream moves its position.
    const int fd = ::openat(impl_->fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        struct stat st {};
        if (name.find(marker) != std::string_view::npos &&
            ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            ::unlinkat(fd, entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

std::error_code WriteFolder::flush() const {
    return ::syncfs(impl_->fd.get()) != 0 ? lastError() : std::error_code();
}

std::unique_ptr<WriteFolder::Lock> WriteFolder::tryLock(std::string_view name) const {
    checkName(impl_->path, name);
    const std::string file(name);
    Descriptor fd(
        ::openat(impl_->fd.get(), file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        fail("ロックファイルを開けませんでした。", impl_->path / file, lastError());
    }
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return nullptr;
        }
        if (errno != EINTR) {
            fail("ロックファイルを開けませんでした。", impl_->path / file, lastError());
        }
    }
    return std::make_unique<Lock>(fd.release());
}

WriteFolder::Lock::~Lock() {
    ::close(static_cast<int>(handle_));  // releases the lock
}

}  // namespace kestrova
