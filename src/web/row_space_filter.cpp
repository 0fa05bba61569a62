#include "web/row_space_filter.h"

#include <algorithm>
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
/// cell or row, or the end of an open row.
bool endsOpenCell(const char* next, std::size_t size, bool rowOpen) {
    if (size >= 4 && next[0] == '<' && isRowTagName(next + 1)) {
        return true;
    }
    return rowOpen && size >= 5 && next[0] == '<' && next[1] == '/' && (next[2] | 0x20) == 't' &&
           (next[3] | 0x20) == 'r' && (next[4] == '>' || isHtmlSpace(next[4]));
}

/// `tag` (`size` bytes) begins with a start tag of a cell of `kind` ('d' or 'h') without
/// attributes a quote could hide a ">" in, and not closed at once like "<td/>"; its ">", or
/// nullptr.
const char* cellStartTagEnd(const char* tag, std::size_t size, char kind) {
    if (size < 4 || tag[0] != '<' || !isRowTagName(tag + 1) || (tag[2] | 0x20) != kind) {
        return nullptr;
    }
    for (const char* p = tag + 3; p < tag + size; ++p) {
        if (*p == '>') {
            return p[-1] == '/' ? nullptr : p;
        }
        if (*p == '"' || *p == '\'' || *p == '<') {
            return nullptr;
        }
    }
    return nullptr;
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
    if (skipping_) {
        const char* const from = in;
        while (in < end && isHtmlSpace(*in)) {
            ++in;
        }
        skipping_ = in == end;
        if (in != from) {
            // After joined cells the parser saw "<td>" and white space: text, as here.
            seam_ = seam_ == Seam::CellsJoined ? Seam::None : Seam::SpaceDropped;
        }
    }
    // A tag or comment that began in the last piece goes on here.
    if (markup_ != Markup::None) {
        in = copyMarkup(in, end, out);
    }
    while (in < end) {
        char c = '\0';
        const char* const textStart = out;
        while (in < end) {
            c = *in++;
            *out++ = c;
            if (c == '<' || c == '&') {
                break;
            }
        }
        const bool markupNext = c == '<' || c == '&';
        if (out - textStart > (markupNext ? 1 : 0)) {
            seam_ = Seam::None;
        }
        if (c == '&') {
            --out;
            if (!takeReference(in, end, out)) {
                break;  // held for the next piece
            }
            seam_ = Seam::None;
            continue;
        }
        if (!markupNext) {
            break;
        }
        const char* const open = in - 1;
        if (end - in < 4) {
            held_.assign(open, end);
            --out;
            break;
        }
        const bool closing = *in == '/';
        const char* const name = closing ? in + 1 : in;
        if (!isRowTagName(name)) {
            // Other markup: the parser's state is no longer what this filter can be sure of.
            plainCell_ = false;
            seam_ = Seam::None;
            const bool letter = ((*name | 0x20) >= 'a' && (*name | 0x20) <= 'z');
            if (*in == '!' && in[1] == '-' && in[2] == '-') {
                markup_ = Markup::Comment;
                in = copyMarkup(in + 3, end, (out = std::copy(in, in + 3, out)));
            } else if (*in == '!' || *in == '?' || closing) {
                if (closing) {
                    cell_ = 0;
                    rowOpen_ = false;
                }
                markup_ = Markup::Declaration;
                in = copyMarkup(in, end, out);
            } else if (letter) {
                cell_ = 0;
                rowOpen_ = false;
                tagQuote_ = 0;
                markup_ = Markup::StartTag;
                in = copyMarkup(in, end, out);
            }
            // "<" before anything else is text to the parser.
            continue;
        }
        // A td, th or tr tag: it must end in this piece to be known.
        Markup scan = closing ? Markup::Declaration : Markup::StartTag;
        char quote = 0;
        const char* close = tagEnd(name + 2, end, scan, quote);
        if (close == nullptr) {
            if (static_cast<std::size_t>(end - open) <= kMaxHeld) {
                held_.assign(open, end);
                --out;
                break;
            }
            // Too long to hold: passed on unfiltered, and nothing is assumed of it.
            plainCell_ = false;
            seam_ = Seam::None;
            cell_ = 0;
            rowOpen_ = false;
            markup_ = scan;
            tagQuote_ = quote;
            in = copyMarkup(name + 2, end, (out = std::copy(in, name + 2, out)));
            continue;
        }
        const char kind = static_cast<char>(name[1] | 0x20);  // 'd', 'h' or 'r'
        const char* next = close + 1;
        while (next < end && isHtmlSpace(*next)) {
            ++next;
        }
        const std::size_t rest = static_cast<std::size_t>(end - next);
        if (!closing) {
            // The parser ends an open cell at a new cell, and cell and row at a new row.
            while (in <= close) {
                *out++ = *in++;
            }
            seam_ = Seam::None;
            if (close[-1] == '/') {
                // "<td/>" is a cell the parser ends at once: nothing of it is plain.
                cell_ = 0;
                plainCell_ = false;
                rowOpen_ = rowOpen_ && kind != 'r';
                continue;
            }
            if (kind == 'r') {
                rowOpen_ = true;
                cell_ = 0;
                plainCell_ = false;
            } else {
                cell_ = kind;
                plainCell_ = true;
            }
            // White space that follows leads a cell (innerText drops it) or is row content.
            seam_ = next != in ? Seam::SpaceDropped : Seam::None;
            in = next;
            skipping_ = in == end;
            continue;
        }
        // An end tag changes the parser's state only when it ends what is open.
        const bool endsCell = kind != 'r' && cell_ == kind;
        const bool endsRow = kind == 'r' && rowOpen_;
        if (endsCell && plainCell_ && next < end && *next == '<' &&
            endsOpenCell(next, rest, rowOpen_)) {
            // The end tag of a plain-text cell right before the next cell or the row's end
            // says nothing the parser would not imply, and leaving it out spares the parser a
            // third of its tags.
            --out;
            if (const char* nextEnd = cellStartTagEnd(next, rest, kind)) {
                // Plain cell follows plain cell of the same kind: one break for two tags.
                for (const char b : kCellBreak) {
                    *out++ = b;
                }
                in = nextEnd + 1;
                seam_ = Seam::CellsJoined;
                while (in < end && isHtmlSpace(*in)) {
                    ++in;
                    seam_ = Seam::None;
                }
                skipping_ = in == end;
                continue;
            }
            cell_ = 0;
            plainCell_ = false;
            in = next;
            continue;
        }
        while (in <= close) {
            *out++ = *in++;
        }
        plainCell_ = false;
        seam_ = Seam::None;
        if (endsCell || endsRow) {
            seam_ = next != in ? Seam::SpaceDropped : Seam::None;
            cell_ = 0;
            rowOpen_ = rowOpen_ && !endsRow;
            // After a closed cell or row, white space is row or table content no cell holds.
            in = next;
            skipping_ = in == end;
        }
    }
    text.resize(static_cast<std::size_t>(out - text.data()));
}

