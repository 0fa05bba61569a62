#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "base/new_file.h"
#include "base/windows_text.h"
#include "base/write_folder.h"

// Windows has no openat: each step goes by path, and whatever sits in a name's place is
// looked at itself (a symbolic link or junction is a reparse point) before it is used.

namespace kestrova {

namespace fs = std::filesystem;

namespace {

using windows::lastWindowsError;

[[noreturn]] void fail(std::string_view what, const fs::path& path, const std::error_code& error) {
    throw FileError(std::string(what) + "(" + pathText(path) + ": " + fileErrorReason(error) + ")");
}

[[noreturn]] void fail(std::string_view what, const fs::path& path, std::string_view reason) {
    throw FileError(std::string(what) + "(" + pathText(path) + ": " + std::string(reason) + ")");
}

/// One name inside a folder; anything that would reach another folder or stream is refused.
void checkName(const fs::path& folder, std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\\:\0", 4)) != std::string_view::npos) {
        fail("ファイル名が正しくありません。", folder / pathFromUtf8(name),
             "名前が正しくありません");
    }
}

class Handle {
  public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    ~Handle() { reset(); }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    /// Closes now; a failed close can be the first report of a failed write.
    std::error_code close() {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return handle != INVALID_HANDLE_VALUE && !CloseHandle(handle) ? lastWindowsError()
                                                                      : std::error_code();
    }

  private:
    void reset() {
        if (valid()) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }
    HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

/// The attributes of what is at `path` itself (a link is not followed); nothing when there
/// is nothing, an error when it cannot be told.
struct Found {
    bool exists = false;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    std::error_code error;
};
Found lookAt(const fs::path& path) {
    Found found;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &found.data)) {
        found.exists = true;
        return found;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        found.error = windows::errorFromWindows(error);
    }
    return found;
}

bool isLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

/// Opens the folder at `path` itself; a link or a file there is not a folder.
Handle openFolder(const fs::path& path) {
    return Handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

std::error_code writeAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) {
            return lastWindowsError();
        }
        bytes.remove_prefix(written);
    }
    return {};
}

/// True when the regular file at `path` holds `bytes` and nothing else.
bool holdsExactly(const fs::path& path, std::string_view bytes) {
    Handle handle(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.valid()) {
        return false;
    }
    std::vector<char> buffer(64 * 1024);
    std::size_t offset = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr)) {
            return false;
        }
        if (got == 0) {
            return offset == bytes.size();
        }
        if (offset + got > bytes.size() ||
            std::memcmp(buffer.data(), bytes.data() + offset, got) != 0) {
            return false;
        }
        offset += got;
    }
}

}  // namespace

struct WriteFolder::Impl {
    Handle folder;  ///< held open: the folder cannot be renamed or removed meanwhile
    fs::path path;
    /// Files replaced without flushing, for flush().
    mutable std::vector<fs::path> unflushed;
};

WriteFolder::WriteFolder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WriteFolder::WriteFolder(WriteFolder&&) noexcept = default;
WriteFolder& WriteFolder::operator=(WriteFolder&&) noexcept = default;
WriteFolder::~WriteFolder() = default;

const fs::path& WriteFolder::path() const {
    return impl_->path;
}

WriteFolder WriteFolder::openRoot(const fs::path& root) {
    // The root may be a link: it is followed.
    Handle folder(CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) {
        fail("フォルダを開けませんでした。", root, lastWindowsError());
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.get(), &info)) {
        fail("フォルダを開けませんでした。", root, lastWindowsError());
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        fail("フォルダを開けませんでした。", root,
             std::make_error_code(std::errc::not_a_directory));
    }
    return WriteFolder(std::make_unique<Impl>(Impl{std::move(folder), root, {}}));
}

WriteFolder WriteFolder::child(std::string_view name, bool create) const {
    checkName(impl_->path, name);
    const fs::path path = impl_->path / pathFromUtf8(name);
    Found found = lookAt(path);
    if (!found.exists && !found.error && create) {
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            fail("フォルダを作成できませんでした。", path, lastWindowsError());
        }
        found = lookAt(path);
    }
    if (found.error) {
        fail("フォルダを開けませんでした。", path, found.error);
    }
    if (!found.exists) {
        fail("フォルダを開けませんでした。", path,
             std::make_error_code(std::errc::no_such_file_or_directory));
    }
    const auto notAFolder = [&] {
        fail("フォルダを開けませんでした。", path, "フォルダではありません（リンクは使えません）");
    };
    if (isLink(found.data.dwFileAttributes) ||
        (found.data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        notAFolder();
    }
    Handle folder = openFolder(path);
    if (!folder.valid()) {
        fail("フォルダを開けませんでした。", path, lastWindowsError());
    }
    // What was opened is what was looked at: not swapped for a link in between.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.get(), &info) || isLink(info.dwFileAttributes) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        notAFolder();
    }
    return WriteFolder(std::make_unique<Impl>(Impl{std::move(folder), path, {}}));
}

