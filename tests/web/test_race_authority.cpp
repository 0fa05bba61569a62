#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/ss_logging.h"
#include "calendar.h"
#include "race_authority.h"
#include "sample_server.h"
#include "support/fixed_week_server.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"
#include "tls_server.h"
#include "web/race_authority.h"

namespace kestrova {
namespace {

using sample::Fault;
using sample::FaultKind;
using sample::SiteFamily;

TEST(CodeExtraction, TakesEachCodeUpToItsQuoteInPageOrder) {
    const std::string page =
        "<a onclick=\"doAction('/JRADB/accessD.html', 'pw01drl00062026020820260322/83')\">"
        "<a onClick=\"doAction('/JRADB/accessD.html','pw01drl00062026020820260322/83')\">"
        "<p>pw01drl00102026010120260321/0A' pw01drlA B' pw01drl00062026020920260323/1F'";
    // Duplicates stay; a "code" with a space is no page code and ends the list.
    EXPECT_EQ(extractCodes(page, "pw01drl"),
              (std::vector<std::string>{"pw01drl00062026020820260322/83",
                                        "pw01drl00062026020820260322/83",
                                        "pw01drl00102026010120260321/0A"}));
}

TEST(CodeExtraction, TakesCodesFromLinkAddressesAsTheRealRaceListsWriteThem) {
    const std::string page =
        "<a href=\"/JRADB/accessS.html?CNAME=pw01sde0106202602081120260322/AE\">1R</a>"
        "<a href='/JRADB/accessS.html?cname=pw01sde0106202602081220260322/0B'>2R</a>"
        "<a href=/JRADB/accessS.html?CNAME=pw01sde0106202602081320260322/1C>3R</a>"
        "<a href=\"/JRADB/accessS.html?CNAME=pw01sde0106202602081420260322/2D&amp;x=1\">4R</a>"
        "<a onclick=\"doAction('/JRADB/accessS.html','pw01sde0106202602081520260322/3E')\">";
    EXPECT_EQ(extractCodes(page, "pw01sde"),
              (std::vector<std::string>{
                  "pw01sde0106202602081120260322/AE", "pw01sde0106202602081220260322/0B",
                  "pw01sde0106202602081320260322/1C", "pw01sde0106202602081420260322/2D",
                  "pw01sde0106202602081520260322/3E"}));
    // An address whose value never closes runs into the page: it and what follows are lost.
    EXPECT_EQ(extractCodes("<a href=\"/JRADB/accessS.html?CNAME=pw01sdeA\">"
                           "<a href=\"/JRADB/accessS.html?CNAME=pw01sdeB>2R</a>\n"
                           "<a href=\"/JRADB/accessS.html?CNAME=pw01sdeC\">",
                           "pw01sde"),
              std::vector<std::string>{"pw01sdeA"});
    EXPECT_EQ(extractCodes("<a href=\"/JRADB/accessS.html?CNAME=pw01sdeA", "pw01sde"),
              std::vector<std::string>{});
}

TEST(CodeExtraction, AMissingOrFarQuoteEndsTheListAndDuplicatesStay) {
    EXPECT_EQ(extractCodes("'pw01drlA' 'pw01drlA' 'pw01drlB", "pw01drl"),
              (std::vector<std::string>{"pw01drlA", "pw01drlA"}));
    // Without its own quote a code would run on to the next quote of the page.
    EXPECT_EQ(extractCodes("'pw01drlA' 'pw01drlB\n<p class='x'>", "pw01drl"),
              (std::vector<std::string>{"pw01drlA"}));
    EXPECT_TRUE(extractCodes("nothing here", "pw01drl").empty());
    EXPECT_EQ(formBody("pw01dli00/F3"), "cname=pw01dli00%2FF3");
    EXPECT_EQ(formBody("a&b=c d"), "cname=a%26b%3Dc%20d");
}

TEST(RaceKeyMatching, ComparesTheDigitsAtTheirPlaces) {
    const std::string key = "2026120506050311";
    const std::string day = "pw15orl00062026050320261205/3D";
    EXPECT_TRUE(dayCodeMatches(day, key));
    EXPECT_FALSE(dayCodeMatches(day, "2026120506040311"));  // another meeting that day
    EXPECT_FALSE(dayCodeMatches(day, "2026120507050311"));  // another venue
    EXPECT_FALSE(dayCodeMatches(day, ""));
    const std::string race = "pw158ou0106202605031120261205/7C";
    EXPECT_TRUE(raceNumberMatches(race, key));
    EXPECT_TRUE(raceCodeMatches(race, key));
    EXPECT_FALSE(raceNumberMatches(race, "2026120506050312"));
    EXPECT_FALSE(raceCodeMatches(race, "2026120506050411"));
}

/// Records every event, in order.
struct Recorder : cJRAEvents {
    void SetKaisaiDay(const std::string& sHTML, bool& Cancel) override {
        events.push_back("SetKaisaiDay");
        pages.push_back(sHTML);
        Cancel = cancelAfter != 0 && events.size() >= cancelAfter;
    }
    void SetKaisaiDayOff() override { events.push_back("SetKaisaiDayOff"); }
    void SetRaceList(const JraPage&, bool& Cancel) override {
        events.push_back("SetRaceList");
        Cancel = cancelAfter != 0 && events.size() >= cancelAfter;
    }
    void SetRaceListOff() override { events.push_back("SetRaceListOff"); }
    void OnPreDataLoad(const JraPage& page, bool& Cancel) override {
        events.push_back("OnPreDataLoad");
        pages.push_back(page.body);
        Cancel = cancelAfter != 0;
    }
    void OffPreDataLoad() override { events.push_back("OffPreDataLoad"); }
    void SetRaceRest(const JraPage& page, bool&) override { page_("SetRaceRest", page); }
    void SetRaceRestOff() override { events.push_back("SetRaceRestOff"); }
    void SetGridOzTanPuku(const JraPage& page, bool&) override { page_("SetGridOzTanPuku", page); }
    void SetGridOzTanPukuOff() override { events.push_back("SetGridOzTanPukuOff"); }
    void SetGridOzWaku(const JraPage& page, bool&) override { page_("SetGridOzWaku", page); }
    void SetGridOzWakuOff() override { events.push_back("SetGridOzWakuOff"); }
    void SetGridOz3Tan(const JraPage& page, bool&) override { page_("SetGridOz3Tan", page); }
    void SetGridOz3TanOff() override { events.push_back("SetGridOz3TanOff"); }

