#include <windows.h>

#include <cerrno>

#include "base/errors.h"
#include "base/windows_text.h"

namespace kestrova::windows {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view utf16) {
    if (utf16.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf16.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

std::error_code errorFromWindows(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return {ENOENT, std::generic_category()};
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_PRIVILEGE_NOT_HELD:
            return {EACCES, std::generic_category()};
        case ERROR_WRITE_PROTECT:
            return {EROFS, std::generic_category()};
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return {ENOSPC, std::generic_category()};
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return {EEXIST, std::generic_category()};
        case ERROR_DIRECTORY:
            return {ENOTDIR, std::generic_category()};
        case ERROR_DIR_NOT_EMPTY:
            return {ENOTEMPTY, std::generic_category()};
        case ERROR_FILENAME_EXCED_RANGE:
            return {ENAMETOOLONG, std::generic_category()};
        case ERROR_INVALID_NAME:
            return {EINVAL, std::generic_category()};
        case ERROR_FILE_TOO_LARGE:
            return {EFBIG, std::generic_category()};
        case ERROR_CANT_RESOLVE_FILENAME:
        case ERROR_CANT_ACCESS_FILE:
            return {ELOOP, std::generic_category()};
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return {EPIPE, std::generic_category()};
        default:
            return {static_cast<int>(code), std::system_category()};
    }
}

std::error_code lastWindowsError() {
    return errorFromWindows(GetLastError());
}

}  // namespace kestrova::windows

namespace kestrova {

std::error_code asGenericError(const std::error_code& error) {
    return error.category() == std::system_category()
               ? windows::errorFromWindows(static_cast<unsigned long>(error.value()))
               : error;
}

}  // namespace kestrova
