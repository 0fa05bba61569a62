#include <ctime>
#include <regex>
#include <stdexcept>

#include <gtest/gtest.h>

#include "base/ss_logging.h"
#include "services/activity.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

using test::readFile;
using test::RecordingUi;
using test::TempDir;

class ActivityTest : public ::testing::Test {
  protected:
    ActivityTest() {
        log.LogFilePath = dir.path();
        log.FileName = "kestrova.log";
    }

    std::string logText() const {
        const auto file = dir / "kestrova.log";
        return std::filesystem::exists(file) ? readFile(file) : std::string();
    }

    TempDir dir;
    SsLogging log;
    RecordingUi ui;
};

TEST(ActivityLine, IsTimeOfDayTwoSpacesAndMessage) {
    std::tm parts{};
    parts.tm_year = 2015 - 1900;
    parts.tm_mon = 9;
    parts.tm_mday = 2;
    parts.tm_hour = 7;
    parts.tm_min = 5;
    parts.tm_sec = 9;
    parts.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&parts)) +
                      std::chrono::milliseconds(999);
    EXPECT_EQ(formatActivityLine(when, "出力処理を開始しました。"),
              "07:05:09  出力処理を開始しました。");
}

TEST_F(ActivityTest, MessageGoesToTheListAndToTheLogAtInformationLevel) {
    LogOut(ui, log, "出力処理を開始しました。");
    ASSERT_EQ(ui.activity.size(), 1u);
    EXPECT_TRUE(std::regex_match(ui.activity[0], std::regex(R"(\d\d:\d\d:\d\d  .*)")));
    EXPECT_EQ(ui.activityMessages()[0], "出力処理を開始しました。");
    EXPECT_EQ(ui.breaths, 1);
    EXPECT_EQ(logText().size(), 24 + 7 + 10 + 24 + 2) << "stamp, [INFO], line, CR LF";
}

TEST_F(ActivityTest, EmptyMessageClearsTheListAndLogsNothing) {
    for (int i = 0; i < 1000; ++i) {
        LogOut(ui, log, std::to_string(i));
    }
    ASSERT_EQ(ui.activity.size(), 1000u);
    EXPECT_EQ(ui.activityMessages().front(), "0");
    EXPECT_EQ(ui.activityMessages().back(), "999");
    std::filesystem::remove(dir / "kestrova.log");

    LogOut(ui, log, "");
    EXPECT_TRUE(ui.activity.empty());
    EXPECT_EQ(ui.clears, 1);
    EXPECT_EQ(ui.breaths, 1001);
    EXPECT_EQ(logText(), "");
}

TEST_F(ActivityTest, AFailingWindowIsLoggedNotThrown) {
    class BrokenUi : public RecordingUi {
      public:
        void addActivity(std::string_view) override { throw std::runtime_error("list gone"); }
    } broken;
    EXPECT_NO_THROW(LogOut(broken, log, "x"));
    EXPECT_NE(logText().find("[ERROR] frmTFLink:LogOut<<list gone>>"), std::string::npos);

    // An unwritable log never stops the list.
    log.LogFilePath = dir / "missing" / "deeper";
    LogOut(ui, log, "still shown");
    EXPECT_EQ(ui.activityMessages(), std::vector<std::string>{"still shown"});
}

}  // namespace
}  // namespace kestrova