    void page_(const char* name, const JraPage& page) {
        events.push_back(name);
        pages.push_back(decodePage(page));
    }

    std::vector<std::string> events;
    std::vector<std::string> pages;
    std::size_t cancelAfter = 0;
};

/// The sample site with this week's days 2026-12-05 and -06 (three venues each).
class RaceAuthorityTest : public ::testing::Test {
  protected:
    explicit RaceAuthorityTest(
        const sample::ServerOptions& serverOptions = test::FixedWeekServer::options())
        : server(serverOptions) {
        log.LogFilePath = dir.path();
        log.LoggingLevel = kTrace;
    }

    cJRA client(std::string host = {}) {
        HttpOptions http;
        http.receiveTimeout = std::chrono::seconds(5);
        return cJRA(log, ui, http,
                    RaceAuthoritySite(host.empty() ? "http://" + server.hostPort() : host),
                    MemberServer(server.hostPort(), "10"), events);
    }

    /// The day codes of the race-card top page, as the site lists them.
    static std::vector<std::string> dayCodes() {
        std::vector<std::string> codes;
        for (const char* day : {"20261205", "20261206"}) {
            const int days = sample::daysOfKey(day);
            for (const auto& raceDay : sample::yearCalendar(2026)) {
                if (raceDay.days != days) {
                    continue;
                }
                for (int v = 0; v < raceDay.venueCount; ++v) {
                    codes.push_back(
                        sample::dayPageCode(SiteFamily::RaceCards, day, raceDay.venues[v]));
                }
            }
        }
        return codes;
    }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        const std::string text = fromCp932(test::readFile(dir / log.FileName));
        std::size_t start = 0;
        for (auto end = text.find("\r\n"); end != std::string::npos;
             end = text.find("\r\n", start)) {
            const std::string line = text.substr(start, end - start);
            lines.push_back(line.substr(line.find(']') + 2));  // after "[LEVEL] "
            start = end + 2;
        }
        return lines;
    }

