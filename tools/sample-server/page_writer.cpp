#include "page_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "cp932_codes.h"
#include "records.h"

namespace kestrova::sample {
namespace {

// CP932 bytes of every BMP character (see cp932_codes.h), taken once. A table lookup is
// several times faster than a converter on pages that are mostly ASCII markup.
class Cp932Table {
  public:
    Cp932Table() : codes_(cp932CodesOfBmp()) {}
    std::uint16_t operator[](std::uint32_t cp) const { return cp < 0x10000 ? codes_[cp] : 0; }

  private:
    std::vector<std::uint16_t> codes_;
};

const Cp932Table& cp932Table() {
    static const Cp932Table table;
    return table;
}

bool isTrail(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

/// Decodes one multi-byte UTF-8 character at `p`; returns its length, 0 when broken.
std::size_t decodeUtf8(const unsigned char* p, const unsigned char* end, std::uint32_t& cp) {
    const unsigned char c = *p;
    std::size_t len = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) < len) {
        return 0;
    }
    for (std::size_t i = 1; i < len; ++i) {
        if (!isTrail(p[i])) {
            return 0;
        }
        cp = cp << 6 | (p[i] & 0x3F);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return 0;
    }
    return len;
}

char* put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

/// Fixed markup: a copy of known size, which the compiler turns into a few moves.
template <std::size_t N>
char* putMarkup(char* p, const char (&markup)[N]) {
    std::memcpy(p, markup, N - 1);
    return p + N - 1;
}

char* putEscaped(char* p, std::string_view text) {
    // Almost no cell needs escaping: copy it whole unless it does.
    bool plain = true;
    for (const char c : text) {
        plain &= c != '&' && c != '<' && c != '>';
    }
    if (plain) {
        return put(p, text);
    }
    for (const char c : text) {
        switch (c) {
            case '&':
                p = put(p, "&amp;");
                break;
            case '<':
                p = put(p, "&lt;");
                break;
            case '>':
                p = put(p, "&gt;");
                break;
            default:
                *p++ = c;
        }
    }
    return p;
}

}  // namespace

void appendCp932(std::string& out, std::string_view utf8) {
    const Cp932Table& table = cp932Table();
    // CP932 never needs more bytes than UTF-8 for the same text.
    const std::size_t start = out.size();
    out.resize(start + utf8.size());
    char* o = out.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        const auto* run = p;
        // ASCII eight bytes at a time: markup and numbers are most of every page.
        std::uint64_t word = 0;
        while (end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080ULL) == 0)) {
            p += 8;
        }
        while (p < end && *p < 0x80) {
            ++p;
        }
        std::memcpy(o, run, static_cast<std::size_t>(p - run));
        o += p - run;
        if (p == end) {
            break;
        }
        std::uint32_t cp = 0;
        const std::size_t len = decodeUtf8(p, end, cp);
        const std::uint16_t code = len > 0 ? table[cp] : 0;
        if (code == 0) {
            *o++ = '?';
        } else if (code < 0x100) {
            *o++ = static_cast<char>(code);
        } else {
            *o++ = static_cast<char>(code >> 8);
            *o++ = static_cast<char>(code & 0xFF);
        }
        p += len > 0 ? len : 1;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

PageWriter::PageWriter(std::string_view headerCell, Charset charset, Layout layout,
                       std::size_t sizeHint)
    : charset_(charset), layout_(layout) {
    page_.reserve(sizeHint);
    emit(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
        "<html lang=\"ja\">\n<head>\n");
    emit(charset == Charset::Utf8
             ? "<meta charset=\"UTF-8\">\n"
             : "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n");
    emit("<title>TFデータ</title>\n</head>\n<body>\n<table border=\"1\" cellspacing=\"0\">\n");
    if (layout_ == Layout::Sections) {
        emit("<thead>\n");
    }
    std::array<std::string, kColumns> header = columnNames();
    header[0] = headerCell;
    addRow(header);
    if (layout_ == Layout::Sections) {
        emit("</thead>\n<tbody>\n");
    }
}

void PageWriter::addRow(const std::array<std::string, kColumns>& cells) {
    std::size_t worst = 16;
    for (const std::string& cell : cells) {
        worst += 10 + 5 * cell.size();
    }
    if (row_.size() < worst) {
        row_.resize(std::max(worst, 2 * row_.size()));
    }
    char* const begin = row_.data();
    // One cell a line, as the vendor's export writes them.
    char* p = putMarkup(begin, "<tr>\n<td>");
    p = putEscaped(p, cells[0]);
    for (std::size_t c = 1; c < kColumns; ++c) {
        p = putMarkup(p, "</td>\n<td>");
        p = putEscaped(p, cells[c]);
    }
    p = putMarkup(p, "</td>\n</tr>\n");
    emit({begin, static_cast<std::size_t>(p - begin)});
}

void PageWriter::emit(std::string_view utf8) {
    if (charset_ == Charset::Cp932) {
        appendCp932(page_, utf8);
    } else {
        page_.append(utf8);
    }
}

std::string PageWriter::finish() {
    if (layout_ == Layout::Sections) {
        emit("</tbody>\n");
    }
    emit("</table>\n</body>\n</html>\n");
    return std::move(page_);
}

std::string renderDataPage(const DataFile& file, Charset charset, Layout layout) {
    PageWriter page(file.headerCell, charset, layout, 2048 + file.records.size() * 1800);
    for (const Record& record : file.records) {
        page.addRow(record.cells);
    }
    return page.finish();
}

}  // namespace kestrova::sample
