// How a page's character set is decided, and the decoder that follows the decision.
//
// Input: byte 0 sets the piece sizes (see PieceSizes), the bytes up to the first LF are the
// Content-Type header value, and the rest is the page.

#include <cstddef>
#include <cstdint>
#include <iconv.h>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "web/charset.h"
#include "web/page_decoder.h"

namespace kestrova {
namespace {

using fuzz::check;

bool iconvReads(const std::string& encoding) {
    const iconv_t handle = iconv_open("UTF-8", encoding.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(handle);
    return true;
}

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

void checkLabel(std::string_view label) {
    const std::string encoding = encodingForLabel(label);
    if (!encoding.empty()) {
        check(iconvReads(encoding), "encodingForLabel names an encoding iconv cannot read",
              encoding);
    }
    // Browsers read labels without regard to ASCII case and around HTML white space.
    check(encodingForLabel(upperAscii(label)) == encoding, "a label's case changes its encoding",
          label);
    check(encodingForLabel(" \t" + std::string(label) + "\r\n\f") == encoding,
          "white space around a label changes its encoding", label);
}

/// Decodes `page` in pieces, or whole without `sizes`.
std::string decode(std::string_view contentType, std::string_view page,
                   std::optional<fuzz::PieceSizes> sizes, std::string& encoding) {
    PageDecoder decoder{std::string(contentType)};
    std::string out;
    while (!page.empty()) {
        const std::string_view piece = page.substr(0, sizes ? sizes->next() : page.size());
        page.remove_prefix(piece.size());
        decoder.decode(piece, out);
    }
    decoder.finish(out);
    encoding = decoder.encoding();
    return out;
}

}  // namespace
}  // namespace kestrova

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;
    if (size < 1) {
        return 0;
    }
    const fuzz::PieceSizes sizes(data[0]);
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t newline = rest.find('\n');
    const std::string_view contentType = rest.substr(0, newline);
    const std::string_view page =
        newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);

    const std::string label = charsetParameter(contentType);
    check(contentType.find(label) != std::string_view::npos,
          "charsetParameter gives text that is not in the header", contentType);
    checkLabel(label);
    checkLabel(contentType);

    if (const auto bom = findByteOrderMark(page)) {
        check(bom->length > 0 && page.size() >= bom->length, "a byte order mark past the end");
    }

    const std::string meta = prescanMetaCharset(page);
    if (!meta.empty()) {
        check(iconvReads(meta), "prescanMetaCharset names an encoding iconv cannot read", meta);
        check(!meta.starts_with("UTF-16"), "a meta charset gives UTF-16", page);
    }
    // What a prefix of the page declares is what the whole page declares, or nothing yet: the
    // decoder decides on the first bytes of a page that is still arriving.
    const std::size_t cut = page.size() * (size & 0xFF) / 256;
    const std::string_view head = page.substr(0, cut);
    const std::string headMeta = prescanMetaCharset(head);
    check(headMeta.empty() || headMeta == meta,
          "a prefix of the page declares another encoding than the page", page);
    const auto declared = declaredEncoding(page, contentType);
    const auto headDeclared = declaredEncoding(head, contentType);
    if (headDeclared) {
        check(declared && declared->encoding == headDeclared->encoding &&
                  declared->bomLength == headDeclared->bomLength,
              "declaredEncoding of a prefix differs from that of the page", page);
    }
    if (declared) {
        check(iconvReads(declared->encoding), "declaredEncoding names an unreadable encoding",
              declared->encoding);
    }

    const bool utf8Prefix = fuzz::isUtf8(page, true);
    check(isUtf8Prefix(page) == utf8Prefix, "isUtf8Prefix is wrong", page);
    check(undeclaredEncoding(page) == (utf8Prefix ? "UTF-8" : "CP932"),
          "undeclaredEncoding is wrong", page);

    // The decoder's output is UTF-8 and does not depend on how the page arrives.
    std::string encoding;
    const std::string pieces = decode(contentType, page, sizes, encoding);
    std::string wholeEncoding;
    const std::string whole = decode(contentType, page, std::nullopt, wholeEncoding);
    check(!encoding.empty(), "the decoder finished without an encoding", page);
    check(fuzz::isUtf8(pieces), "the decoder's output is not UTF-8", pieces);
    check(encoding == wholeEncoding, "the decided encoding depends on how the page was cut", page);
    check(pieces == whole, "the decoded text depends on how the page was cut", page);

    const std::size_t bomLength = declared ? declared->bomLength : 0;
    const std::string_view body = page.substr(bomLength);
    if (encoding == "UTF-8" && fuzz::isUtf8(body)) {
        // Only a NUL changes: the parser would end the text there.
        std::string expected;
        for (const char c : body) {
            expected += c == '\0' ? std::string_view("\xEF\xBF\xBD") : std::string_view(&c, 1);
        }
        check(pieces == expected, "valid UTF-8 did not pass through unchanged", page);
    }
    return 0;
}
