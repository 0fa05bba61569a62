#include "base/cp932.h"

#include <algorithm>
#include <optional>

#include "base/charset_converter.h"
#include "base/utf8_text.h"

namespace kestrova {
namespace {

bool isAscii(unsigned char byte) {
    return byte < 0x80;
}

}  // namespace

Cp932Text toCp932(std::string_view utf8) {
    Cp932Text result;
    result.bytes.reserve(utf8.size());
    std::optional<CharsetConverter> converter;
    // ASCII is the same in both encodings and is most of what is written: copy it as it
    // stands and hand only the runs of other characters to the converter.
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        auto end = pos;
        while (end < utf8.size() && isAscii(static_cast<unsigned char>(utf8[end]))) {
            ++end;
        }
        result.bytes.append(utf8, pos, end - pos);
        pos = end;
        while (end < utf8.size() && !isAscii(static_cast<unsigned char>(utf8[end]))) {
            ++end;
        }
        if (end == pos) {
            break;
        }
        if (!converter) {
            converter.emplace("CP932", "UTF-8");
        }
        converter->convert(utf8.substr(pos, end - pos), result.bytes,
                           [&](std::string_view rest, std::string& out) {
                               out.push_back('?');
                               ++result.unmappable;
                               return std::max<std::size_t>(1, utf8SequenceLength(rest));
                           });
        pos = end;
    }
    return result;
}

std::string fromCp932(std::string_view cp932) {
    // A trail byte may be ASCII, so once a lead byte appears the rest goes through the converter
    // whole.
    const auto firstHigh = std::find_if(
        cp932.begin(), cp932.end(), [](char c) { return !isAscii(static_cast<unsigned char>(c)); });
    const auto asciiLength = static_cast<std::size_t>(firstHigh - cp932.begin());
    std::string result(cp932.substr(0, asciiLength));
    if (asciiLength == cp932.size()) {
        return result;
    }
    CharsetConverter converter("UTF-8", "CP932");
    converter.convert(cp932.substr(asciiLength), result, [](std::string_view, std::string& out) {
        out.append("\xEF\xBF\xBD");  // U+FFFD
        return std::size_t{1};
    });
    return result;
}

}  // namespace kestrova
