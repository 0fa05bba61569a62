#include "fuzz_checks.h"

#include <cstdio>
#include <cstdlib>

namespace kestrova::fuzz {

void fail(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "==kestrova-fuzz== CHECK FAILED: %.*s\n", static_cast<int>(what.size()),
                 what.data());
    if (!detail.empty()) {
        const std::string text = escaped(detail.substr(0, 2000));
        std::fprintf(stderr, "==kestrova-fuzz== \"%s\"%s\n", text.c_str(),
                     detail.size() > 2000 ? " (cut)" : "");
    }
    std::abort();
}

std::string escaped(std::string_view bytes) {
    std::string out;
    bool afterHex = false;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // A hex escape swallows the hex digits after it: split the literal there.
        const bool hexDigit =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (afterHex && hexDigit) {
            out += "\" \"";
        }
        afterHex = false;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
            afterHex = true;
        } else {
            out += c;
        }
    }
    return out;
}

bool isUtf8(std::string_view bytes, bool allowCutTail) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        std::size_t k = 1;
        for (; k < length && i + k < bytes.size(); ++k) {
            const auto byte = static_cast<unsigned char>(bytes[i + k]);
            if ((byte & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (byte & 0x3F);
        }
        if (k < length) {
            // Cut off: the bytes so far must still be able to start a valid character.
            if (!allowCutTail) {
                return false;
            }
            const std::uint32_t lowest = code << (6 * (length - k));
            const std::uint32_t highest = lowest | ((1u << (6 * (length - k))) - 1);
            const std::uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
            return highest >= minimum && lowest <= 0x10FFFF &&
                   !(lowest >= 0xD800 && highest <= 0xDFFF);
        }
        const std::uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

PieceSizes::PieceSizes(std::uint8_t control)
    : largest_(std::size_t{1} << (2 * (control & 7))), state_(0x9E3779B9u ^ (control >> 3)) {}

std::size_t PieceSizes::next() {
    // xorshift32: cheap, and the same sizes for the same input on every run.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return 1 + state_ % largest_;
}

}  // namespace kestrova::fuzz
