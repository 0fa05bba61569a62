#include "base/utf8_text.h"

#include <cstdint>
#include <cstring>

namespace kestrova {
namespace {

enum class Shape { Valid, Incomplete, Invalid };

struct Sequence {
    Shape shape;
    std::size_t length;  ///< bytes it takes; for Invalid the maximal subpart, at least 1
};

/// The sequence starting at `bytes[pos]`, whose first byte is not ASCII.
Sequence sequenceAt(std::string_view bytes, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {Shape::Invalid, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= bytes.size()) {
            return {Shape::Incomplete, i};
        }
        const auto byte = static_cast<unsigned char>(bytes[pos + i]);
        if (byte < low || byte > high) {
            return {Shape::Invalid, i};
        }
        low = 0x80;
        high = 0xBF;
    }
    return {Shape::Valid, length};
}

}  // namespace

std::size_t skipAscii(std::string_view bytes, std::size_t pos) {
    // Eight bytes at a time: pages are mostly ASCII markup.
    while (pos + 8 <= bytes.size()) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + pos, 8);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
        pos += 8;
    }
    while (pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) < 0x80) {
        ++pos;
    }
    return pos;
}

std::size_t utf8SequenceLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    if (static_cast<unsigned char>(text[0]) < 0x80) {
        return 1;
    }
    const Sequence sequence = sequenceAt(text, 0);
    return sequence.shape == Shape::Valid ? sequence.length : 0;
}

Utf8Scan scanUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    for (;;) {
        pos = skipAscii(bytes, pos);
        if (pos == bytes.size()) {
            return {pos, 0};
        }
        const Sequence sequence = sequenceAt(bytes, pos);
        if (sequence.shape == Shape::Incomplete) {
            return {pos, sequence.length};
        }
        if (sequence.shape == Shape::Invalid) {
            return {pos, 0};
        }
        pos += sequence.length;
    }
}

std::size_t appendUtf8Replacing(std::string_view bytes, std::string& out) {
    std::size_t pos = 0;
    for (;;) {
        const Utf8Scan scan = scanUtf8(bytes.substr(pos));
        out.append(bytes.substr(pos, scan.validLength));
        pos += scan.validLength;
        if (pos == bytes.size() || scan.incompleteTail > 0) {
            return pos;
        }
        out.append("\xEF\xBF\xBD");
        pos += sequenceAt(bytes, pos).length;
    }
}

}  // namespace kestrova
