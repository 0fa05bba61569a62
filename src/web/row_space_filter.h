#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

/// Stands for "the cell ends and the next cell of the row begins" in filtered text: U+FDD0,
/// a noncharacter that no decoded page carries (the filter replaces any it finds by U+FFFD).
inline constexpr std::string_view kCellBreak = "\xEF\xB7\x90";
inline constexpr std::uint32_t kCellBreakCodePoint = 0xFDD0;

/// Trims table markup before the HTML parser sees it, without changing what it yields:
/// - white space right after a td, th or tr start tag, where it leads a cell (innerText
///   drops it) or is row content that no cell holds, and after an end tag that ends an open
///   cell or row;
/// - the end tag of a cell that holds plain text only, when a td, th or tr start tag or the
///   end tag of an open row follows (after such white space): they end the cell by
///   themselves;
/// - between two such cells of one kind, the end tag and the next cell's start tag together,
///   replaced by kCellBreak, so that a row of plain cells reaches the parser as one cell's
///   text and the table builder splits it again.
/// It follows tags, quoted attribute values and comments as the parser reads them, and after
/// any other markup it assumes nothing until the next row starts: where it cannot be sure,
/// it leaves the markup alone.
/// The parser's cost is per tag: a data page of 120 cells a row otherwise costs it 120 start
/// tags a row, which is most of the reading time.
///
/// The page's own U+FDD0, written as the character or as a character reference
/// ("&#xFDD0;", "&#64976;", with any leading zeros), becomes U+FFFD: no page content can
/// split a cell.
class RowSpaceFilter {
  public:
    /// Filters the next piece of the page in place. A tag cut off at the end of the piece
    /// is held back and put in front of the next piece.
    void filter(std::string& text);
    /// The page ended: appends what is still held back.
    void finish(std::string& text);

    /// Markup that goes on from one piece into the next.
    enum class Markup { None, StartTag, Declaration, Comment };
    /// What the filter changed just before the current place, where the parser would still
    /// see the difference: a lone "&" that ends the page is text after text, but dropped
    /// right after a tag.
    enum class Seam { None, SpaceDropped, CellsJoined };
    /// What the filter knows between pieces; the passes over them are in the source file.
    struct State {
        std::string held;              ///< a cut-off tag or reference, for the next piece
        bool skipping = false;         ///< the last piece ended in white space after such a tag
        bool plainCell = false;        ///< no other tag since the open cell's start tag
        char cell = 0;                 ///< 'd' or 'h': a cell the parser surely has open; 0 unknown
        bool rowOpen = false;          ///< the parser surely has a row open
        Markup markup = Markup::None;  ///< markup that goes on from the last piece
        char tagQuote = 0;             ///< an open quoted value in it
        int commentDashes = 0;         ///< "-" just before, in a comment
        Seam seam = Seam::None;        ///< nothing written since it
    };

  private:
    State state_;
};

}  // namespace kestrova