    std::vector<std::string> errors() const {
        std::vector<std::string> found;
        const std::string text = fromCp932(test::readFile(dir / log.FileName));
        std::size_t start = 0;
        for (auto at = text.find("[ERROR] ", start); at != std::string::npos;
             at = text.find("[ERROR] ", start)) {
            const auto end = text.find("\r\n", at);
            found.push_back(text.substr(at + 8, end - at - 8));
            start = end;
        }
        return found;
    }

    test::TempDir dir;
    SsLogging log;
    test::RecordingUi ui;
    Recorder events;
    test::FixedWeekServer server;
};

TEST_F(RaceAuthorityTest, GetKaisaiDayRaisesOneEventPerDayCodeThenTheEnd) {
    const auto codes = dayCodes();
    ASSERT_GE(codes.size(), 5u);
    EXPECT_EQ(client().GetKaisaiDay(), static_cast<std::int16_t>(codes.size()));
    ASSERT_EQ(events.events.size(), codes.size() + 1);
    EXPECT_EQ(events.events.back(), "SetKaisaiDayOff");
    // Each page decoded from CP932, IBM extension kanji included.
    EXPECT_NE(events.pages[0].find("2026年12月5日（"), std::string::npos);
    EXPECT_NE(events.pages[0].find("髙"), std::string::npos);            // FB FC
    EXPECT_NE(events.pages[0].find("\xEF\xA7\x9C"), std::string::npos);  // FB E9, U+F9DC
    EXPECT_EQ(events.pages[0].find("\xEF\xBF\xBD"), std::string::npos);
    std::vector<std::string> posted = server.postedCodes("/JRADB/accessD.html");
    ASSERT_EQ(posted.size(), codes.size() + 1);
    EXPECT_EQ(posted.front(), "pw01dli00/F3");
    EXPECT_EQ(std::vector<std::string>(posted.begin() + 1, posted.end()), codes);
    EXPECT_TRUE(errors().empty());
}

TEST_F(RaceAuthorityTest, TopPageFaultsChangeTheCodeList) {
    const auto codes = dayCodes();
    const auto top = std::string("pw01dli00/F3");
    const auto fault = [&](FaultKind kind, int nth = 1) {
        server.clearFaults();
        server.addFault({.path = "/JRADB/accessD.html", .pageCode = top, .kind = kind, .nth = nth});
        events = Recorder();
    };

    fault(FaultKind::NoCodes);
    EXPECT_EQ(client().GetKaisaiDay(), 0);
    EXPECT_TRUE(events.events.empty());  // not even the end event

    fault(FaultKind::UnclosedQuote);
    EXPECT_EQ(client().GetKaisaiDay(), static_cast<std::int16_t>(codes.size() - 1));
    EXPECT_EQ(events.events.size(), codes.size());
}

TEST_F(RaceAuthorityTest, APageListedManyTimesIsAskedForOnceAndCountedAsListed) {
    const auto codes = dayCodes();
    const std::string top = "pw01dli00/F3";
    // The second day 500 times, the first after it again.
    std::string page = "<a onclick=\"doAction('/JRADB/accessD.html','" + codes[0] + "')\">";
    for (int i = 0; i < 500; ++i) {
        page += "<a onclick=\"doAction('/JRADB/accessD.html','" + codes[1] + "')\">";
    }
    page += "<a onclick=\"doAction('/JRADB/accessD.html','" + codes[0] + "')\">";
    server.setPostPage("/JRADB/accessD.html", top, page, "text/html");
    EXPECT_EQ(client().GetKaisaiDay(), 502);
    EXPECT_EQ(server.postedCodes("/JRADB/accessD.html"),
              (std::vector<std::string>{top, codes[0], codes[1]}));
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"SetKaisaiDay", "SetKaisaiDay", "SetKaisaiDayOff"}));

    // A day listed twice: its races are counted twice, each race page is fetched once.
    const std::string link = "<a onclick=\"doAction('/JRADB/accessD.html','" + codes[0] + "')\">";
    server.setPostPage("/JRADB/accessD.html", top, link + link, "text/html");
    events = Recorder();
    const auto before = server.postedCodes("/JRADB/accessD.html").size();
    EXPECT_EQ(client().GetRaceList(), 2 * 12);
    EXPECT_EQ(server.postedCodes("/JRADB/accessD.html").size() - before, 1u + 1u + 12u);
    EXPECT_EQ(events.events.size(), 12u + 1u);
}

