#include "web/row_space_filter.h"

#include <cstring>

#include "web/html_text.h"

namespace kestrova {
namespace {

/// The three bytes after "<" or "</" name td, th or tr.
inline bool isRowTagName(const char* name) {
    const char second = static_cast<char>(name[1] | 0x20);
    const char after = name[2];
    return (name[0] | 0x20) == 't' && (second == 'd' || second == 'h' || second == 'r') &&
           (after == '>' || after == '/' || isHtmlSpace(after));
}

/// `next` (`size` bytes) begins with a tag that ends an open cell by itself: the start of a
/// cell or row, or the end of the row.
bool endsOpenCell(const char* next, std::size_t size) {
    if (size >= 4 && next[0] == '<' && isRowTagName(next + 1)) {
        return true;
    }
    return size >= 5 && next[0] == '<' && next[1] == '/' && (next[2] | 0x20) == 't' &&
           (next[3] | 0x20) == 'r' && (next[4] == '>' || isHtmlSpace(next[4]));
}

/// `tag` (`size` bytes) begins with a td or th start tag; its end, or nullptr.
const char* cellStartTagEnd(const char* tag, std::size_t size) {
    if (size < 4 || tag[0] != '<' || !isRowTagName(tag + 1) || (tag[2] | 0x20) == 'r') {
        return nullptr;
    }
    const void* close = std::memchr(tag + 3, '>', size - 3);
    return static_cast<const char*>(close);
}

/// A page's own U+FDD0 must not read as a cell break.
void replaceCellBreaks(std::string& text) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD, same length
    for (std::size_t pos = text.find(kCellBreak); pos != std::string::npos;
         pos = text.find(kCellBreak, pos + kCellBreak.size())) {
        text.replace(pos, kCellBreak.size(), kReplacement);
    }
}

bool isDigitOf(char c, bool hex) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

}  // namespace

bool RowSpaceFilter::takeReference(const char*& in, const char* end, char*& out) {
    // `in` is just past the "&"; `out` where it goes.
    const char* const amp = in - 1;
    const char* p = in;
    auto hold = [&](std::string_view significant) {
        held_.assign(amp, static_cast<std::size_t>(p - amp) - significant.size());
        held_.append(significant);
        in = end;
        return false;
    };
    auto keep = [&] {
        *out++ = '&';
        return true;
    };
    if (p == end) {
        return hold({});
    }
    if (*p != '#') {
        return keep();
    }
    ++p;
    if (p == end) {
        return hold({});
    }
    const bool hex = *p == 'x' || *p == 'X';
    p += hex ? 1 : 0;
    const char* zeros = p;
    while (p < end && *p == '0') {
        ++p;
    }
    const char* const significant = p;
    // More than eight digits are beyond any character; such a reference passes as it is.
    while (p < end && isDigitOf(*p, hex) && p - significant <= 8) {
        ++p;
    }
    if (p - significant > 8) {
        return keep();
    }
    if (p == end) {
        // Leading zeros change nothing; held without them, a reference stays short.
        const std::string digits =
            (p == significant && p > zeros ? "0" : "") + std::string(significant, p);
        const std::size_t prefix = static_cast<std::size_t>(zeros - amp);
        held_.assign(amp, prefix);
        held_.append(digits);
        in = end;
        return false;
    }
    std::uint32_t value = 0;
    for (const char* d = significant; d < p; ++d) {
        const char c = static_cast<char>(*d | 0x20);
        value =
            value * (hex ? 16 : 10) + static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    if (value != kCellBreakCodePoint) {
        return keep();
    }
    // The parser would decode it into the cell break itself.
    for (const char c : std::string_view("\xEF\xBF\xBD")) {
        *out++ = c;
    }
    in = p + (*p == ';' ? 1 : 0);
    return true;
}

void RowSpaceFilter::filter(std::string& text) {
    if (!held_.empty()) {
        text.insert(0, held_);
        held_.clear();
    }
    replaceCellBreaks(text);
    // One pass that copies the kept bytes down over the dropped ones. Plain byte loops: tags
    // are a few bytes apart, closer than a library call per tag would pay off.
    char* out = text.data();
    const char* in = text.data();
    const char* const end = in + text.size();
    bool skipping = skipping_;
    bool inPlainCell = inPlainCell_;
    if (skipping) {
        while (in < end && isHtmlSpace(*in)) {
            ++in;
        }
        skipping = in == end;
    }
    while (in < end) {
        char c = '\0';
        while (in < end) {
            c = *in++;
            *out++ = c;
            if (c == '<' || c == '&') {
                break;
            }
        }
        if (c == '&') {
            --out;
            if (!takeReference(in, end, out)) {
                break;  // held for the next piece
            }
            continue;
        }
        if (c != '<') {
            break;
        }
        const char* const open = in - 1;
        const char* name = in;
        if (name < end && *name == '/') {
            ++name;
        }
        if (end - name < 3) {
            held_.assign(open, end);
            --out;
            break;
        }
        if (!isRowTagName(name)) {
            inPlainCell = false;
            continue;
        }
        const char* close = name + 2;
        while (close < end && *close != '>') {
            ++close;
        }
        if (close == end) {
            if (static_cast<std::size_t>(end - open) <= kMaxHeld) {
                held_.assign(open, end);
                --out;
                break;
            }
            continue;
        }
        const char* next = close + 1;
        while (next < end && isHtmlSpace(*next)) {
            ++next;
        }
        // The end tag of a plain-text cell right before the next cell or the row's end says
        // nothing the parser would not imply (the cell is the innermost open element), and
        // leaving it out spares the parser a third of its tags.
        const bool closing = name == open + 2;
        const bool cellTag = (name[1] | 0x20) != 'r';
        const std::size_t rest = static_cast<std::size_t>(end - next);
        if (closing && cellTag && inPlainCell && next < end && *next == '<' &&
            endsOpenCell(next, rest)) {
            --out;
            if (const char* nextEnd = cellStartTagEnd(next, rest)) {
                // Plain cell follows plain cell: one break instead of two tags.
                for (const char c : kCellBreak) {
                    *out++ = c;
                }
                in = nextEnd + 1;
                while (in < end && isHtmlSpace(*in)) {
                    ++in;
                }
                skipping = in == end;
                inPlainCell = true;
                continue;
            }
        } else {
            while (in <= close) {
                *out++ = *in++;
            }
        }
        inPlainCell = !closing && cellTag;
        in = next;
        skipping = in == end;
    }
    skipping_ = skipping;
    inPlainCell_ = inPlainCell;
    text.resize(static_cast<std::size_t>(out - text.data()));
}

void RowSpaceFilter::finish(std::string& text) {
    text.append(held_);
    held_.clear();
}

}  // namespace kestrova
