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

/// The longest tag start held back; a longer one passes unfiltered.
constexpr std::size_t kMaxHeld = 256;

using Markup = RowSpaceFilter::Markup;
using Seam = RowSpaceFilter::Seam;

/// Where a pass over a piece stands: `in` reads, `out` writes the kept bytes over what was
/// read. Passed by value, so that both stay in registers.
struct Cursor {
    const char* in;
    char* out;
};

/// One pass over a piece of the page, with a function for each kind of markup it meets: each
/// takes the cursor where it reads and returns where the pass goes on.
class Pass {
  public:
    Pass(RowSpaceFilter::State& state, const char* end) : state_(state), end_(end) {}

    /// White space after such a tag that goes on from the last piece.
    Cursor skipSpaceGoingOn(Cursor at);
    /// Copies the rest of the markup in `state_.markup`, to its end or to the end of the piece.
    Cursor copyMarkup(Cursor at);
    /// Copies text up to and with the next "<" or "&", or to the end of the piece.
    Cursor copyText(Cursor at);
    /// After "&": a character reference to the cell break is written as U+FFFD, anything
    /// else is kept. A reference cut off by the end of the piece is held back.
    Cursor onReference(Cursor at);
    /// After "<": a td, th or tr tag, other markup, or a "<" that is text.
    Cursor onMarkup(Cursor at);

  private:
    /// A tag other than td, th or tr, a comment or a declaration.
    Cursor onOtherMarkup(Cursor at, bool closing);
    /// A td, th or tr start or end tag; held back when cut off by the end of the piece.
    Cursor onRowTag(Cursor at, bool closing);
    /// A td, th or tr (`kind` 'd', 'h' or 'r') start tag whose ">" is at `close`.
    Cursor onRowStartTag(Cursor at, const char* close, char kind);
    /// A td, th or tr end tag whose ">" is at `close`.
    Cursor onRowEndTag(Cursor at, const char* close, char kind);
    /// After the end tag of a plain cell and the start tag of the next one: one cell break.
    Cursor joinCells(Cursor at);
    /// Holds back the rest of the piece from `from`, the "<" just copied.
    Cursor holdFrom(Cursor at, const char* from);
    /// Copies the tag up to and with its ">" at `close`.
    static Cursor copyThrough(Cursor at, const char* close);
    /// The white space after a tag, which may go on in the next piece.
    Cursor dropSpace(Cursor at);

    RowSpaceFilter::State& state_;
    const char* const end_;
};

