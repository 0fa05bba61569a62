#include <iconv.h>
#include <stdexcept>

#include "cp932_codes.h"

namespace kestrova::sample {

std::vector<std::uint16_t> cp932CodesOfBmp() {
    std::vector<std::uint16_t> codes(0x10000);
    const iconv_t cd = iconv_open("CP932", "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv cannot convert to CP932");
    }
    for (std::uint32_t cp = 0x80; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        const char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8), 0, 0};
        char out[4];
        char* inp = const_cast<char*>(in);
        std::size_t inLeft = 4;
        char* outp = out;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<std::size_t>(-1)) {
            continue;
        }
        const auto b0 = static_cast<unsigned char>(out[0]);
        const auto b1 = static_cast<unsigned char>(out[1]);
        const std::size_t n = sizeof out - outLeft;
        codes[cp] = n == 1 ? b0 : n == 2 ? static_cast<std::uint16_t>(b0 << 8 | b1) : 0;
    }
    iconv_close(cd);
    return codes;
}

}  // namespace kestrova::sample
