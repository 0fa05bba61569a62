#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Helpers shared by the fuzz targets. Checks abort() so that libFuzzer keeps the input; they
// do not use assert(), which the RelWithDebInfo build compiles out.
namespace kestrova::fuzz {

/// Prints `what` and `detail` (escaped) to stderr and aborts.
[[noreturn]] void fail(std::string_view what, std::string_view detail = {});

inline void check(bool ok, std::string_view what, std::string_view detail = {}) {
    if (!ok) {
        fail(what, detail);
    }
}

/// `bytes` as a C string literal body, for failure messages.
std::string escaped(std::string_view bytes);

/// Well-formed UTF-8 (RFC 3629: no overlongs, surrogates or code points past U+10FFFF).
/// With `allowCutTail`, a sequence that is well-formed so far but cut off by the end passes.
/// Written apart from the project's own scanner so that each checks the other.
bool isUtf8(std::string_view bytes, bool allowCutTail = false);

/// The Content-Type a page target reads its page with, picked by the low three bits of its
/// first input byte: none, the charsets of the real sites, odd spellings, an unknown label.
inline constexpr std::array<std::string_view, 8> kContentTypes = {
    "",
    "text/html; charset=Shift_JIS",
    "text/html; charset=UTF-8",
    "text/html; charset=\"utf-16\"",
    "text/html;charset=EUC-JP;level=1",
    "text/html; charset=ISO-2022-JP",
    "text/html; charset=x-no-such-label",
    "TEXT/HTML; CHARSET = latin1 ",
};

/// Piece sizes for feeding a stream, decided by one control byte of the input: the low three
/// bits set the largest piece (1 to 16384 bytes), the rest seed the sequence.
class PieceSizes {
  public:
    explicit PieceSizes(std::uint8_t control);
    std::size_t next();

  private:
    std::size_t largest_;
    std::uint32_t state_;
};

}  // namespace kestrova::fuzz
