#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/ss_logging.h"
#include "export/comment_file.h"
#include "export/day_rows.h"
#include "export/host_file.h"
#include "export/index_csv.h"
#include "export/records_table.h"
#include "support/platform.h"
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

    HostWriter& host() {
        if (!host_) {
            host_.emplace(dir.path());
        }
        return *host_;
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
    std::optional<HostWriter> host_;
};

TEST_F(WriterTest, CommentTokensFollowTheFlagsAndOnlyFlagsOfOneCount) {
    const auto rows =
        store({{{1, "2015011006101011"}, {2, "07"}, {3, "激"}, {8, "◯"}, {119, " 1 "}}});
    // Flag 2 set to 2 is not set; only resting farm (flag 5) remains, and it is empty.
    const WriterResult result =
        CmtOut(log, host(), table, {0, 2, 0, 0, 1}, "YOS_COM", "20150110", "YC", rows);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.lines, 1);
    EXPECT_EQ(result.files, 1);
    // Meeting 10 and day 10 become "A" in the host's meeting code.
    EXPECT_EQ(fileText(folder / "2015" / "YC0615AA.DAT"), "0615AA1107, \r\n");

    CmtOut(log, host(), table, {1, 1, 1, 1, 0}, "YOS_COM", "20150110", "KC", rows);
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
    ASSERT_TRUE(CmtOut(log, host(), table, {0, 0, 0, 0, 1}, "YOS_COM", "20150110", "YC", rows).ok);
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
    const WriterResult result =
        CmtOut(log, host(), table, {1, 0, 0, 0, 0}, "YOS_COM", "20150110", "YC", rows);
    EXPECT_EQ(result.files, 2);
    EXPECT_EQ(result.lines, 3);
    EXPECT_EQ(fileText(folder / "2015" / "YC061511.DAT"), "0615110101,__ \r\n0615110205,__ \r\n");
    EXPECT_EQ(fileText(folder / "2015" / "YC091511.DAT"), "0915110101,__ \r\n");
}

TEST_F(WriterTest, IndexLinesReadTheKindsColumnPair) {
    const auto rows =
        store({{{1, "2015011006010101"}, {2, "01"}, {9, "a"}, {10, "b"}, {101, "y"}, {102, "z"}}});
    const auto index = dir / "KSTR_DATA";
    const std::filesystem::path indexFolder = "KSTR_DATA";
    const WriterResult first = AlsOut(log, host(), table, indexFolder, "KSTR010", "20150110", rows);
    const WriterResult last = AlsOut(log, host(), table, indexFolder, "KSTR470", "20150110", rows);
    ASSERT_TRUE(first.ok && last.ok);
    EXPECT_EQ(first.lines + last.lines, 2);
    EXPECT_EQ(readFile(index / "2015" / "KSTR010_150110.CSV"), "201501100601010101,a,b\r\n");
    EXPECT_EQ(readFile(index / "2015" / "KSTR470_150110.CSV"), "201501100601010101,y,z\r\n");
}

TEST_F(WriterTest, NamesFromOutsideNeverBecomePaths) {
    const auto rows = store({{{1, "2015011006010101"}, {2, "01"}}});
    const auto index = dir / "KSTR_DATA";
    const std::filesystem::path indexFolder = "KSTR_DATA";
    EXPECT_FALSE(AlsOut(log, host(), table, indexFolder, "KSTR/../480", "20150110", rows).ok);
    EXPECT_FALSE(
        AlsOut(log, host(), table, indexFolder, "KSTR600", "20150110", rows).ok);  // column 127
    EXPECT_FALSE(AlsOut(log, host(), table, indexFolder, "KSTR010", "2015/../", rows).ok);
    EXPECT_FALSE(
        CmtOut(log, host(), table, {1, 0, 0, 0, 0}, "YOS_COM", "20150110", "../YC", rows).ok);
    EXPECT_FALSE(CmtOut(log, host(), table, {1, 0, 0, 0, 0}, "YOS_COM", "2015011", "YC", rows).ok);
    EXPECT_FALSE(std::filesystem::exists(index));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    const std::string logged = logText();
    EXPECT_NE(logged.find("AlsOut<<"), std::string::npos);
    EXPECT_NE(logged.find("CmtOut<<"), std::string::npos);
}

namespace fs = std::filesystem;

/// Writes one index file for 2015-01-10 into KSTR_DATA/2015 and says whether it worked.
class HostFolderSafety : public WriterTest {
  protected:
    HostFolderSafety() {
        rows = store({{{1, "2015011006010101"}, {2, "01"}, {9, "a"}, {10, "b"}}});
    }

