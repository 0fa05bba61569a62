#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

/// Text converted to the system's ANSI code page CP932. Characters CP932 cannot hold are
/// written as "?" and counted, so that callers can log a warning.
struct Cp932Text {
    std::string bytes;
    std::size_t unmappable = 0;
};

/// A CP932 byte that takes the next byte as the second half of its character. The second
/// byte may look like ASCII ("]", "\\"), so byte searches in CP932 text must skip it.
constexpr bool isCp932LeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

/// UTF-8 (the program's internal text) to CP932. Invalid UTF-8 input counts as unmappable.
Cp932Text toCp932(std::string_view utf8);

/// CP932 bytes to UTF-8; a byte sequence that is not CP932 becomes U+FFFD.
std::string fromCp932(std::string_view cp932);

}  // namespace kestrova
