#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace kestrova {

enum class FlushToDisk {
    Now,    ///< the file is on the disk when the write returns (settings file)
    Later,  ///< the caller flushes once with flushFileSystem (tens of thousands of export files)
};

/// Creates `file`, which must not exist yet, and writes `bytes` into it. Platform specific.
std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes,
                             FlushToDisk flush);

/// Flushes everything written to the file system that holds `folder` to the disk.
std::error_code flushFileSystem(const std::filesystem::path& folder);

}  // namespace kestrova