TEST_F(RaceAuthorityTest, CancelOnTheFirstEventStopsTheWalkButNotTheEndEvent) {
    events.cancelAfter = 1;
    const auto codes = dayCodes();
    EXPECT_EQ(client().GetKaisaiDay(), static_cast<std::int16_t>(codes.size()));
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetKaisaiDay", "SetKaisaiDayOff"}));
    EXPECT_EQ(server.postedCodes("/JRADB/accessD.html").size(), 2u);
}

TEST_F(RaceAuthorityTest, AFailedDayPageEndsTheWalkWithoutItsEndEvent) {
    const auto codes = dayCodes();
    server.addFault({.path = "/JRADB/accessD.html", .pageCode = codes[1], .status = 500});
    EXPECT_EQ(client().GetKaisaiDay(), 0);
    EXPECT_EQ(events.events, std::vector<std::string>{"SetKaisaiDay"});
    EXPECT_EQ(errors(), std::vector<std::string>{"GetKaisaiDay<<HTML の取得に失敗しました。>>"});
}

TEST_F(RaceAuthorityTest, NoNetworkGivesThreeLinesAndNoEvent) {
    server.stop();
    EXPECT_EQ(client().GetKaisaiDay(), 0);
    EXPECT_TRUE(events.events.empty());
    const auto lines = errors();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].starts_with("GetKaisaiDay<<サーバーに接続できませんでした。")) << lines[0];
    EXPECT_EQ(lines[1], "GetKaisaiDay<<応答の状態を読み取れませんでした。>>");
    EXPECT_EQ(lines[2], "GetKaisaiDay<<HTML の取得に失敗しました。>>");
}

TEST_F(RaceAuthorityTest, APageBeyondItsLimitIsAPageFailureCompressedOrNot) {
    // A day code, then 24 MB of nothing: a few kilobytes once compressed.
    const std::string top = "pw01dli00/F3";
    server.setPostPage("/JRADB/accessD.html", top,
                       "<a onclick=\"doAction('/JRADB/accessD.html','" + dayCodes()[0] + "')\">" +
                           std::string(std::size_t{24} << 20, ' '),
                       "text/html");
    for (const bool compressed : {true, false}) {
        SCOPED_TRACE(compressed);
        HttpOptions http;
        http.offerCompression = compressed;
        cJRA jra(log, ui, http, RaceAuthoritySite("http://" + server.hostPort()),
                 MemberServer(server.hostPort(), "10"), events);
        const auto sentBefore = server.bytesSent();
        EXPECT_EQ(jra.GetKaisaiDay(), 0);
        EXPECT_TRUE(events.events.empty());
        const auto lines = errors();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[lines.size() - 3],
                  "GetKaisaiDay<<ページが大きすぎます（上限 4 MB）。(pw01dli00/F3)>>");
        EXPECT_EQ(lines.back(), "GetKaisaiDay<<HTML の取得に失敗しました。>>");
        EXPECT_LT(server.bytesSent() - sentBefore, std::uint64_t{16} << 20);
    }
}

TEST_F(RaceAuthorityTest, ARedirectedPostStaysAPostWithItsBody) {
    const auto codes = dayCodes();
    for (const int status : {301, 302, 307, 308}) {
        server.clearFaults();
        server.addFault(
            {.path = "/JRADB/accessD.html", .kind = FaultKind::Redirect, .status = status});
        events = Recorder();
        EXPECT_EQ(client().GetKaisaiDay(), static_cast<std::int16_t>(codes.size())) << status;
        EXPECT_NE(events.pages.at(0).find("2026年12月5日（"), std::string::npos) << status;
    }
}

