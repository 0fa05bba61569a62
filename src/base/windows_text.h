#pragma once

// UTF-8 and the system's UTF-16 where the Windows platform files meet the system.

#include <string>
#include <string_view>
#include <system_error>

namespace kestrova::windows {

/// UTF-8 to UTF-16; an ill-formed sequence becomes U+FFFD.
std::wstring widen(std::string_view utf8);
/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string narrow(std::wstring_view utf16);

/// A Windows error code (GetLastError) as the POSIX error the messages know (ENOENT, EACCES,
/// ...), in the generic category; other codes keep the system category.
std::error_code errorFromWindows(unsigned long code);
/// errorFromWindows(GetLastError()).
std::error_code lastWindowsError();

}  // namespace kestrova::windows
