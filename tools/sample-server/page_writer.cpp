#include "page_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "records.h"

namespace kestrova::sample {
namespace {

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    return lead >= 0xC0 ? 2 : 1;
}

char* put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

char* putEscaped(char* p, std::string_view text) {
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

Cp932Encoder::Cp932Encoder() : cd_(iconv_open("CP932", "UTF-8")) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv cannot convert UTF-8 to CP932");
    }
}

Cp932Encoder::~Cp932Encoder() {
    iconv_close(cd_);
}

void Cp932Encoder::append(std::string& out, std::string_view utf8) {
    // CP932 never needs more bytes than UTF-8 for the same text.
    const std::size_t start = out.size();
    out.resize(start + utf8.size());
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* o = out.data() + start;
    std::size_t outLeft = utf8.size();
    while (inLeft > 0) {
        if (iconv(cd_, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno != EILSEQ && errno != EINVAL) {
            throw std::runtime_error("CP932 conversion failed");
        }
        // Unmappable or broken input: one "?" for the character, then go on after it.
        const std::size_t skip = std::min(inLeft, utf8Length(static_cast<unsigned char>(*in)));
        *o++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
    }
    out.resize(out.size() - outLeft);
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
        worst += 9 + 5 * cell.size();
    }
    if (row_.size() < worst) {
        row_.resize(std::max(worst, 2 * row_.size()));
    }
    char* const begin = row_.data();
    char* p = put(begin, "<tr>");
    for (const std::string& cell : cells) {
        p = put(p, "<td>");
        p = putEscaped(p, cell);
        p = put(p, "</td>");
    }
    p = put(p, "</tr>\n");
    emit({begin, static_cast<std::size_t>(p - begin)});
}

void PageWriter::emit(std::string_view utf8) {
    if (charset_ == Charset::Cp932) {
        encoder_.append(page_, utf8);
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
