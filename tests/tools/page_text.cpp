#include "page_text.h"

#include <stdexcept>

#include "base/charset_converter.h"

namespace kestrova::test {
namespace {

std::string decodeEntities(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("&amp;")) {
            out += '&';
            i += 4;
        } else if (rest.starts_with("&lt;")) {
            out += '<';
            i += 3;
        } else if (rest.starts_with("&gt;")) {
            out += '>';
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

TableRows tableRows(std::string_view html) {
    TableRows rows;
    std::size_t pos = 0;
    while ((pos = html.find("<tr>", pos)) != std::string_view::npos) {
        const std::size_t end = html.find("</tr>", pos);
        if (end == std::string_view::npos) {
            throw std::runtime_error("unterminated row");
        }
        std::vector<std::string> cells;
        std::size_t cell = pos;
        while ((cell = html.find("<td>", cell)) < end) {
            const std::size_t close = html.find("</td>", cell);
            cells.push_back(decodeEntities(html.substr(cell + 4, close - cell - 4)));
            cell = close;
        }
        rows.push_back(std::move(cells));
        pos = end;
    }
    return rows;
}

std::string convert(const char* to, const char* from, std::string_view text) {
    // The system's converter: iconv on Linux.
    CharsetConverter converter(to, from);
    std::string out;
    if (converter.step(text, out).stop != CharsetConverter::Stop::End) {
        throw std::runtime_error(std::string("not ") + from);
    }
    return out;
}

std::string cp932ToUtf8(std::string_view cp932) {
    return convert("UTF-8", "CP932", cp932);
}

std::string utf8ToCp932(std::string_view utf8) {
    return convert("CP932", "UTF-8", utf8);
}

std::string shiftJisToUtf8(std::string_view shiftJis) {
    return convert("UTF-8", "SHIFT_JIS", shiftJis);
}

std::size_t countOf(std::string_view text, std::string_view needle) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(needle); pos != std::string_view::npos;
         pos = text.find(needle, pos + needle.size())) {
        ++n;
    }
    return n;
}

}  // namespace kestrova::test