void WriteFolder::replaceFile(std::string_view name, std::string_view bytes,
                              std::string_view temporarySuffix, bool flushNow) const {
    checkName(impl_->path, name);
    const fs::path path = impl_->path / pathFromUtf8(name);
    constexpr std::string_view kWriteFailed = "ファイルの書き込みに失敗しました。";

    const Found existing = lookAt(path);
    if (existing.error) {
        fail(kWriteFailed, path, existing.error);
    }
    const DWORD attributes = existing.data.dwFileAttributes;
    if (existing.exists && (isLink(attributes) || (attributes & (FILE_ATTRIBUTE_DIRECTORY |
                                                                 FILE_ATTRIBUTE_DEVICE)) != 0)) {
        fail(kWriteFailed, path, "通常のファイルではないため置き換えません");
    }
    // The user made it read-only to keep it.
    if (existing.exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        fail(kWriteFailed, path, "読み取り専用のファイルです");
    }
    const std::uint64_t size = (static_cast<std::uint64_t>(existing.data.nFileSizeHigh) << 32) |
                               existing.data.nFileSizeLow;
    if (existing.exists && size == bytes.size() && holdsExactly(path, bytes)) {
        return;
    }

    const std::string temporaryName = std::string(name) + std::string(temporarySuffix);
    checkName(impl_->path, temporaryName);
    const fs::path temporary = impl_->path / pathFromUtf8(temporaryName);
    const auto create = [&] {
        return Handle(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    Handle file = create();
    if (!file.valid() && GetLastError() == ERROR_FILE_EXISTS) {
        DeleteFileW(temporary.c_str());
        file = create();
    }
    if (!file.valid()) {
        fail(kWriteFailed, path, lastWindowsError());
    }
    std::error_code error = writeAll(file.get(), bytes);
    if (!error && flushNow && !FlushFileBuffers(file.get())) {
        error = lastWindowsError();
    }
    if (const std::error_code closed = file.close(); !error) {
        error = closed;
    }
    if (!error) {
        error = renameOver(temporary, path);
    }
    if (error) {
        DeleteFileW(temporary.c_str());
        fail(kWriteFailed, path, error);
    }
    if (!flushNow) {
        impl_->unflushed.push_back(path);
    }
}

std::size_t WriteFolder::removeFilesContaining(std::string_view marker) const {
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW((impl_->path / L"*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::size_t removed = 0;
    do {
        const std::string name = windows::narrow(entry.cFileName);
        const DWORD notRegular =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        if (name.find(marker) != std::string::npos && (entry.dwFileAttributes & notRegular) == 0 &&
            DeleteFileW((impl_->path / entry.cFileName).c_str())) {
            ++removed;
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return removed;
}

std::error_code WriteFolder::flush() const {
    // A whole volume flushes only for an administrator: each file written flushes instead.
    std::error_code first;
    for (const fs::path& path : impl_->unflushed) {
        Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if ((!file.valid() || !FlushFileBuffers(file.get())) && !first) {
            first = lastWindowsError();
        }
    }
    impl_->unflushed.clear();
    return first;
}

std::unique_ptr<WriteFolder::Lock> WriteFolder::tryLock(std::string_view name) const {
    checkName(impl_->path, name);
    const fs::path path = impl_->path / pathFromUtf8(name);
    constexpr std::string_view kCannotOpen = "ロックファイルを開けませんでした。";
    const Found existing = lookAt(path);
    if (existing.exists && (isLink(existing.data.dwFileAttributes) ||
                            (existing.data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
        fail(kCannotOpen, path, std::make_error_code(std::errc::too_many_symbolic_link_levels));
    }
    Handle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                            OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        fail(kCannotOpen, path, lastWindowsError());
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                    MAXDWORD, &whole)) {
        if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING) {
            return nullptr;
        }
        fail(kCannotOpen, path, lastWindowsError());
    }
    return std::make_unique<Lock>(reinterpret_cast<std::intptr_t>(file.release()));
}

WriteFolder::Lock::~Lock() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));  // releases the lock
}

}  // namespace kestrova
