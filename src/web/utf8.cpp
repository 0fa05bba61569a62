#include <cstdint>
#include <string>
#include <string_view>

#include "web/http_request.h"

namespace kestrova {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed sequence at `pos`, or 0 when it is not one. On 0, `bad` is how
// many bytes form the maximal ill-formed prefix, which one U+FFFD replaces.
std::size_t sequenceLength(std::string_view bytes, std::size_t pos, std::size_t& bad) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    std::size_t need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;  // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;  // nothing above U+10FFFF
        }
    } else {
        bad = 1;
        return 0;
    }
    std::size_t length = 1;
    for (; length <= need; ++length) {
        if (pos + length >= bytes.size()) {
            bad = length;
            return 0;
        }
        const auto byte = static_cast<unsigned char>(bytes[pos + length]);
        const bool inRange = length == 1 ? (byte >= low && byte <= high) : isContinuation(byte);
        if (!inRange) {
            bad = length;
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string UTF8_to_UNICODE(std::string_view bytes) {
    // A leading byte order mark is not text.
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    std::string text;
    text.reserve(bytes.size());
    std::size_t runStart = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        std::size_t bad = 0;
        if (const std::size_t length = sequenceLength(bytes, pos, bad)) {
            pos += length;
            continue;
        }
        text.append(bytes.substr(runStart, pos - runStart));
        text.append(kReplacement);
        pos += bad;
        runStart = pos;
    }
    text.append(bytes.substr(runStart));
    return text;
}

}  // namespace kestrova