TEST_F(RaceAuthorityTest, GetRaceListDeliversEveryRaceOfEveryDay) {
    events.cancelAfter = 3;
    const auto count = client().GetRaceList();
    EXPECT_EQ(count, static_cast<std::int16_t>(dayCodes().size() * 12));
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetRaceList", "SetRaceList", "SetRaceList",
                                                       "SetRaceListOff"}));
}

TEST_F(RaceAuthorityTest, PreDataGetFetchesAPreparedFileOrSaysWhyNot) {
    auto jra = client();
    EXPECT_EQ(jra.PreDataGet("info.txt"), 0);
    EXPECT_EQ(events.events, (std::vector<std::string>{"OnPreDataLoad", "OffPreDataLoad"}));
    EXPECT_FALSE(events.pages.at(0).empty());

    events = Recorder();
    EXPECT_EQ(jra.PreDataGet("info.txt", 1), 0);  // existence only
    EXPECT_EQ(jra.PreDataGet("missing.txt"), -1);
    EXPECT_EQ(jra.PreDataGet("empty.txt"), -1);
    EXPECT_EQ(jra.PreDataGet("../x"), -1);
    EXPECT_TRUE(events.events.empty());
    const auto failures = errors();
    ASSERT_EQ(failures.size(), 1u);  // the bad name; nothing for the 404
    EXPECT_TRUE(failures[0].starts_with("PreDataGet<<ファイル名が正しくありません。"));

    events.cancelAfter = 1;
    EXPECT_EQ(jra.PreDataGet("info.txt"), -1);
    EXPECT_EQ(events.events, std::vector<std::string>{"OnPreDataLoad"});

    server.addFault({.path = "/kestrova/data3/info.txt", .status = 500});
    EXPECT_EQ(jra.PreDataGet("info.txt"), -1);
    EXPECT_EQ(errors().back(), "PreDataGet<<HTML の取得に失敗しました。>>");
}

TEST_F(RaceAuthorityTest, PreDataGetShowsATimeOutInABox) {
    HttpOptions quick;
    quick.receiveTimeout = std::chrono::milliseconds(200);
    cJRA jra(log, ui, quick, RaceAuthoritySite("http://" + server.hostPort()),
             MemberServer(server.hostPort(), "10"), events);
    server.addFault({.path = "/kestrova/data3/info.txt",
                     .kind = FaultKind::Slow,
                     .delay = std::chrono::milliseconds(1500)});
    EXPECT_EQ(jra.PreDataGet("info.txt"), -1);
    EXPECT_EQ(ui.infos, std::vector<std::string>{
                            "データ受信処理でタイムアウトが発生しました。再受信して下さい。"});
    EXPECT_TRUE(errors().empty());  // a trace line, not an error
}

class RaceWalk : public RaceAuthorityTest {
  protected:
    using RaceAuthorityTest::RaceAuthorityTest;
    /// Race 11 of Nakayama on 2026-12-05 (meeting 5, day 3 in the sample calendar).
    static constexpr const char* kKey = "2026120506050311";
};

TEST_F(RaceWalk, ResultsAndOddsOfOneRaceComeAsOnePageAndTheEnd) {
    auto jra = client();
    jra.SelectedRaceKey = kKey;
    EXPECT_EQ(jra.GetRaceRest(), 1);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetRaceRest", "SetRaceRestOff"}));
    EXPECT_NE(events.pages[0].find("着順"), std::string::npos);
    events = Recorder();
    EXPECT_EQ(jra.GetGridOz3Tan(), 1);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetGridOz3Tan", "SetGridOz3TanOff"}));
    // GetRaceRest names itself at information level, the odds walks at trace level.
    const auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "GetRaceRest"), lines.end());
    const std::string text = fromCp932(test::readFile(dir / log.FileName));
    EXPECT_NE(text.find("[INFO] GetRaceRest"), std::string::npos);
    EXPECT_NE(text.find("[TRACE] GetGridOz3Tan"), std::string::npos);
}

