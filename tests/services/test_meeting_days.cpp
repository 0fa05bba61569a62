#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/ss_logging.h"
#include "sample_server.h"
#include "services/core_context.h"
#include "services/meeting_days.h"
#include "support/fixed_week_server.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kestrova {
namespace {

using sample::FaultKind;

TEST(MeetingDate, FirstFullDateBeforeAWeekdayBracket) {
    EXPECT_EQ(meetingDateOf("<h2>2018年12月8日（土）中山</h2>"), "2018年12月08日");
    EXPECT_EQ(meetingDateOf("<li>年間CM</li>…<h1>2026年3月22日（日曜） 2回中山8日</h1>…/h3"),
              "2026年03月22日");
    // A date that is no day, or without its weekday, is passed over.
    EXPECT_EQ(meetingDateOf("2026年2月30日（月） 更新 2026年12月5日 開催 2026年12月6日（日）"),
              "2026年12月06日");
    EXPECT_FALSE(meetingDateOf("パラメータエラー").has_value());
    EXPECT_FALSE(meetingDateOf("年月日（").has_value());
    // The older layout the window's landmarks were made for gives the same day.
    EXPECT_EQ(meetingDateOf("<h3>2018年12月9日（日）5回中山4日</h3>"), "2018年12月09日");
}

/// The racing authority's site of the sample server with this week 2026-12-05 and -06.
class Discovery : public ::testing::Test {
  protected:
    Discovery() {
        log.LogFilePath = dir.path();
        log.LoggingLevel = kTrace;
        ctx.raceAuthority = RaceAuthoritySite("http://" + server.hostPort());
    }

    void fault(FaultKind kind) {
        server.addFault({.path = "/JRADB/accessD.html", .pageCode = "pw01dli00/F3", .kind = kind});
    }

    std::string logText() const { return fromCp932(test::readFile(dir / log.FileName)); }

    test::TempDir dir;
    SsLogging log;
    test::RecordingUi ui;
    test::FixedWeekServer server;
    CoreContext ctx{log, ui, MemberServer(server.hostPort(), "10")};
};

TEST_F(Discovery, EachDayOnceInTheOrderItsFirstPageArrives) {
    // Three venues a day: six pages, two days.
    EXPECT_EQ(GetKaisaiDay(ctx).KaisaiDays, "2026年12月05日\r\n2026年12月06日\r\n");
    fault(FaultKind::ReversedDays);
    EXPECT_EQ(GetKaisaiDay(ctx).KaisaiDays, "2026年12月06日\r\n2026年12月05日\r\n");
    EXPECT_NE(logText().find("[TRACE] frmTFLink:GetKaisaiDay"), std::string::npos);
}

TEST_F(Discovery, APageWithoutADateIsLoggedAndSkippedNotAnEmptyDay) {
    // A code the site does not know answers its error page, second in the walk.
    fault(FaultKind::UnknownCode);
    EXPECT_EQ(GetKaisaiDay(ctx).KaisaiDays, "2026年12月05日\r\n2026年12月06日\r\n");
    EXPECT_NE(logText().find("[ERROR] frmTFLink:jra_SetKaisaiDay<<ページから開催日を読み取れま"
                             "せんでした。>>"),
              std::string::npos);
}

TEST_F(Discovery, AFailedPageIsNamedAndTheDaysBeforeItKept) {
    EXPECT_TRUE(GetKaisaiDay(ctx).problems.empty());
    const auto codes = server.postedCodes("/JRADB/accessD.html");
    ASSERT_EQ(codes.size(), 7u);  // the top page, then three venues a day
    server.addFault({.path = "/JRADB/accessD.html", .pageCode = codes[4], .status = 500});
    const MeetingDays found = GetKaisaiDay(ctx);
    EXPECT_EQ(found.KaisaiDays, "2026年12月05日\r\n");
    EXPECT_EQ(found.problems,
              std::vector<std::string>{"JRA のページ " + codes[4] +
                                       " を取得できませんでした: 状態 500（http://" +
                                       server.hostPort() + "/JRADB/accessD.html）"});

    server.stop();
    const MeetingDays none = GetKaisaiDay(ctx);
    EXPECT_EQ(none.KaisaiDays, "");
    ASSERT_EQ(none.problems.size(), 1u);
    EXPECT_TRUE(none.problems[0].starts_with(
        "JRA のページ pw01dli00/F3 を取得できませんでした: サーバーに接続できませんでした。"))
        << none.problems[0];
}

TEST_F(Discovery, AStopWhileAPageIsAwaitedEndsTheDiscoveryWithoutAnError) {
    server.addFault({.path = "/JRADB/accessD.html",
                     .kind = FaultKind::Slow,
                     .delay = std::chrono::milliseconds(20000)});
    int breaths = 0;
    ctx.http.breathe = [&breaths] {
        if (++breaths > 2) {
            throw StopRequested();
        }
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(GetKaisaiDay(ctx).KaisaiDays, StopRequested);
    // Well before the page would have come.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(logText().find("[ERROR]"), std::string::npos) << logText();
}

TEST_F(Discovery, AStalledSiteEndsTheDiscoveryWithItsLogLines) {
    ctx.http.receiveTimeout = std::chrono::milliseconds(200);
    server.addFault({.path = "/JRADB/accessD.html",
                     .kind = FaultKind::Slow,
                     .delay = std::chrono::milliseconds(20000)});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetKaisaiDay(ctx).KaisaiDays, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::string log = logText();
    EXPECT_NE(log.find("GetKaisaiDay<<要求がタイムアウトしました。"), std::string::npos) << log;
    EXPECT_NE(log.find("GetKaisaiDay<<HTML の取得に失敗しました。>>"), std::string::npos);
}

}  // namespace
}  // namespace kestrova
