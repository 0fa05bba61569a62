#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "export/day_rows.h"
#include "export/records_table.h"

namespace kestrova {
namespace {

using Keys = std::vector<std::string>;

/// A table whose rows 1.. carry column 0 "1" and these race keys ("" ends the records).
RecordsTable tableOf(std::initializer_list<std::string_view> raceKeys) {
    RecordsTable table;
    const std::array<std::string_view, 1> header = {"201501:x"};
    table.setRow(0, header);
    std::size_t row = 1;
    for (const std::string_view key : raceKeys) {
        const std::array<std::string_view, 2> cells = {key.empty() ? "" : "1", key};
        table.setRow(row++, cells);
    }
    return table;
}

TEST(DayKeyList, HeaderFirstThenEachNewDateAsItComesBack) {
    const RecordsTable table = tableOf({
        "2015010406010101",
        "2015010406010102",
        "2015010506010101",
        "2015010406010103",  // the 4th again after the 5th: listed again
        "2015010406010104",
    });
    EXPECT_EQ(dayKeyList(table, "201501"), (Keys{"201501", "20150104", "20150105", "20150104"}));
}

TEST(DayKeyList, InvalidKeysNeitherListADateNorBreakARun) {
    const RecordsTable table = tableOf({
        "2015010406010101",
        "20150104060101",    // a meeting key, too short
        "2015013206010101",  // no 32nd of January
        "2015010406010102",
        "../../x/06010101",
    });
    EXPECT_EQ(dayKeyList(table, "201501"), (Keys{"201501", "20150104"}));
    EXPECT_EQ(countInvalidRecords(table), 3u);
}

TEST(RecordsOfADay, PageOrderUpToTheFirstEmptyFirstColumn) {
    const RecordsTable table = tableOf({
        "2015010406010101",  // row 1
        "2015010506010101",
        "2015010409010101",  // row 3
        "2015010412345678",  // any 16 digits after a real date make a race key
        "",                  // row 5 ends the records
        "2015010406010199",
    });
    EXPECT_EQ(recordRowsOfDay(table, "20150104"), (RowList{1, 3, 4}));
    EXPECT_EQ(recordRowsOfDay(table, "20150105"), (RowList{2}));
    EXPECT_TRUE(recordRowsOfDay(table, "20150106").empty());
    EXPECT_EQ(dayKeyList(table, "201501").size(), 4u);  // the row after the end is not read
}

}  // namespace
}  // namespace kestrova
