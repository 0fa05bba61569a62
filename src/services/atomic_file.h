#pragma once

#include <filesystem>
#include <string_view>

#include "services/errors.h"

namespace kestrova {

/// A file that could not be written; what() says which file and why, in Japanese.
class FileError : public Error {
public:
    using Error::Error;
};

/// Writes `bytes` to a temporary file beside `target`, flushes it and renames it over
/// `target`, so that `target` is either the old complete file or the new complete file.
/// The folder of `target` must exist. Throws FileError; the temporary file is removed then.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

}  // namespace kestrova
