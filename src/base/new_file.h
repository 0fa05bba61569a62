#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace kestrova {

/// Creates `file`, which must not exist yet, writes `bytes` into it and, with `flush`,
/// flushes it to the disk. Platform specific.
std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes,
                             bool flush = true);

/// Renames `from` over `to`, replacing a file there in one step: readers see the old file or
/// the new one, never a mix. On Windows MoveFileExW (replace existing, write through), tried
/// again for a moment while a reader or a virus scanner holds `to` open.
std::error_code renameOver(const std::filesystem::path& from, const std::filesystem::path& to);

/// A temporary-name suffix that no other run shares: ".kestrova-tmp-" + process and random
/// number. kTemporaryMarker finds the files of every run.
inline constexpr std::string_view kTemporaryMarker = ".kestrova-tmp";
std::string uniqueTemporarySuffix();

/// True when the file `name` is a temporary file that no running writer will finish: its
/// suffix names a process that has ended, or no process (an older release's fixed name).
bool isAbandonedTemporary(std::string_view name);

/// Removes the regular files in `folder` whose names begin with `prefix` and are abandoned
/// temporary files untouched for kAbandonedAfter; returns how many. Another run's file in
/// the making stays, also one of a writer on another machine sharing the folder, whose
/// process this one cannot see: a writer finishes its file within seconds.
inline constexpr std::chrono::minutes kAbandonedAfter{10};
std::size_t removeAbandonedTemporaries(const std::filesystem::path& folder,
                                       std::string_view prefix = {});

/// Whether a symbolic link in a file's place leads to the file it points to.
enum class FollowLink {
    Yes,  ///< the user's own files: the file it points to is read or replaced
    No,   ///< a folder the program keeps for itself: the link is only ever a link
};

/// Reads the whole regular file `file` into `bytes` (holding about its size, nothing more).
/// Errors: ENOENT missing, EISDIR a folder, ENOTSUP another kind of file (a FIFO or device,
/// never waited on), EFBIG larger than `maxBytes` (left unread), ELOOP a link when links are
/// not followed.
std::error_code readRegularFile(const std::filesystem::path& file, std::string& bytes,
                                std::uint64_t maxBytes = UINT64_MAX,
                                FollowLink follow = FollowLink::Yes);

/// Sets the modification time of `file` to now; a symbolic link's own time, never that of
/// the file it points to.
std::error_code touchWithoutFollowing(const std::filesystem::path& file);

}  // namespace kestrova
