#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/write_folder.h"

namespace kestrova {

class SsLogging;

/// A run's access to the host program's folder. Everything is written below it without
/// following a link (the folder itself may be one), each file replaced whole; a lock keeps a
/// second run out of the same folder while this one writes.
class HostWriter {
  public:
    /// Opens the host folder. Throws FileError.
    explicit HostWriter(const std::filesystem::path& hostFolder);

    /// Takes the run's lock (kRunLockFile in the host folder); false when another run holds
    /// it. Throws FileError when the lock cannot be tried.
    bool lock();

    /// The folder `relative` below the host folder ("MY_DATA/YOS_COM/2015"), opened once per
    /// run; its last `createLevels` components are created when missing. Temporary files that
    /// a killed run left there are removed when it is first opened. Throws FileError.
    const WriteFolder& folder(const std::filesystem::path& relative, std::size_t createLevels);

    /// Replaces `name` in `folder` by `utf8` converted to CP932. Characters CP932 lacks are
    /// written as "?" and their count goes to the log as a warning under `tag`. Not flushed
    /// to the disk one by one (tens of thousands of files per export): see flush. Throws
    /// FileError.
    void writeText(const SsLogging& log, std::string_view tag, const WriteFolder& folder,
                   std::string_view name, std::string_view utf8) const;

    /// Flushes the files written to the disk; a failure is logged as a warning under `tag`.
    void flush(const SsLogging& log, std::string_view tag) const;

    const std::filesystem::path& root() const { return root_.path(); }

  private:
    WriteFolder root_;
    std::unique_ptr<WriteFolder::Lock> lock_;
    std::string temporarySuffix_;
    std::map<std::string, WriteFolder> folders_;
};

/// The lock file of a run, in the host folder. It stays: removing it would let a run that
/// opened it before the removal lock a file nobody else sees.
inline constexpr std::string_view kRunLockFile = "Kestrova.lock";

}  // namespace kestrova
