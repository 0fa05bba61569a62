#pragma once

#include <filesystem>
#include <string_view>

namespace kestrova {

class SsLogging;

/// Creates `folder` (one level: its parent must exist) unless it is already a folder.
/// Throws FileError with a Japanese description.
void ensureFolder(const std::filesystem::path& folder);

/// Replaces `target` by `utf8` converted to CP932, in one step: the old file stays whole
/// until the new one is complete. Characters CP932 lacks are written as "?" and their count
/// goes to the log as a warning under `tag`. Throws FileError.
void writeHostFile(const SsLogging& log, std::string_view tag, const std::filesystem::path& target,
                   std::string_view utf8);

}  // namespace kestrova
