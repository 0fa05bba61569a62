#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace kestrova {

/// Creates `file`, which must not exist yet, writes `bytes` and flushes them to the disk
/// before returning. Platform specific; used by writeFileAtomically.
std::error_code writeNewFileDurably(const std::filesystem::path& file, std::string_view bytes);

}  // namespace kestrova
