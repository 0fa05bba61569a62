#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "base/atomic_file.h"

namespace kestrova {

/// A folder opened for writing files that another program reads, below a folder the user
/// chose. Only that root may be a symbolic link; nothing below it is followed: a link where
/// a folder or a file is expected is refused, so that a link planted in a shared folder
/// cannot send the writes elsewhere.
///
/// Files are replaced whole: the bytes go into a temporary file beside the target, which is
/// renamed over it. Only regular files that their owner may write are replaced; a file made
/// read-only is left alone and reported. Failures throw FileError in Japanese.
class WriteFolder {
  public:
    /// Opens `root`, following a link there. Throws FileError.
    static WriteFolder openRoot(const std::filesystem::path& root);

    WriteFolder(WriteFolder&&) noexcept;
    WriteFolder& operator=(WriteFolder&&) noexcept;
    ~WriteFolder();

    /// The subfolder `name` (one path component), created when missing and `create` is set.
    /// Throws FileError when it is missing (and not to be created), a link or not a folder.
    WriteFolder child(std::string_view name, bool create) const;

    /// Replaces the file `name` by `bytes`. The temporary file is named `name` +
    /// `temporarySuffix` and removed on failure. With `flushNow` the file is on the disk when
    /// the call returns; otherwise call flush() once after many files. A file that already
    /// holds exactly `bytes` is left as it is (a re-export then writes only what changed).
    /// Throws FileError.
    void replaceFile(std::string_view name, std::string_view bytes,
                     std::string_view temporarySuffix, bool flushNow = false) const;

    /// Removes regular files whose names contain `marker` (temporary files of a run that
    /// was killed); returns how many.
    std::size_t removeFilesContaining(std::string_view marker) const;

    /// Flushes what was written to the file system holding this folder to the disk.
    std::error_code flush() const;

    /// The folder's path, for messages.
    const std::filesystem::path& path() const;

    class Lock;
    /// Takes an exclusive lock on the file `name` in this folder (created when missing),
    /// held until the Lock is destroyed and released by the system if the process dies.
    /// Nothing when another process holds it. Throws FileError when it cannot be tried.
    std::unique_ptr<Lock> tryLock(std::string_view name) const;

  private:
    struct Impl;
    explicit WriteFolder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

/// An exclusive lock from WriteFolder::tryLock.
class WriteFolder::Lock {
  public:
    /// Takes over an open file descriptor (POSIX) or handle (Windows) holding the lock.
    explicit Lock(std::intptr_t handle) : handle_(handle) {}
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    std::intptr_t handle_;
};

}  // namespace kestrova