/// The ">" that ends the tag whose remaining bytes begin at `from`, or nullptr when the piece
/// ends first (`quote` then says whether a quoted value is still open).
const char* tagEnd(const char* from, const char* end, Markup scan, char& quote) {
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

Cursor Pass::skipSpaceGoingOn(Cursor at) {
    const char* const from = at.in;
    while (at.in < end_ && isHtmlSpace(*at.in)) {
        ++at.in;
    }
    state_.skipping = at.in == end_;
    if (at.in != from) {
        // After joined cells the parser saw "<td>" and white space: text, as here.
        state_.seam = state_.seam == Seam::CellsJoined ? Seam::None : Seam::SpaceDropped;
    }
    return at;
}

Cursor Pass::copyText(Cursor at) {
    const char* in = at.in;
    char* out = at.out;
    char c = '\0';
    while (in < end_) {
        c = *in++;
        *out++ = c;
        if (c == '<' || c == '&') {
            break;
        }
    }
    const bool markupNext = c == '<' || c == '&';
    if (out - at.out > (markupNext ? 1 : 0)) {
        state_.seam = Seam::None;
    }
    return {in, out};
}

Cursor Pass::holdFrom(Cursor at, const char* from) {
    state_.held.assign(from, end_);
    return {end_, at.out - 1};  // without the "<" already copied
}

Cursor Pass::onReference(Cursor at) {
    // The "&" is written again only when it is kept.
    const char* const amp = at.in - 1;
    char* out = at.out - 1;
    const char* p = at.in;
    auto hold = [&] {
        state_.held.assign(amp, p);
        return Cursor{end_, out};
    };
    auto keep = [&] {
        *out++ = '&';
        state_.seam = Seam::None;
        return Cursor{at.in, out};
    };
    if (p == end_) {
        return hold();
    }
    if (*p != '#') {
        return keep();
    }
    ++p;
    if (p == end_) {
        return hold();
    }
    const bool hex = *p == 'x' || *p == 'X';
    p += hex ? 1 : 0;
    const char* zeros = p;
    while (p < end_ && *p == '0') {
        ++p;
    }
    const char* const significant = p;
    // More than eight digits are beyond any character; such a reference passes as it is.
    while (p < end_ && isDigitOf(*p, hex) && p - significant <= 8) {
        ++p;
    }
    if (p - significant > 8) {
        return keep();
    }
    if (p == end_) {
        // Leading zeros change nothing; held without them, a reference stays short.
        const std::string digits =
            (p == significant && p > zeros ? "0" : "") + std::string(significant, p);
        state_.held.assign(amp, static_cast<std::size_t>(zeros - amp));
        state_.held.append(digits);
        return {end_, out};
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
    state_.seam = Seam::None;
    return {p + (*p == ';' ? 1 : 0), out};
}

Cursor Pass::onMarkup(Cursor at) {
    if (end_ - at.in < 4) {
        return holdFrom(at, at.in - 1);
    }
    const bool closing = *at.in == '/';
    return isRowTagName(closing ? at.in + 1 : at.in) ? onRowTag(at, closing)
                                                     : onOtherMarkup(at, closing);
}

Cursor Pass::onOtherMarkup(Cursor at, bool closing) {
    // The parser's state is no longer what this filter can be sure of.
    state_.plainCell = false;
    state_.seam = Seam::None;
    const char* const in = at.in;
    const char name = static_cast<char>((closing ? in[1] : in[0]) | 0x20);
    if (in[0] == '!' && in[1] == '-' && in[2] == '-') {
        state_.markup = Markup::Comment;
        return copyMarkup({in + 3, std::copy(in, in + 3, at.out)});
    }
    if (in[0] == '!' || in[0] == '?' || closing) {
        if (closing) {
            state_.cell = 0;
            state_.rowOpen = false;
        }
        state_.markup = Markup::Declaration;
        return copyMarkup(at);
    }
    if (name >= 'a' && name <= 'z') {
        state_.cell = 0;
        state_.rowOpen = false;
        state_.tagQuote = 0;
        state_.markup = Markup::StartTag;
        return copyMarkup(at);
    }
    return at;  // "<" before anything else is text to the parser
}

Cursor Pass::onRowTag(Cursor at, bool closing) {
    // It must end in this piece to be known.
    const char* const afterName = at.in + (closing ? 3 : 2);
    const Markup scan = closing ? Markup::Declaration : Markup::StartTag;
    char quote = 0;
    const char* const close = tagEnd(afterName, end_, scan, quote);
    if (close != nullptr) {
        const char kind = static_cast<char>(afterName[-1] | 0x20);  // 'd', 'h' or 'r'
        return closing ? onRowEndTag(at, close, kind) : onRowStartTag(at, close, kind);
    }
    const char* const open = at.in - 1;
    if (static_cast<std::size_t>(end_ - open) <= kMaxHeld) {
        return holdFrom(at, open);
    }
    // Too long to hold: passed on unfiltered, and nothing is assumed of it.
    state_.plainCell = false;
    state_.seam = Seam::None;
    state_.cell = 0;
    state_.rowOpen = false;
    // The scan went to the end of the piece: the rest is that tag, and it goes on with the
    // scan's state (an open quoted value too).
    state_.markup = scan;
    state_.tagQuote = quote;
    return {end_, std::copy(at.in, end_, at.out)};
}

Cursor Pass::copyThrough(Cursor at, const char* close) {
    while (at.in <= close) {
        *at.out++ = *at.in++;
    }
    return at;
}

Cursor Pass::dropSpace(Cursor at) {
    const char* const from = at.in;
    while (at.in < end_ && isHtmlSpace(*at.in)) {
        ++at.in;
    }
    state_.seam = at.in != from ? Seam::SpaceDropped : Seam::None;
    state_.skipping = at.in == end_;
    return at;
}

Cursor Pass::onRowStartTag(Cursor at, const char* close, char kind) {
    // The parser ends an open cell at a new cell, and cell and row at a new row.
    at = copyThrough(at, close);
    state_.seam = Seam::None;
    if (close[-1] == '/') {
        // "<td/>" is a cell the parser ends at once: nothing of it is plain.
        state_.cell = 0;
        state_.plainCell = false;
        state_.rowOpen = state_.rowOpen && kind != 'r';
        return at;
    }
    if (kind == 'r') {
        state_.rowOpen = true;
        state_.cell = 0;
        state_.plainCell = false;
    } else {
        state_.cell = kind;
        state_.plainCell = true;
    }
    // White space that follows leads a cell (innerText drops it) or is row content.
    return dropSpace(at);
}

Cursor Pass::onRowEndTag(Cursor at, const char* close, char kind) {
    // An end tag changes the parser's state only when it ends what is open.
    const bool endsCell = kind != 'r' && state_.cell == kind;
    const bool endsRow = kind == 'r' && state_.rowOpen;
    if (endsCell && state_.plainCell) {
        const char* next = close + 1;
        while (next < end_ && isHtmlSpace(*next)) {
            ++next;
        }
        const std::size_t rest = static_cast<std::size_t>(end_ - next);
        if (next < end_ && *next == '<' && endsOpenCell(next, rest, state_.rowOpen)) {
            // The end tag of a plain-text cell right before the next cell or the row's end
            // says nothing the parser would not imply, and leaving it out spares the parser a
            // third of its tags.
            --at.out;
            if (const char* nextEnd = cellStartTagEnd(next, rest, kind)) {
                return joinCells({nextEnd + 1, at.out});
            }
            state_.cell = 0;
            state_.plainCell = false;
            return {next, at.out};
        }
    }
    at = copyThrough(at, close);
    state_.plainCell = false;
    state_.seam = Seam::None;
    if (!endsCell && !endsRow) {
        return at;
    }
    state_.cell = 0;
    state_.rowOpen = state_.rowOpen && !endsRow;
    // After a closed cell or row, white space is row or table content no cell holds.
    return dropSpace(at);
}

Cursor Pass::joinCells(Cursor at) {
    // Plain cell follows plain cell of the same kind: one break for two tags.
    for (const char b : kCellBreak) {
        *at.out++ = b;
    }
    state_.seam = Seam::CellsJoined;
    while (at.in < end_ && isHtmlSpace(*at.in)) {
        ++at.in;
        state_.seam = Seam::None;
    }
    state_.skipping = at.in == end_;
    return at;
}

Cursor Pass::copyMarkup(Cursor at) {
    if (state_.markup == Markup::Comment) {
        // Ends at "-->"; the last two bytes of the previous piece may begin it.
        while (at.in < end_) {
            const char c = *at.in++;
            *at.out++ = c;
            if (c == '>' && state_.commentDashes >= 2) {
                state_.markup = Markup::None;
                state_.commentDashes = 0;
                return at;
            }
            state_.commentDashes = c == '-' ? state_.commentDashes + 1 : 0;
        }
        return at;
    }
    const char* close = tagEnd(at.in, end_, state_.markup, state_.tagQuote);
    const char* stop = close == nullptr ? end_ : close + 1;
    if (close != nullptr) {
        state_.markup = Markup::None;
        state_.tagQuote = 0;
    }
    return {stop, std::copy(at.in, stop, at.out)};
}

}  // namespace

void RowSpaceFilter::filter(std::string& text) {
    if (!state_.held.empty()) {
        text.insert(0, state_.held);
        state_.held.clear();
    }
    replaceCellBreaks(text);
    // One pass that copies the kept bytes down over the dropped ones. Plain byte loops: tags
    // are a few bytes apart, closer than a library call per tag would pay off.
    Cursor at{text.data(), text.data()};
    const char* const end = text.data() + text.size();
    Pass pass(state_, end);
    if (state_.skipping) {
        at = pass.skipSpaceGoingOn(at);
    }
    // A tag or comment that began in the last piece goes on here.
    if (state_.markup != Markup::None) {
        at = pass.copyMarkup(at);
    }
    while (at.in < end) {
        at = pass.copyText(at);
        if (at.in[-1] == '&') {
            at = pass.onReference(at);
        } else if (at.in[-1] == '<') {
            at = pass.onMarkup(at);
        }
    }
    text.resize(static_cast<std::size_t>(at.out - text.data()));
}

void RowSpaceFilter::finish(std::string& text) {
    // A lone "&" at the very end is the one place where the parser reads text differently
    // after a tag than after text: it drops the "&" after a tag and keeps it after text. Give
    // it the neighbour it had in the page.
    if (state_.held == "&") {
        if (state_.seam == Seam::CellsJoined) {
            state_.held.clear();
        } else if (state_.seam == Seam::SpaceDropped) {
            state_.held.insert(0, " ");
        }
    }
    text.append(state_.held);
    state_.held.clear();
}

}  // namespace kestrova
