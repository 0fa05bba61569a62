#pragma once

#include <cstddef>
#include <string>

namespace kestrova {

/// Trims table markup before the HTML parser sees it, without changing what it yields:
/// - white space right after a td, th or tr tag: after a start tag it leads a cell, where
///   innerText drops it, and after an end tag it is row content that no cell holds;
/// - the end tag of a cell that holds plain text only, when a td, th or tr start tag or a
///   </tr> follows (after such white space): they end the cell by themselves.
/// Pages written one cell a line otherwise cost the parser a text event and an end tag for
/// every cell.
class RowSpaceFilter {
  public:
    /// Filters the next piece of the page in place. A tag cut off at the end of the piece
    /// is held back and put in front of the next piece.
    void filter(std::string& text);
    /// The page ended: appends what is still held back.
    void finish(std::string& text);

  private:
    /// The longest tag start held back; a longer one passes unfiltered.
    static constexpr std::size_t kMaxHeld = 256;

    std::string held_;
    bool skipping_ = false;     ///< the last piece ended in white space after such a tag
    bool inPlainCell_ = false;  ///< no tag since the last td or th start tag
};

}  // namespace kestrova
