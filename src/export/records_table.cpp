#include "export/records_table.h"

#include <algorithm>
#include <limits>

#include "base/text.h"

namespace kestrova {

RecordsTable::RecordsTable() : rows_(kRows) {}

void RecordsTable::clear() {
    text_.clear();
    cells_.clear();
    std::fill(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(rowsTouched_), RowRef{});
    rowsTouched_ = 0;
}

void RecordsTable::setRow(std::size_t row, std::span<const std::string_view> cells) {
    if (row >= kRows) {
        throw RecordsOverflow("データの行数が上限（" + std::to_string(kRows - 1) +
                              "件）を超えました。");
    }
    if (cells.size() > kColumns) {
        throw RecordsOverflow("データの列数が上限（" + std::to_string(kColumns) +
                              "列）を超えました。");
    }
    const RowRef old = rows_[row];
    const std::size_t count = std::max<std::size_t>(old.count, cells.size());
    if (count == 0) {
        return;
    }
    const std::size_t first = cells_.size();
    for (std::string_view cell : cells) {
        cell = trimSpaces(cell);
        if (text_.size() + cell.size() > kMaxTextBytes) {
            cells_.resize(first);
            throw RecordsOverflow("データの文字数が上限（" + std::to_string(kMaxTextBytes >> 20) +
                                  " MB）を超えました。");
        }
        cells_.push_back(
            {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(cell.size())});
        text_.append(cell);
    }
    // A second table on the page writes only the columns it has.
    for (std::size_t c = cells.size(); c < old.count; ++c) {
        const CellRef kept = cells_[old.first + c];
        cells_.push_back(kept);
    }
    rows_[row] = {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(count)};
    rowsTouched_ = std::max(rowsTouched_, row + 1);
}

std::size_t RecordsTable::cellCount(std::size_t row) const {
    return row < kRows ? rows_[row].count : 0;
}

std::string_view RecordsTable::rowText(std::size_t row) const {
    if (row >= kRows || rows_[row].count == 0) {
        return {};
    }
    std::size_t begin = text_.size();
    std::size_t end = 0;
    for (std::size_t c = 0; c < rows_[row].count; ++c) {
        const CellRef ref = cells_[rows_[row].first + c];
        begin = std::min<std::size_t>(begin, ref.offset);
        end = std::max<std::size_t>(end, ref.offset + ref.length);
    }
    return begin < end ? std::string_view(text_).substr(begin, end - begin) : std::string_view();
}

std::size_t RecordsTable::recordEnd() const {
    std::size_t row = 1;
    while (row < kRows && !cell(row, 0).empty()) {
        ++row;
    }
    return row;
}

}  // namespace kestrova
