#include "base/atomic_file.h"

#include "base/new_file.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const fs::path& target, const std::error_code& error) {
    throw FileError("ファイルの書き込みに失敗しました。(" + pathText(target) + ": " +
                    fileErrorReason(error) + ")");
}

/// Creates the temporary file beside `target` holding `bytes`; returns its path. The name is
/// fixed, so a file left behind by a killed run is found and replaced, not piled up.
fs::path writeTemporary(const fs::path& target, std::string_view bytes, FlushToDisk flush) {
    fs::path temporary = target;
    temporary += ".kestrova-tmp";
    std::error_code error = writeNewFile(temporary, bytes, flush);
    if (error == std::errc::file_exists) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = writeNewFile(temporary, bytes, flush);
    }
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        fail(target, error);
    }
    return temporary;
}

}  // namespace

void writeFileAtomically(const fs::path& file, std::string_view bytes, FlushToDisk flush) {
    std::error_code error;
    std::error_code ignored;
    // Renaming over a symbolic link would replace the link, not the file the user keeps.
    const fs::path resolved = fs::is_symlink(file, ignored) ? fs::canonical(file, ignored) : file;
    const fs::path& target = resolved.empty() ? file : resolved;
    const fs::path temporary = writeTemporary(target, bytes, flush);
    const auto existing = fs::status(target, ignored);
    if (fs::exists(existing)) {
        fs::permissions(temporary, existing.permissions(), ignored);
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, ignored);
        fail(target, error);
    }
}

std::string pathText(const fs::path& path) {
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

}  // namespace kestrova