TEST_F(RaceWalk, KeysTheSiteDoesNotListEndWithTheEndEventOnly) {
    auto jra = client();
    for (const char* key : {"2026120506050313",  // no race 13
                            "2026120506040311",  // not that meeting: the day is not fetched
                            ""}) {               // nothing matches
        events = Recorder();
        jra.SelectedRaceKey = key;
        const auto before = server.postedCodes("/JRADB/accessO.html").size();
        EXPECT_EQ(jra.GetGridOzWaku(), 0) << key;
        EXPECT_EQ(events.events, std::vector<std::string>{"SetGridOzWakuOff"}) << key;
        const auto fetched = server.postedCodes("/JRADB/accessO.html").size() - before;
        EXPECT_EQ(fetched, std::string(key) == "2026120506050313" ? 2u : 1u) << key;
    }
}

TEST_F(RaceWalk, WinOddsCountADuplicateCandidateOnceOthersTwice) {
    // The day page lists each race's codes in race order, seven kinds a race: the code of
    // race 11's win odds stands at 71, its bracket odds at 72.
    const std::string day = "pw15orl00062026050320261205/3D";
    auto jra = client();
    jra.SelectedRaceKey = kKey;
    server.addFault({.path = "/JRADB/accessO.html",
                     .pageCode = day,
                     .kind = FaultKind::DuplicateCode,
                     .nth = 71});
    EXPECT_EQ(jra.GetGridOzTanPuku(), 1);
    server.clearFaults();
    server.addFault({.path = "/JRADB/accessO.html",
                     .pageCode = day,
                     .kind = FaultKind::DuplicateCode,
                     .nth = 72});
    events = Recorder();
    EXPECT_EQ(jra.GetGridOzWaku(), 2);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetGridOzWaku", "SetGridOzWakuOff"}));
}

TEST_F(RaceWalk, ADayListedTwiceIsFetchedOnceButGivesItsCandidatesTwice) {
    int nth = 0;  // Nakayama's place among the day's venues
    for (const auto& raceDay : sample::yearCalendar(2026)) {
        for (int v = 0; raceDay.days == sample::daysOfKey("20261205") && v < raceDay.venueCount;
             ++v) {
            nth = raceDay.venues[v].venue == 6 ? v + 1 : nth;
        }
    }
    ASSERT_NE(nth, 0);
    server.addFault({.path = "/JRADB/accessO.html",
                     .pageCode = "pw15oli00/6D",
                     .kind = FaultKind::DuplicateCode,
                     .nth = nth});
    auto jra = client();
    jra.SelectedRaceKey = kKey;
    EXPECT_EQ(jra.GetGridOzWaku(), 2);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetGridOzWaku", "SetGridOzWakuOff"}));
    const auto posted = server.postedCodes("/JRADB/accessO.html");
    ASSERT_EQ(posted.size(), 3u);  // top, the day, the race
    EXPECT_EQ(posted[1], "pw15orl00062026050320261205/3D");
}

TEST_F(RaceWalk, AMissingRacePageIsAPageFailure) {
    auto jra = client();
    jra.SelectedRaceKey = kKey;
    server.addFault({.path = "/JRADB/accessO.html",
                     .pageCode = sample::racePageCode("pw158ou", "20261205",
                                                      {.venue = 6, .meeting = 5, .day = 3}, 11),
                     .status = 404});
    EXPECT_EQ(jra.GetGridOz3Tan(), 0);
    EXPECT_TRUE(events.events.empty());
    EXPECT_EQ(errors(), std::vector<std::string>{"GetGridOz3Tan<<HTML の取得に失敗しました。>>"});
}

/// The site as its real race lists link races: addresses, and the win odds alone.
class RealRaceLists : public RaceWalk {
  protected:
    RealRaceLists() : RaceWalk(realOptions()) {}
    static sample::ServerOptions realOptions() {
        sample::ServerOptions o = test::FixedWeekServer::options();
        o.realRaceLists = true;
        return o;
    }
};

