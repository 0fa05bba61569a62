#include <array>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "export/records_table.h"

namespace kestrova {
namespace {

std::vector<std::string_view> views(const std::vector<std::string>& texts) {
    return {texts.begin(), texts.end()};
}

TEST(RecordsTable, StoresCellsTrimmedOfPlainSpacesOnly) {
    RecordsTable table;
    const std::array<std::string_view, 4> cells = {"  a b  ", "\t1\t", "　全角　", " "};
    table.setRow(1, cells);
    EXPECT_EQ(table.cell(1, 0), "a b");
    EXPECT_EQ(table.cell(1, 1), "\t1\t");
    EXPECT_EQ(table.cell(1, 2), "　全角　");
    EXPECT_EQ(table.cell(1, 3), "");
    EXPECT_EQ(table.cellCount(1), 4u);
}

TEST(RecordsTable, NeverFilledCellsAndCellsOutsideAreEmpty) {
    RecordsTable table;
    const std::array<std::string_view, 1> cells = {"x"};
    table.setRow(0, cells);
    EXPECT_EQ(table.cell(0, 1), "");
    EXPECT_EQ(table.cell(5, 0), "");
    EXPECT_EQ(table.cell(RecordsTable::kRows, 0), "");
    EXPECT_EQ(table.cell(0, RecordsTable::kColumns), "");
}

TEST(RecordsTable, RejectsRowAndColumnBeyondTheFixedSize) {
    RecordsTable table;
    const std::array<std::string_view, 1> one = {"x"};
    table.setRow(RecordsTable::kRows - 1, one);
    EXPECT_EQ(table.cell(RecordsTable::kRows - 1, 0), "x");
    try {
        table.setRow(RecordsTable::kRows, one);
        FAIL() << "row 10000 accepted";
    } catch (const RecordsOverflow& e) {
        EXPECT_NE(std::string(e.what()).find("上限"), std::string::npos);
    }

    const std::vector<std::string> full(RecordsTable::kColumns, "v");
    table.setRow(2, views(full));
    EXPECT_EQ(table.cell(2, RecordsTable::kColumns - 1), "v");
    std::vector<std::string> tooWide(RecordsTable::kColumns + 1, "w");
    EXPECT_THROW(table.setRow(3, views(tooWide)), RecordsOverflow);
    EXPECT_EQ(table.cellCount(3), 0u);
}

TEST(RecordsTable, SecondTableOverwritesOnlyTheColumnsItHas) {
    RecordsTable table;
    const std::array<std::string_view, 3> first = {"a", "b", "c"};
    const std::array<std::string_view, 1> second = {"z"};
    table.setRow(1, first);
    table.setRow(1, second);
    EXPECT_EQ(table.cell(1, 0), "z");
    EXPECT_EQ(table.cell(1, 1), "b");
    EXPECT_EQ(table.cell(1, 2), "c");
}

TEST(RecordsTable, RecordsEndAtTheFirstRowWithEmptyFirstColumn) {
    RecordsTable table;
    EXPECT_EQ(table.recordEnd(), 1u);
    const std::array<std::string_view, 2> record = {"1", "k"};
    const std::array<std::string_view, 2> blank = {"  ", "k"};
    table.setRow(1, record);
    table.setRow(2, record);
    table.setRow(3, blank);
    table.setRow(4, record);
    EXPECT_EQ(table.recordEnd(), 3u);
}

TEST(RecordsTable, FullMonthIsHeldInOneBufferAndClearedForTheNextFile) {
    RecordsTable table;
    std::vector<std::string> texts(RecordsTable::kColumns);
    for (std::size_t c = 0; c < texts.size(); ++c) {
        texts[c] = " " + std::to_string(c) + " ";
    }
    const auto cells = views(texts);
    for (std::size_t row = 0; row < RecordsTable::kRows; ++row) {
        table.setRow(row, cells);
    }
    // Only the trimmed characters are kept, not a string per cell.
    std::size_t rowBytes = 0;
    for (std::size_t c = 0; c < texts.size(); ++c) {
        rowBytes += std::to_string(c).size();
    }
    EXPECT_EQ(table.textBytes(), rowBytes * RecordsTable::kRows);
    EXPECT_EQ(table.cell(9999, 119), "119");

    table.clear();
    EXPECT_EQ(table.textBytes(), 0u);
    EXPECT_EQ(table.cell(9999, 119), "");
    EXPECT_EQ(table.cellCount(0), 0u);
}

}  // namespace
}  // namespace kestrova
