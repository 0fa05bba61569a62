#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/atomic_file.h"
#include "base/new_file.h"
#include "base/windows_text.h"

namespace kestrova {
namespace {

using windows::lastWindowsError;

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    /// Closes now; a failed close can be the first report of a failed write.
    std::error_code close() {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return handle != INVALID_HANDLE_VALUE && !CloseHandle(handle) ? lastWindowsError()
                                                                      : std::error_code();
    }

  private:
    HANDLE handle_;
};

std::uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes,
                             bool flush) {
    Handle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        return lastWindowsError();
    }
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handle.get(), bytes.data(), chunk, &written, nullptr)) {
            return lastWindowsError();
        }
        bytes.remove_prefix(written);
    }
    if (flush && !FlushFileBuffers(handle.get())) {
        return lastWindowsError();
    }
    return handle.close();
}

std::error_code renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return {};
        }
        const DWORD error = GetLastError();
        if (attempt == 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return windows::errorFromWindows(error);
        }
        Sleep(50);
    }
}

std::size_t removeAbandonedTemporaries(const std::filesystem::path& folder,
                                       std::string_view prefix) {
    const std::filesystem::path where = folder.empty() ? "." : folder;
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW((where / L"*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    const std::uint64_t before =
        fileTimeValue(now) -
        static_cast<std::uint64_t>(std::chrono::seconds(kAbandonedAfter).count() * kTicksPerSecond);
    std::size_t removed = 0;
    do {
        const std::string name = windows::narrow(entry.cFileName);
        const DWORD notRegular =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        if (name.starts_with(prefix) && isAbandonedTemporary(name) &&
            (entry.dwFileAttributes & notRegular) == 0 &&
            fileTimeValue(entry.ftLastWriteTime) < before &&
            DeleteFileW((where / entry.cFileName).c_str())) {
            ++removed;
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return removed;
}

std::error_code readRegularFile(const std::filesystem::path& file, std::string& bytes,
                                std::uint64_t maxBytes, FollowLink follow) {
    // A folder opens only with backup semantics; it is then refused as one.
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (follow == FollowLink::No) {
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    }
    Handle handle(CreateFileW(file.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, flags, nullptr));
    if (!handle.valid()) {
        return lastWindowsError();
    }
    if (GetFileType(handle.get()) != FILE_TYPE_DISK) {
        return std::make_error_code(std::errc::not_supported);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        return lastWindowsError();
    }
    if (follow == FollowLink::No && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxBytes) {
        return std::make_error_code(std::errc::file_too_large);
    }
    // One byte more than the size tells the end from a file that grew meanwhile.
    bytes.clear();
    bytes.resize(static_cast<std::size_t>(size) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            bytes.resize(have + std::max<std::size_t>(have / 2, 4096));
        }
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - have, 1 << 30));
        DWORD got = 0;
        if (!ReadFile(handle.get(), bytes.data() + have, want, &got, nullptr)) {
            return lastWindowsError();
        }
        if (got == 0) {
            break;
        }
        have += got;
        if (have > maxBytes) {
            return std::make_error_code(std::errc::file_too_large);
        }
    }
    bytes.resize(have);
    return {};
}

std::error_code touchWithoutFollowing(const std::filesystem::path& file) {
    Handle handle(CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.valid()) {
        return lastWindowsError();
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    if (!SetFileTime(handle.get(), nullptr, nullptr, &now)) {
        return lastWindowsError();
    }
    return handle.close();
}

}  // namespace kestrova