TEST_F(RealRaceLists, ResultsOfThisAndPastWeeksAreFoundThroughLinkAddresses) {
    // 2026-11-28 lies in the two weeks before, which only the results keep.
    std::string pastKey;
    for (const auto& day : sample::yearCalendar(2026)) {
        if (day.days == sample::daysOfKey("20261128")) {
            char key[17];
            std::snprintf(key, sizeof key, "20261128%02d%02d%02d11", day.venues[0].venue,
                          day.venues[0].meeting, day.venues[0].day);
            pastKey = key;
        }
    }
    ASSERT_FALSE(pastKey.empty());
    auto jra = client();
    for (const std::string& key : {std::string(kKey), pastKey}) {
        events = Recorder();
        jra.SelectedRaceKey = key;
        EXPECT_EQ(jra.GetRaceRest(), 1) << key;
        EXPECT_EQ(events.events, (std::vector<std::string>{"SetRaceRest", "SetRaceRestOff"}));
        EXPECT_NE(events.pages.at(0).find("着順"), std::string::npos);
    }
}

TEST_F(RealRaceLists, OddsTheListDoesNotLinkAreReachedThroughTheWinPagesTabs) {
    auto jra = client();
    jra.SelectedRaceKey = kKey;
    const std::string win =
        sample::racePageCode("pw151ou", "20261205", {.venue = 6, .meeting = 5, .day = 3}, 11);
    const std::string trifecta =
        sample::racePageCode("pw158ou", "20261205", {.venue = 6, .meeting = 5, .day = 3}, 11);
    EXPECT_EQ(jra.GetGridOz3Tan(), 1);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetGridOz3Tan", "SetGridOz3TanOff"}));
    EXPECT_NE(events.pages.at(0).find("3連単"), std::string::npos);
    const auto posted = server.postedCodes("/JRADB/accessO.html");
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted[2], win);
    EXPECT_EQ(posted[3], trifecta);

    events = Recorder();
    EXPECT_EQ(jra.GetGridOzWaku(), 1);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetGridOzWaku", "SetGridOzWakuOff"}));
    events = Recorder();
    EXPECT_EQ(jra.GetGridOzTanPuku(), 1);
    EXPECT_EQ(events.events, (std::vector<std::string>{"SetGridOzTanPuku", "SetGridOzTanPukuOff"}));
    EXPECT_EQ(server.postedCodes("/JRADB/accessO.html").size(), 4u + 4u + 3u);

    // A race the list does not have: no win page, nothing more is fetched.
    events = Recorder();
    jra.SelectedRaceKey = "2026120506050313";
    EXPECT_EQ(jra.GetGridOzWaku(), 0);
    EXPECT_EQ(events.events, std::vector<std::string>{"SetGridOzWakuOff"});
    EXPECT_EQ(server.postedCodes("/JRADB/accessO.html").size(), 4u + 4u + 3u + 2u);
    EXPECT_TRUE(errors().empty());
}

TEST(RaceAuthoritySiteAddress, HttpsUnlessTheSettingNamesTheScheme) {
    EXPECT_EQ(RaceAuthoritySite("www.jra.go.jp").entryUrl(kRaceCardsPath),
              "https://www.jra.go.jp/JRADB/accessD.html");
    EXPECT_EQ(RaceAuthoritySite("http://127.0.0.1:8080/").entryUrl(kOddsPath),
              "http://127.0.0.1:8080/JRADB/accessO.html");
}

TEST(RaceAuthoritySiteAddress, AHostWithoutSchemeIsReachedOverVerifiedTls) {
    if (!sample::tlsAvailable()) {
        GTEST_SKIP() << sample::kNoTlsServer;
    }
    const std::filesystem::path certs = KESTROVA_SAMPLE_CERTS;
    sample::ServerOptions options;
    options.certFile = certs / "server.pem";
    options.keyFile = certs / "server.key";
    options.weekDays = {"20261205"};
    sample::SampleServer tls(options);
    tls.start();
    test::TempDir dir;
    SsLogging log;
    log.LogFilePath = dir.path();
    test::RecordingUi ui;
    Recorder events;
    HttpOptions http;
    http.extraCaFile = certs / "ca.pem";
    cJRA jra(log, ui, http, RaceAuthoritySite(tls.hostPort()), MemberServer(tls.hostPort(), "9"),
             events);
    EXPECT_GT(jra.GetKaisaiDay(), 0);
    EXPECT_EQ(events.events.back(), "SetKaisaiDayOff");
}

}  // namespace
}  // namespace kestrova
