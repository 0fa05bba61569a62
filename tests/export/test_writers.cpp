#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/ss_logging.h"
#include "export/comment_file.h"
#include "export/day_rows.h"
#include "export/index_csv.h"
#include "export/records_table.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

using test::readFile;
using test::TempDir;

/// One record: column -> text; column 0 is set to "1".
using Cells = std::map<std::size_t, std::string>;

class WriterTest : public ::testing::Test {
  protected:
    WriterTest() {
        log.LogFilePath = dir / "logs";
        std::filesystem::create_directories(folder);
    }

    /// Stores `records` as rows 1.. and returns their row numbers.
    RowList store(const std::vector<Cells>& records) {
        RowList rows;
        for (const Cells& record : records) {
            std::vector<std::string> texts(RecordsTable::kColumns);
            texts[0] = "1";
            for (const auto& [column, text] : record) {
                texts[column] = text;
            }
            const std::vector<std::string_view> views(texts.begin(), texts.end());
            rows.push_back(static_cast<std::uint32_t>(rows.size() + 1));
            table.setRow(rows.back(), views);
        }
        return rows;
    }

    std::string fileText(const std::filesystem::path& file) const {
        return fromCp932(readFile(file));
    }
    std::string logText() const { return fromCp932(readFile(dir / "logs" / log.FileName)); }

    TempDir dir;
    std::filesystem::path folder = dir / "YOS_COM";
    SsLogging log;
    RecordsTable table;
};

TEST_F(WriterTest, CommentTokensFollowTheFlagsAndOnlyFlagsOfOneCount) {
    const auto rows =
        store({{{1, "2015011006101011"}, {2, "07"}, {3, "激"}, {8, "◯"}, {119, " 1 "}}});
    // Flag 2 set to 2 is not set; only resting farm (flag 5) remains, and it is empty.
    const WriterResult result = CmtOut(log, table, {0, 2, 0, 0, 1}, folder, "20150110", "YC", rows);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.lines, 1);
    EXPECT_EQ(result.files, 1);
    // Meeting 10 and day 10 become "A" in the host's meeting code.
    EXPECT_EQ(fileText(folder / "2015" / "YC0615AA.DAT"), "0615AA1107, \r\n");

    CmtOut(log, table, {1, 1, 1, 1, 0}, folder, "20150110", "KC", rows);
    EXPECT_EQ(fileText(folder / "2015" / "KC0615AA.DAT"), "0615AA1107,○ 激 __ VJ \r\n");
}

TEST_F(WriterTest, RestingFarmTokenDropsTheFormerNameButKeepsItsBracket) {
    const auto rows = store({
        {{1, "2015011006010101"},
         {2, "01"},
         {113, "1"},
         {116, "ノーザン（旧天栄ホースパーク）"},
         {117, "B"},
         {114, "20150102"}},
        {{1, "2015011006010101"}, {2, "02"}, {113, " 1"}, {116, "牧場"}},
        {{1, "2015011006010101"}, {2, "03"}, {113, "2"}, {116, "見えない牧場"}},
    });
    ASSERT_TRUE(CmtOut(log, table, {0, 0, 0, 0, 1}, folder, "20150110", "YC", rows).ok);
    EXPECT_EQ(fileText(folder / "2015" / "YC061511.DAT"),
              "0615110101,ノーザン）(B)15/01/02 \r\n"
              "0615110102,牧場 \r\n"
              "0615110103, \r\n");
}

TEST_F(WriterTest, MeetingsOfADayGetAFileEachWithTheirRecordsInPageOrder) {
    const auto rows = store({
        {{1, "2015011006010101"}, {2, "01"}},
        {{1, "2015011009010101"}, {2, "01"}},
        {{1, "2015011006010102"}, {2, "05"}},
    });
    const WriterResult result = CmtOut(log, table, {1, 0, 0, 0, 0}, folder, "20150110", "YC", rows);
    EXPECT_EQ(result.files, 2);
    EXPECT_EQ(result.lines, 3);
    EXPECT_EQ(fileText(folder / "2015" / "YC061511.DAT"), "0615110101,__ \r\n0615110205,__ \r\n");
    EXPECT_EQ(fileText(folder / "2015" / "YC091511.DAT"), "0915110101,__ \r\n");
}

TEST_F(WriterTest, IndexLinesReadTheKindsColumnPair) {
    const auto rows =
        store({{{1, "2015011006010101"}, {2, "01"}, {9, "a"}, {10, "b"}, {101, "y"}, {102, "z"}}});
    const auto index = dir / "KSTR_DATA";
    const WriterResult first = AlsOut(log, table, index, "KSTR010", "20150110", rows);
    const WriterResult last = AlsOut(log, table, index, "KSTR470", "20150110", rows);
    ASSERT_TRUE(first.ok && last.ok);
    EXPECT_EQ(first.lines + last.lines, 2);
    EXPECT_EQ(readFile(index / "2015" / "KSTR010_150110.CSV"), "201501100601010101,a,b\r\n");
    EXPECT_EQ(readFile(index / "2015" / "KSTR470_150110.CSV"), "201501100601010101,y,z\r\n");
}

TEST_F(WriterTest, NamesFromOutsideNeverBecomePaths) {
    const auto rows = store({{{1, "2015011006010101"}, {2, "01"}}});
    const auto index = dir / "KSTR_DATA";
    EXPECT_FALSE(AlsOut(log, table, index, "KSTR/../480", "20150110", rows).ok);
    EXPECT_FALSE(AlsOut(log, table, index, "KSTR600", "20150110", rows).ok);  // column 127
    EXPECT_FALSE(AlsOut(log, table, index, "KSTR010", "2015/../", rows).ok);
    EXPECT_FALSE(CmtOut(log, table, {1, 0, 0, 0, 0}, folder, "20150110", "../YC", rows).ok);
    EXPECT_FALSE(CmtOut(log, table, {1, 0, 0, 0, 0}, folder, "2015011", "YC", rows).ok);
    EXPECT_FALSE(std::filesystem::exists(index));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    const std::string logged = logText();
    EXPECT_NE(logged.find("AlsOut<<"), std::string::npos);
    EXPECT_NE(logged.find("CmtOut<<"), std::string::npos);
}

}  // namespace
}  // namespace kestrova
