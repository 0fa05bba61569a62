#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ss_logging.h"
#include "export/this_week.h"
#include "sample_server.h"
#include "services/core_context.h"
#include "support/fixed_week_server.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

std::vector<std::string> files(const ThisWeekDays& week) {
    std::vector<std::string> names;
    for (const auto& day : week.days) {
        names.push_back(day.dayText + " " + day.fileName);
    }
    return names;
}

/// This week's days 2026-12-05 (Saturday) and -06 on the site and the member server.
class ThisWeek : public ::testing::Test {
  protected:
    ThisWeek() {
        log.LogFilePath = dir.path();
        ctx.raceAuthority = RaceAuthoritySite("http://" + server.hostPort());
    }

    test::TempDir dir;
    SsLogging log;
    test::RecordingUi ui;
    test::FixedWeekServer server;
    CoreContext ctx{log, ui, MemberServer(server.hostPort(), "10")};
};

TEST_F(ThisWeek, OnlyDaysWhoseFileTheServerHasInDiscoveryOrder) {
    EXPECT_EQ(files(thisWeekDays(ctx)), (std::vector<std::string>{"2026年12月05日 TF261205.html",
                                                                  "2026年12月06日 TF261206.html"}));

    server.removeDataFile("TF261205.html");
    server.addFault({.path = "/JRADB/accessD.html",
                     .pageCode = "pw01dli00/F3",
                     .kind = sample::FaultKind::ReversedDays});
    const ThisWeekDays week = thisWeekDays(ctx);
    EXPECT_FALSE(week.checkFailed);
    EXPECT_EQ(files(week), std::vector<std::string>{"2026年12月06日 TF261206.html"});
    // A check reads nothing: no activity line, no warning.
    EXPECT_TRUE(ui.activity.empty());
    EXPECT_TRUE(ui.warnings.empty()) << ui.warnings.front();
}

TEST_F(ThisWeek, ADiscoveryThatFailedSaysSoAndKeepsTheDaysItLearnt) {
    ThisWeekDays week = thisWeekDays(ctx);
    EXPECT_TRUE(week.problems.empty());
    EXPECT_FALSE(week.discoveryFailed);

    server.addFault({.path = "/JRADB/accessD.html", .pageCode = "pw01dli00/F3", .status = 500});
    week = thisWeekDays(ctx);
    EXPECT_TRUE(week.discoveryFailed);
    EXPECT_TRUE(week.days.empty());
    ASSERT_EQ(week.problems.size(), 1u);
    EXPECT_TRUE(week.problems[0].starts_with("JRA のページ pw01dli00/F3 を取得できませんでした"));

    // The second day's first page fails: the first day is still offered.
    server.clearFaults();
    const auto codes = server.postedCodes("/JRADB/accessD.html");
    server.addFault({.path = "/JRADB/accessD.html", .pageCode = codes[4], .status = 500});
    week = thisWeekDays(ctx);
    EXPECT_FALSE(week.discoveryFailed);
    EXPECT_EQ(files(week), std::vector<std::string>{"2026年12月05日 TF261205.html"});
    EXPECT_EQ(week.problems.size(), 1u);
}

TEST_F(ThisWeek, ACheckThatGetsNoAnswerIsReported) {
    ctx.http.receiveTimeout = std::chrono::milliseconds(200);
    server.addFault({.path = "/kestrova/tfdata2/TF261205.html",
                     .kind = sample::FaultKind::Slow,
                     .delay = std::chrono::milliseconds(1500)});
    const ThisWeekDays week = thisWeekDays(ctx);
    EXPECT_TRUE(week.checkFailed);
    EXPECT_TRUE(week.days.empty());
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_TRUE(ui.warnings[0].starts_with("Get_TFData<<")) << ui.warnings[0];
}

}  // namespace
}  // namespace kestrova