    WriterResult writeIndex() {
        return AlsOut(log, host(), table, "KSTR_DATA", "KSTR010", "20150110", rows);
    }
    fs::path target() const { return dir / "KSTR_DATA" / "2015" / "KSTR010_150110.CSV"; }

    RowList rows;
    TempDir outside;
};

TEST_F(HostFolderSafety, LinkedYearFolderIsRefusedAndNothingLandsWhereItPoints) {
    fs::create_directories(dir / "KSTR_DATA");
    if (!test::makeSymlink(outside.path(), dir / "KSTR_DATA" / "2015")) {
        GTEST_SKIP() << test::kNoSymlinks;
    }
    const WriterResult result = writeIndex();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failedFiles, 1);
    EXPECT_TRUE(fs::is_empty(outside.path()));
    EXPECT_NE(logText().find("リンクは使えません"), std::string::npos) << logText();
}

TEST_F(HostFolderSafety, LinkedOrSpecialTargetIsNeverReplacedNorFollowed) {
    fs::create_directories(target().parent_path());
    const fs::path kept = outside / "passwd";
    test::writeFile(kept, "root:x:0:0\n");
    if (!test::makeSymlink(kept, target())) {
        GTEST_SKIP() << test::kNoSymlinks;
    }
    EXPECT_FALSE(writeIndex().ok);
    EXPECT_EQ(readFile(kept), "root:x:0:0\n");
    EXPECT_TRUE(fs::is_symlink(target()));

    fs::remove(target());
    fs::create_directory(target());
    EXPECT_FALSE(writeIndex().ok);
    EXPECT_TRUE(fs::is_directory(target()));
}

TEST_F(HostFolderSafety, ReadOnlyFileIsKeptAndCountedAsNotWritten) {
    fs::create_directories(target().parent_path());
    test::writeFile(target(), "kept");
    fs::permissions(target(), fs::perms::owner_read | fs::perms::group_read);
    const WriterResult result = writeIndex();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failedFiles, 1);
    EXPECT_EQ(readFile(target()), "kept");
    EXPECT_NE(logText().find("読み取り専用"), std::string::npos);

    // A writable file is replaced and keeps its permissions (as the system shows them).
    fs::permissions(target(), fs::perms::owner_read | fs::perms::owner_write);
    const fs::perms before = fs::status(target()).permissions();
    ASSERT_TRUE(writeIndex().ok);
    EXPECT_EQ(readFile(target()), "201501100601010101,a,b\r\n");
    EXPECT_EQ(fs::status(target()).permissions(), before);
}

TEST_F(HostFolderSafety, HostFolderItselfMayBeALink) {
    if (!test::makeSymlink(dir.path(), outside / "host")) {
        GTEST_SKIP() << test::kNoSymlinks;
    }
    HostWriter linked(outside / "host");
    ASSERT_TRUE(AlsOut(log, linked, table, "KSTR_DATA", "KSTR010", "20150110", rows).ok);
    EXPECT_TRUE(fs::is_regular_file(target()));
}

TEST_F(HostFolderSafety, TemporariesOfAKilledRunGoAndNoneOfOursStay) {
    fs::create_directories(target().parent_path());
    const fs::path leftover = target().string() + ".kestrova-tmp-4242-17";
    test::writeFile(leftover, "half");
    // A crashed run of an earlier version leaves its temporary without a run id.
    test::writeFile(target().string() + ".kestrova-tmp", "half");
    ASSERT_TRUE(writeIndex().ok);
    for (const auto& entry : fs::directory_iterator(target().parent_path())) {
        EXPECT_EQ(entry.path().filename(), target().filename());
    }
}

TEST_F(HostFolderSafety, OneRunAtATimeHoldsTheFolder) {
    HostWriter first(dir.path());
    ASSERT_TRUE(first.lock());
    HostWriter second(dir.path());
    EXPECT_FALSE(second.lock());
    {
        HostWriter released(dir.path());
        EXPECT_FALSE(released.lock());
    }
    first = HostWriter(dir.path());  // the old lock goes with the old writer
    EXPECT_TRUE(second.lock());
}

TEST_F(HostFolderSafety, AFileThatAlreadyHoldsTheBytesIsLeftAsItIs) {
    ASSERT_TRUE(writeIndex().ok);
    const auto inode = [&] { return test::fileIdentity(target()); };
    const auto first = inode();
    ASSERT_TRUE(writeIndex().ok);
    EXPECT_EQ(inode(), first);  // not replaced: a re-export writes only what changed
    // Same size, other bytes: replaced.
    std::string bytes = readFile(target());
    bytes[0] = '3';
    test::writeFile(target(), bytes);
    ASSERT_TRUE(writeIndex().ok);
    EXPECT_EQ(readFile(target()), "201501100601010101,a,b\r\n");
}

}  // namespace
}  // namespace kestrova
