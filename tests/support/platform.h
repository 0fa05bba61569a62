#pragma once

// What tests do differently on POSIX systems and Windows.

#include <cstdint>
#include <filesystem>

namespace kestrova::test {

/// Makes a FIFO at `path`; false where the file system has none (Windows).
bool makeFifo(const std::filesystem::path& path);
inline constexpr const char* kNoFifos = "Windows has no FIFOs in the file system";

/// True when file permissions do not stop this process (root).
bool permissionsIgnored();

/// True when a folder without write permission stops files being made in it (not so on
/// Windows, whose read-only attribute of a folder means nothing to writes).
bool folderPermissionsStopWrites();

/// What tells one file from another on its file system (the inode number, on Windows the
/// file index): a file replaced by a rename has another.
std::uint64_t fileIdentity(const std::filesystem::path& file);

/// The id of this process.
long long currentProcessId();

/// Makes `link` a symbolic link to the file or folder `target`; false where this process
/// may not make one (Windows without the privilege or developer mode; Wine).
bool makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link);
inline constexpr const char* kNoSymlinks = "this system does not let the test make symbolic links";

}  // namespace kestrova::test
