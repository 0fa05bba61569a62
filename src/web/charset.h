#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

/// An encoding as iconv names it ("UTF-8", "CP932", "UTF-16LE", ...) for a charset label as
/// browsers read labels: every Shift_JIS label means CP932, the Latin-1 family means CP1252.
/// Other labels go through libxml2's encoding lookup. "" when the label names nothing usable.
std::string encodingForLabel(std::string_view label);

/// The charset parameter of a Content-Type header value, as written; "" when there is none.
std::string charsetParameter(std::string_view contentType);

/// The encoding and length of a byte order mark at the start of `bytes`.
struct ByteOrderMark {
    std::string_view encoding;
    std::size_t length = 0;
};
std::optional<ByteOrderMark> findByteOrderMark(std::string_view bytes);

/// The encoding that `<meta charset>` or `<meta http-equiv="Content-Type" content="...">`
/// declares in the first bytes of a page, found the way a browser prescans a page: comments
/// and other tags are skipped, the first usable declaration wins, a declared UTF-16 means
/// UTF-8 (the meta was readable as ASCII). A tag cut off by the end of `head` does not count.
/// "" when there is none.
std::string prescanMetaCharset(std::string_view head);

/// True when `bytes` is valid UTF-8 up to its end; a sequence cut off by the end still
/// counts as valid, since the next bytes may complete it.
bool isUtf8Prefix(std::string_view bytes);

/// The encoding of a page and the bytes its BOM takes.
struct PageEncoding {
    std::string encoding;
    std::size_t bomLength = 0;
};

/// How many leading bytes of a page are searched for a meta charset, and how many bytes an
/// undeclared page is judged by.
inline constexpr std::size_t kCharsetPrescanBytes = 4096;

/// The encoding a page declares in its first bytes `head`: a BOM, else the HTTP Content-Type
/// charset, else a meta charset. Nothing when none is found, or while `head` is still too
/// short to tell a BOM.
std::optional<PageEncoding> declaredEncoding(std::string_view head, std::string_view contentType);

/// The encoding of a page that declares none, judged by its bytes: "UTF-8" when they are
/// valid UTF-8 (pure ASCII included), else "CP932", the code page of the platform's users.
std::string_view undeclaredEncoding(std::string_view bytes);

}  // namespace kestrova
