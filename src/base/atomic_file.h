#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/errors.h"
#include "base/new_file.h"

namespace kestrova {

/// A file that could not be written; what() says which file and why, in Japanese.
class FileError : public Error {
  public:
    using Error::Error;
};

/// How writeFileAtomically treats a file. The defaults suit the user's files.
struct AtomicWrite {
    FollowLink follow = FollowLink::Yes;
    /// Flush the new file to the disk before the rename. Only a file that checks itself when
    /// read (a download cache entry, with its length and checksum) may do without: a crash
    /// can then leave it torn, and the reader drops it.
    bool flush = true;
    /// Remove the temporary files beside it that a killed run left. Off where the folder's
    /// owner does that once for the whole folder.
    bool removeLeftovers = true;
};

/// Writes `bytes` to a temporary file of its own name beside `target`, flushes it to the
/// disk and renames it over `target`, so that `target` is either the old complete file or
/// the new complete file, also while another process writes the same file. A link in its
/// place leads to the file replaced (`follow` Yes; one that leads nowhere is replaced itself)
/// or is replaced itself. Only a regular file is replaced: a device, a pipe or a folder is
/// refused. An existing target's permissions carry over. The folder of `target` must exist.
/// Throws FileError ("ファイルの書き込みに失敗しました。(<path>: <reason>)"); the temporary
/// file is removed then.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         const AtomicWrite& how = {});

/// The path as UTF-8 text, for messages and logs.
std::string pathText(const std::filesystem::path& path);

/// The path that UTF-8 text names. Never std::filesystem::path(std::string): Windows reads a
/// narrow string in the ANSI code page.
std::filesystem::path pathFromUtf8(std::string_view text);

}  // namespace kestrova
