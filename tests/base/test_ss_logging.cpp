#include <algorithm>
#include <ctime>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/ss_logging.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

std::chrono::system_clock::time_point localTime(int year, int month, int day, int hour, int minute,
                                                int second, int millisecond) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts)) +
           std::chrono::milliseconds(millisecond);
}

class SsLoggingTest : public ::testing::Test {
  protected:
    SsLoggingTest() {
        log.LogFilePath = folder;
        log.FileName = "kestrova.log";
        log.LogFileHistorys = 5;
    }

    fs::path history(int number) const { return file.string() + "." + std::to_string(number); }

    TempDir dir;
    fs::path folder = dir / "logs";
    fs::path file = folder / "kestrova.log";
    SsLogging log;
};

TEST(LogLine, HasLocalTimeMillisecondsAndUnpaddedTag) {
    EXPECT_EQ(formatLogLine(kInfo, "アプリケーションが起動しました。",
                            localTime(2015, 10, 2, 9, 5, 7, 42)),
              "2015/10/02 09:05:07.042 [INFO] アプリケーションが起動しました。");
    EXPECT_EQ(formatLogLine(kWarn, "m", localTime(2015, 1, 2, 23, 59, 58, 7)),
              "2015/01/02 23:59:58.007 [WARN] m");
    EXPECT_EQ(formatLogLine(kFatal, "", localTime(2015, 1, 2, 0, 0, 0, 999)),
              "2015/01/02 00:00:00.999 [FATAL] ");
}

TEST_F(SsLoggingTest, WritesCp932LinesWithCrLfAndCreatesTheFolder) {
    ASSERT_FALSE(log.InfoLog("アプリケーションが起動しました。"));
    ASSERT_FALSE(log.ErrorLog("Main<<ファイルがありません>>"));
    const auto text = readFile(file);
    const auto info = toCp932(" [INFO] アプリケーションが起動しました。\r\n").bytes;
    const auto error = toCp932(" [ERROR] Main<<ファイルがありません>>\r\n").bytes;
    const std::regex stamp(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})");
    EXPECT_TRUE(std::regex_match(text.substr(0, 23), stamp)) << text;
    EXPECT_EQ(text.substr(23, info.size()), info);
    EXPECT_TRUE(std::regex_match(text.substr(23 + info.size(), 23), stamp));
    EXPECT_EQ(text.substr(46 + info.size()), error);
}

TEST_F(SsLoggingTest, LevelFilterIsSigned) {
    EXPECT_FALSE(log.TraceLog("t"));
    EXPECT_FALSE(log.DebugLog("d"));
    EXPECT_FALSE(fs::exists(folder)) << "filtered lines create nothing";
    for (auto write :
         {&SsLogging::InfoLog, &SsLogging::WarnLog, &SsLogging::ErrorLog, &SsLogging::FatalLog}) {
        EXPECT_FALSE((log.*write)("x"));
    }
    const auto text = readFile(file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    for (const char* tag : {"[INFO] x", "[WARN] x", "[ERROR] x", "[FATAL] x"}) {
        EXPECT_NE(text.find(tag), std::string::npos) << tag;
    }

    log.LoggingLevel = -3;
    EXPECT_FALSE(log.TraceLog("t"));
    EXPECT_NE(readFile(file).find("[TRACE] t"), std::string::npos);
    EXPECT_EQ(log.Logging(-1, "below trace"), std::errc::invalid_argument);
    log.LoggingLevel = 6;
    EXPECT_FALSE(log.FatalLog("f"));
    EXPECT_EQ(log.Logging(7, "unknown level"), std::errc::invalid_argument);
    log.LoggingLevel = 8;
    EXPECT_FALSE(log.Logging(7, "filtered before the level is checked"));
    EXPECT_EQ(readFile(file).find("level"), std::string::npos);
}

TEST_F(SsLoggingTest, DisabledWritesNothingAndCreatesNothing) {
    log.Enabled = false;
    EXPECT_FALSE(log.FatalLog("x"));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(SsLoggingTest, RotatesAtExactlyTheLimitButNotOneByteBefore) {
    constexpr std::size_t kLimit = 3 * 1024 * 1024;
    fs::create_directory(folder);
    writeFile(file, std::string(kLimit - 1, 'a'));
    ASSERT_FALSE(log.InfoLog("below"));
    EXPECT_FALSE(fs::exists(history(1)));
    EXPECT_GT(fs::file_size(file), kLimit) << "the test is made before writing";

    writeFile(file, std::string(kLimit, 'b'));
    ASSERT_FALSE(log.InfoLog("at limit"));
    ASSERT_TRUE(fs::exists(history(1)));
    EXPECT_EQ(fs::file_size(history(1)), kLimit);
    EXPECT_NE(readFile(file).find("[INFO] at limit\r\n"), std::string::npos);
    EXPECT_LT(fs::file_size(file), 100u);
}

TEST_F(SsLoggingTest, RotationShiftsTheHistoryAndDropsTheOldest) {
    log.MaxLogFileSize = 1.0 / 1024 / 1024;  // one byte
    fs::create_directory(folder);
    writeFile(file, "current");
    for (int i = 1; i <= 5; ++i) {
        writeFile(history(i), "old" + std::to_string(i));
    }
    ASSERT_FALSE(log.InfoLog("new"));
    EXPECT_EQ(readFile(history(1)), "current");
    for (int i = 2; i <= 5; ++i) {
        EXPECT_EQ(readFile(history(i)), "old" + std::to_string(i - 1));
    }
    EXPECT_FALSE(fs::exists(history(6)));
    EXPECT_NE(readFile(file).find("[INFO] new"), std::string::npos);
}

TEST_F(SsLoggingTest, RotationWithGapsMovesOnlyWhatExists) {
    log.MaxLogFileSize = 1.0 / 1024 / 1024;
    fs::create_directory(folder);
    writeFile(file, "current");
    writeFile(history(2), "old2");
    ASSERT_FALSE(log.InfoLog("new"));
    EXPECT_EQ(readFile(history(1)), "current");
    EXPECT_FALSE(fs::exists(history(2)));
    EXPECT_EQ(readFile(history(3)), "old2");

    // Without any history the full file is simply started afresh.
    log.LogFileHistorys = 0;
    ASSERT_FALSE(log.InfoLog("again"));
    ASSERT_FALSE(log.InfoLog("and again"));
    EXPECT_EQ(readFile(history(1)), "current");
    EXPECT_NE(readFile(file).find("[INFO] and again"), std::string::npos);
    EXPECT_EQ(readFile(file).find("[INFO] again"), std::string::npos);
}

TEST_F(SsLoggingTest, UnwritableLogReturnsAnErrorAndDropsTheLine) {
    // These fail for an administrator too: a file where the folder should be, a folder two
    // levels deep (only one is created), a folder where the log file should be.
    writeFile(folder, "not a folder");
    EXPECT_TRUE(log.FatalLog("x"));
    EXPECT_EQ(readFile(folder), "not a folder");

    log.LogFilePath = dir / "a" / "b";
    EXPECT_TRUE(log.FatalLog("x"));
    EXPECT_FALSE(fs::exists(dir / "a"));

    log.LogFilePath = dir.path();
    fs::create_directory(dir / "kestrova.log");
    EXPECT_TRUE(log.FatalLog("x"));
}

}  // namespace
}  // namespace kestrova
