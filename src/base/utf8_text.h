#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova {

/// How much of a byte string is well-formed UTF-8.
struct Utf8Scan {
    /// Bytes before the first ill-formed or incomplete sequence.
    std::size_t validLength = 0;
    /// Bytes of a sequence that is well-formed so far but cut off by the end (0 to 3).
    std::size_t incompleteTail = 0;
};

Utf8Scan scanUtf8(std::string_view bytes);

/// Length of the well-formed sequence at the start of `text`, 0 when there is none.
std::size_t utf8SequenceLength(std::string_view text);

/// Index of the first byte at or after `pos` that is not ASCII, or the size.
std::size_t skipAscii(std::string_view bytes, std::size_t pos = 0);

/// Appends `bytes` to `out`, each ill-formed sequence (its maximal subpart) replaced by
/// U+FFFD. A sequence cut off by the end is left out; returns the bytes consumed.
std::size_t appendUtf8Replacing(std::string_view bytes, std::string& out);

}  // namespace kestrova
