#include <array>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "export/day_rows.h"
#include "export/records_table.h"

namespace kestrova {
namespace {

using Keys = std::vector<std::string>;

/// A table whose rows 1.. carry column 0 "1", these race keys ("" ends the records) and,
/// where given, other cells.
RecordsTable tableOf(std::initializer_list<std::string_view> raceKeys,
                     const std::map<std::size_t, std::map<std::size_t, std::string>>& cells = {}) {
    RecordsTable table;
    const std::array<std::string_view, 1> header = {"201501:x"};
    table.setRow(0, header);
    std::size_t row = 1;
    for (const std::string_view key : raceKeys) {
        std::vector<std::string> texts(RecordsTable::kColumns);
        texts[0] = key.empty() ? "" : "1";
        texts[1] = key;
        texts[2] = "01";
        if (const auto more = cells.find(row); more != cells.end()) {
            for (const auto& [column, text] : more->second) {
                texts[column] = text;
            }
        }
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        table.setRow(row++, views);
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
    const RecordSelection records = selectRecords(table, "201501");
    EXPECT_EQ(records.skipped, 0u);
    EXPECT_EQ(dayKeyList(table, records.rows, "201501"),
              (Keys{"201501", "20150104", "20150105", "20150104"}));
}

TEST(RecordSelection, InvalidKeysAndRecordsOfAnotherPeriodAreSkipped) {
    const RecordsTable table = tableOf({
        "2015010406010101",
        "20150104060101",    // a meeting key, too short
        "2015013206010101",  // no 32nd of January
        "2015020106010101",  // February in January's file
        "2014123106010101",  // and the year before
        "2015010406010102",
        "../../x/06010101",
    });
    const RecordSelection month = selectRecords(table, "201501");
    EXPECT_EQ(month.rows, (RowList{1, 6}));
    EXPECT_EQ(month.skipped, 5u);
    EXPECT_EQ(dayKeyList(table, month.rows, "201501"), (Keys{"201501", "20150104"}));

    // A day file: only records of that day.
    const RecordSelection day = selectRecords(table, "20150201");
    EXPECT_EQ(day.rows, (RowList{4}));
    EXPECT_EQ(day.skipped, 6u);
}

TEST(RecordSelection, CellsThatWouldAddLinesOrFieldsSkipTheirRecord) {
    const RecordsTable table = tableOf(
        {
            "2015010406010101",
            "2015010406010102",
            "2015010406010103",
            "2015010406010104",
            "2015010406010105",
            "2015010406010106",
        },
        {
            {1, {{2, "01,0.0,0.0\r\n201501040601010199"}}},  // a forged line in the horse number
            {2, {{9, "1,5"}}},                               // a comma in an index value
            {3, {{116, "牧場\r\n"}}},                        // a line break in the farm name
            {4, {{105, "調教師, 美浦"}}},                    // a column that is never written
            {5, {{119, "1,"}}},                              // compared, not written
        });
    const RecordSelection records = selectRecords(table, "201501");
    EXPECT_EQ(records.rows, (RowList{4, 5, 6}));
    EXPECT_EQ(records.skipped, 3u);
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
    const RecordSelection records = selectRecords(table, "201501");
    EXPECT_EQ(records.rows.size(), 4u);  // the row after the end is not read
    EXPECT_EQ(recordRowsOfDay(table, records.rows, "20150104"), (RowList{1, 3, 4}));
    EXPECT_EQ(recordRowsOfDay(table, records.rows, "20150105"), (RowList{2}));
    EXPECT_TRUE(recordRowsOfDay(table, records.rows, "20150106").empty());
}

}  // namespace
}  // namespace kestrova
