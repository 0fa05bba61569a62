#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace kestrova {

/// Creates `file`, which must not exist yet, and writes `bytes` into it. No flush to disk:
/// an export writes tens of thousands of files and flushes once at the end.
std::error_code createFileWith(const std::filesystem::path& file, std::string_view bytes);

/// Flushes everything written to the file system that holds `folder` to the disk.
std::error_code flushFileSystem(const std::filesystem::path& folder);

}  // namespace kestrova
