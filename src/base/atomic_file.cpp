#include "base/atomic_file.h"

#include "base/new_file.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWriteFailed = "ファイルの書き込みに失敗しました。";

[[noreturn]] void fail(const fs::path& target, std::string_view reason) {
    throw FileError(std::string(kWriteFailed) + "(" + pathText(target) + ": " +
                    std::string(reason) + ")");
}

[[noreturn]] void fail(const fs::path& target, const std::error_code& error) {
    fail(target, fileErrorReason(error));
}

/// Creates the temporary file beside `target` holding `bytes`; returns its path. Its name is
/// this run's own, so a second program writing the same file cannot take it away.
fs::path writeTemporary(const fs::path& target, std::string_view bytes, bool flush) {
    std::error_code error;
    for (int attempt = 0; attempt < 8; ++attempt) {
        fs::path temporary = target;
        temporary += uniqueTemporarySuffix();
        error = writeNewFile(temporary, bytes, flush);
        if (!error) {
            return temporary;
        }
        if (error != std::errc::file_exists) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            break;
        }
    }
    fail(target, error);
}

}  // namespace

void writeFileAtomically(const fs::path& file, std::string_view bytes, const AtomicWrite& how) {
    std::error_code error;
    std::error_code ignored;
    fs::path target = file;
    if (how.follow == FollowLink::Yes && fs::is_symlink(file, ignored)) {
        // Renaming over the link would replace it, not the file the user keeps; a link that
        // leads nowhere is replaced itself.
        if (fs::path resolved = fs::canonical(file, ignored); !resolved.empty()) {
            target = std::move(resolved);
        }
    }
    // A rename puts a plain file in place of whatever is there: a device or a pipe is not
    // a file to replace.
    const auto existing = fs::symlink_status(target, ignored);
    if (fs::exists(existing) && !fs::is_regular_file(existing) && !fs::is_symlink(existing)) {
        fail(target, "通常のファイルではないため置き換えません");
    }
    const fs::path temporary = writeTemporary(target, bytes, how.flush);
    if (fs::is_regular_file(existing)) {
        fs::permissions(temporary, existing.permissions(), ignored);
    }
    error = renameOver(temporary, target);
    if (error) {
        fs::remove(temporary, ignored);
        fail(target, error);
    }
    if (how.removeLeftovers) {
        removeAbandonedTemporaries(target.parent_path(),
                                   pathText(target.filename()) + std::string(kTemporaryMarker));
    }
}

fs::path pathFromUtf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string pathText(const fs::path& path) {
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

}  // namespace kestrova
