#pragma once

#include <filesystem>
#include <string_view>

namespace kestrova {

class SsLogging;

/// Creates `folder` (one level: its parent must exist) unless it is already a folder.
/// Throws FileError with a Japanese description.
void ensureFolder(const std::filesystem::path& folder);

/// Replaces `target` by `bytes`: they go into a temporary file beside it, which is then
/// renamed over it, so the host never reads a half-written file and a failure leaves the old
/// file whole. Throws FileError; the temporary file is removed then. Not flushed to disk one
/// by one (tens of thousands of files per export): see flushHostFiles.
void replaceHostFile(const std::filesystem::path& target, std::string_view bytes);

/// replaceHostFile with `utf8` converted to CP932. Characters CP932 lacks are written as "?"
/// and their count goes to the log as a warning under `tag`.
void writeHostFile(const SsLogging& log, std::string_view tag, const std::filesystem::path& target,
                   std::string_view utf8);

/// Flushes the files written below `hostFolder` to the disk; a failure is logged as a
/// warning under `tag`.
void flushHostFiles(const SsLogging& log, std::string_view tag,
                    const std::filesystem::path& hostFolder);

}  // namespace kestrova