const char* RowSpaceFilter::tagEnd(const char* from, const char* end, Markup& scan, char& quote) {
    // An end tag or declaration ends at its first ">"; a start tag's attribute values may
    // hold ">" in quotes.
    for (const char* p = from; p < end; ++p) {
        if (quote != 0) {
            if (*p == quote) {
                quote = 0;
            }
            continue;
        }
        if (*p == '>') {
            return p;
        }
        if (scan == Markup::StartTag && (*p == '"' || *p == '\'')) {
            // A quote opens a value only after "=".
            const char* before = p;
            while (before > from && isHtmlSpace(before[-1])) {
                --before;
            }
            if (before > from && before[-1] == '=') {
                quote = *p;
            }
        }
    }
    return nullptr;
}

const char* RowSpaceFilter::copyMarkup(const char* in, const char* end, char*& out) {
    if (markup_ == Markup::Comment) {
        // Ends at "-->"; the last two bytes of the previous piece may begin it.
        while (in < end) {
            const char c = *in++;
            *out++ = c;
            if (c == '>' && commentDashes_ >= 2) {
                markup_ = Markup::None;
                commentDashes_ = 0;
                return in;
            }
            commentDashes_ = c == '-' ? commentDashes_ + 1 : 0;
        }
        return in;
    }
    const char* close = tagEnd(in, end, markup_, tagQuote_);
    const char* stop = close == nullptr ? end : close + 1;
    out = std::copy(in, stop, out);
    if (close != nullptr) {
        markup_ = Markup::None;
        tagQuote_ = 0;
    }
    return stop;
}

void RowSpaceFilter::finish(std::string& text) {
    // A lone "&" at the very end is the one place where the parser reads text differently
    // after a tag than after text: it drops the "&" after a tag and keeps it after text. Give
    // it the neighbour it had in the page.
    if (held_ == "&") {
        if (seam_ == Seam::CellsJoined) {
            held_.clear();
        } else if (seam_ == Seam::SpaceDropped) {
            held_.insert(0, " ");
        }
    }
    text.append(held_);
    held_.clear();
}

}  // namespace kestrova
