#include <windows.h>

#include <array>

#include "cp932_codes.h"

namespace kestrova::sample {

namespace {

struct Code {
    char16_t character;
    std::uint16_t bytes;  ///< 0: none
};

// Where glibc's CP932 and Windows' code page 932 part, what glibc writes (the same list as
// the core's converter on Windows).
constexpr std::array kLinuxCodes{
    Code{0x0080, 0},      Code{0x00A2, 0x8191}, Code{0x00A3, 0x8192}, Code{0x00A5, 0x5C},
    Code{0x00AC, 0x81CA}, Code{0x2014, 0x815C}, Code{0x2016, 0x8161}, Code{0x203E, 0x7E},
    Code{0x2212, 0x817C}, Code{0x301C, 0x8160}, Code{0xF8F0, 0},      Code{0xF8F1, 0},
    Code{0xF8F2, 0},      Code{0xF8F3, 0},
};

}  // namespace

std::vector<std::uint16_t> cp932CodesOfBmp() {
    std::vector<std::uint16_t> codes(0x10000);
    for (std::uint32_t cp = 0x80; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        const wchar_t unit = static_cast<wchar_t>(cp);
        char out[4];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &unit, 1, out, sizeof out,
                                          nullptr, &usedDefault);
        if (n <= 0 || usedDefault) {
            continue;
        }
        const auto b0 = static_cast<unsigned char>(out[0]);
        const auto b1 = static_cast<unsigned char>(out[1]);
        codes[cp] = n == 1 ? b0 : n == 2 ? static_cast<std::uint16_t>(b0 << 8 | b1) : 0;
    }
    for (const Code& code : kLinuxCodes) {
        codes[code.character] = code.bytes;
    }
    return codes;
}

}  // namespace kestrova::sample
