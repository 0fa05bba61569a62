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

/// Writes `bytes` to a temporary file beside `target`, flushes it to disk (unless the caller
/// flushes later) and renames it over `target`, so that `target` is either the old complete
/// file or the new complete file. An
/// existing target's permissions carry over. The folder of `target` must exist. Throws
/// FileError ("ファイルの書き込みに失敗しました。(<path>: <reason>)"); the temporary file is
/// removed then.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         FlushToDisk flush = FlushToDisk::Now);

/// The path as UTF-8 text, for messages and logs.
std::string pathText(const std::filesystem::path& path);

}  // namespace kestrova
