#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"

namespace kestrova {

/// A row or column beyond the table's fixed size.
class RecordsOverflow : public Error {
  public:
    using Error::Error;
};

/// TFDataTable: the rows of one downloaded data file, 10000 rows by 120 columns, row 0 the
/// header row. The texts of a file live in one buffer; each row keeps spans into it, so a
/// full month costs a few megabytes instead of a million strings. Cleared, not reallocated,
/// between files.
class RecordsTable {
  public:
    static constexpr std::size_t kRows = 10000;
    static constexpr std::size_t kColumns = 120;
    /// The text of one data file. 9,999 records of 120 cells fit with room to spare (the
    /// vendor's pages hold a few bytes a cell); a page beyond it is not a data file.
    static constexpr std::size_t kMaxTextBytes = 24u << 20;

    RecordsTable();

    /// Every cell back to "".
    void clear();

    /// Stores the cells of row `row`, each trimmed of U+0020. When the row already holds
    /// cells (a second table on the page), the new cells replace the old ones at the same
    /// columns and the old ones beyond stay. Throws RecordsOverflow for row >= kRows or more
    /// than kColumns cells; the row is then left unchanged.
    void setRow(std::size_t row, std::span<const std::string_view> cells);

    /// The stored text; "" for a cell never filled or outside the table.
    std::string_view cell(std::size_t row, std::size_t column) const {
        // Inline: the writers read every cell of a month dozens of times.
        if (row >= kRows || column >= rows_[row].count) {
            return {};
        }
        const CellRef ref = cells_[rows_[row].first + column];
        return std::string_view(text_).substr(ref.offset, ref.length);
    }

    /// Number of cells stored in `row`.
    std::size_t cellCount(std::size_t row) const;

    /// Text that holds every cell of `row` (and possibly more): a row is checked for a
    /// character in one pass instead of cell by cell.
    std::string_view rowText(std::size_t row) const;

    /// The first row at or after 1 whose column 0 is empty: the end of the records.
    std::size_t recordEnd() const;

    /// Bytes of text held (for tests of the compact storage).
    std::size_t textBytes() const { return text_.size(); }

  private:
    struct CellRef {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct RowRef {
        std::uint32_t first = 0;  ///< index into cells_
        std::uint32_t count = 0;
    };

    std::string text_;
    std::vector<CellRef> cells_;
    std::vector<RowRef> rows_;  ///< kRows entries
    std::size_t rowsTouched_ = 0;
};

}  // namespace kestrova
