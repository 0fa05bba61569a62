#include <algorithm>
#include <chrono>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "calendar.h"
#include "page_text.h"
#include "race_authority.h"
#include "sample_data.h"
#include "sample_server.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;

// Saturday 10 to holiday Monday 12 January 2026; that week began on Tuesday 6 January, so the
// two weeks before it run from 23 December 2025 to 5 January 2026, over the turn of the year.
const std::vector<std::string> kWeek{"20260110", "20260111", "20260112"};
const int kSaturday = daysFromCivil(2026, 1, 10);
const int kMonday = daysFromCivil(2026, 1, 12);
const int kPastFrom = daysFromCivil(2025, 12, 23);
const int kPastTo = daysFromCivil(2026, 1, 5);
const std::string kForm = "application/x-www-form-urlencoded";
constexpr auto kCards = SiteFamily::RaceCards;

/// Codes as the client takes them from a page: from each prefix up to the next single quote.
std::vector<std::string> codesOf(std::string_view page, std::string_view prefix) {
    std::vector<std::string> codes;
    for (std::size_t pos = page.find(prefix); pos != std::string_view::npos;) {
        const std::size_t quote = page.find('\'', pos);
        if (quote == std::string_view::npos) {
            break;
        }
        codes.emplace_back(page.substr(pos, quote - pos));
        pos = page.find(prefix, quote);
    }
    return codes;
}

struct Heading {
    std::string date;  // yyyymmdd; empty: no heading
    std::size_t begin = 0;
    std::size_t end = 0;
};

Heading headingOf(const std::string& text) {
    static const std::regex heading(R"(<h([12])[^>]*>(\d{4})年(\d{1,2})月(\d{1,2})日（)");
    std::smatch m;
    if (!std::regex_search(text, m, heading)) {
        return {};
    }
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", std::stoi(m[2]), std::stoi(m[3]),
                  std::stoi(m[4]));
    const auto begin = static_cast<std::size_t>(m.position(0));
    return {date, begin, text.find("</h" + m[1].str() + ">", begin)};
}

std::string dayOfDayCode(const std::string& code) {
    return code.substr(19, 8);
}
std::string dayOfRaceCode(const std::string& code) {
    return code.substr(21, 8);
}
/// The member data's race key for a race-page code.
std::string raceKeyOf(const std::string& code) {
    return dayOfRaceCode(code) + code.substr(9, 2) + code.substr(15, 6);
}

/// Day codes of the calendar's meetings from `first` to `last`, in date then venue order.
std::vector<std::string> calendarDayCodes(SiteFamily family, int first, int last, bool past) {
    std::vector<std::string> codes;
    for (const int year : {civilFromDays(first).year, civilFromDays(last).year}) {
        for (const RaceDay& rd : yearCalendar(year)) {
            for (int i = 0; rd.days >= first && rd.days <= last && i < rd.venueCount; ++i) {
                codes.push_back(dayPageCode(family, dayKeyOf(rd.days),
                                            rd.venues[static_cast<std::size_t>(i)], past));
            }
        }
        if (civilFromDays(first).year == civilFromDays(last).year) {
            break;
        }
    }
    return codes;
}

bool isErrorPage(const std::string& text) {
    return text.find("パラメータエラー") != std::string::npos &&
           text.find("年") == std::string::npos && headingOf(text).date.empty();
}

class SampleRaceSite : public ::testing::Test {
  protected:
    static ServerOptions options() {
        ServerOptions o;
        o.newestYear = 2025;
        o.newestMonth = 12;
        o.weekDays = kWeek;
        return o;
    }
    void SetUp() override { server.start(); }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", server.port());
        c.set_read_timeout(10, 0);
        return c;
    }
    httplib::Result post(std::string_view path, std::string_view code) {
        return client().Post(std::string(path).c_str(), postBody(code), kForm.c_str());
    }
    /// The page of a code as text; fails the test unless it answers 200.
    std::string page(SiteFamily family, std::string_view code) {
        auto res = post(entryPath(family), code);
        if (!res || res->status != 200) {
            ADD_FAILURE() << code << ": " << (res ? std::to_string(res->status) : "no answer");
            return {};
        }
        return test::cp932ToUtf8(res->body);
    }
    std::string top(SiteFamily family) { return page(family, topPageCode(family)); }

    SampleServer server{options()};
};

TEST(SampleRaceCodes, PutEachFieldWhereClientsReadIt) {
    const std::string day = dayPageCode(SiteFamily::RaceCards, "20260322", {6, 2, 8});
    EXPECT_EQ(day.substr(0, 28), "pw01drl00062026020820260322/");
    EXPECT_EQ(day.size(), 30u);
    const std::string race = racePageCode("pw158ou", "20260322", {6, 2, 8}, 11);
    EXPECT_EQ(race.substr(0, 30), "pw158ou0106202602081120260322/");
    EXPECT_EQ(race.size(), 32u);
    EXPECT_EQ(dayPageCode(SiteFamily::Results, "20251227", {6, 5, 9}, true).substr(0, 11),
              "pw01srl1006");
    EXPECT_EQ(postBody(topPageCode(SiteFamily::RaceCards)), "cname=pw01dli00%2FF3");
    EXPECT_EQ(postBody(topPageCode(SiteFamily::Odds)), "cname=pw15oli00%2F6D");
}

TEST(SampleRaceCodes, CheckValueCatchesAnySingleChangedCharacter) {
    const std::string code = racePageCode("pw01sde", "20260110", {6, 1, 2}, 3);
    ASSERT_TRUE(parsePageCode(code));
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '/') {
            continue;
        }
        std::string changed = code;
        changed[i] = code[i] == '9' ? '0' : code[i] == 'F' ? 'E' : static_cast<char>(code[i] + 1);
        EXPECT_FALSE(parsePageCode(changed)) << changed;
    }
}

TEST_F(SampleRaceSite, TopPagesListThisWeeksMeetingsAndTheResultsTheTwoWeeksBefore) {
    for (const SiteFamily family : kSiteFamilies) {
        std::vector<std::string> expected = calendarDayCodes(family, kSaturday, kMonday, false);
        ASSERT_FALSE(expected.empty());
        if (family == SiteFamily::Results) {
            const auto past = calendarDayCodes(family, kPastFrom, kPastTo, true);
            ASSERT_FALSE(past.empty());
            expected.insert(expected.end(), past.begin(), past.end());
        }
        EXPECT_EQ(codesOf(top(family), dayCodePrefix(family)), expected) << entryPath(family);
    }
}

TEST_F(SampleRaceSite, EveryListedCodeAnswersAPageOfItsDate) {
    for (const SiteFamily family : kSiteFamilies) {
        const std::vector<std::string> prefixes =
            family == SiteFamily::Odds
                ? std::vector<std::string>{"pw151ou", "pw153ou", "pw154ou", "pw155ou",
                                           "pw156ou", "pw157ou", "pw158ou"}
                : std::vector<std::string>{std::string(racePagePrefix(family))};
        const auto dayCodes = codesOf(top(family), dayCodePrefix(family));
        for (std::size_t d = 0; d < dayCodes.size(); ++d) {
            const std::string& dayCode = dayCodes[d];
            SCOPED_TRACE(dayCode);
            const std::string dayPage = page(family, dayCode);
            ASSERT_EQ(headingOf(dayPage).date, dayOfDayCode(dayCode));
            // Race pages in race order; the odds pages kind by kind within each race.
            std::vector<std::string> raceCodes;
            for (const std::string& code : codesOf(dayPage, "pw")) {
                if (std::find(prefixes.begin(), prefixes.end(), code.substr(0, 7)) !=
                    prefixes.end()) {
                    raceCodes.push_back(code);
                }
            }
            ASSERT_EQ(raceCodes.size(), 12 * prefixes.size());
            for (std::size_t i = 0; i < raceCodes.size(); ++i) {
                EXPECT_EQ(raceCodes[i].substr(0, 7), prefixes[i % prefixes.size()]);
                EXPECT_EQ(std::stoi(raceCodes[i].substr(19, 2)),
                          static_cast<int>(i / prefixes.size()) + 1);
                EXPECT_EQ(raceCodes[i].substr(9, 10), dayCode.substr(9, 10));
            }
            // Every race of one day per family is enough to reach each kind of page.
            if (d != 0 && d + 1 != dayCodes.size()) {
                continue;
            }
            for (const std::string& code : raceCodes) {
                const std::string racePage = page(family, code);
                EXPECT_EQ(headingOf(racePage).date, dayOfRaceCode(code)) << code;
            }
        }
    }
}

TEST_F(SampleRaceSite, RaceCardsHoldTheMemberDatasRunners) {
    std::map<std::string, std::vector<std::string>> memberNames;
    for (const std::string& day : kWeek) {
        for (const Record& r : generateDay(day).records) {
            memberNames[r.cells[1]].push_back(r.cells[5]);
        }
    }
    static const std::regex horse(R"(<td class="horse"><a href="#">([^<]*)</a>)");
    std::set<std::string> seen;
    for (const std::string& dayCode : codesOf(top(kCards), "pw01drl")) {
        for (const std::string& raceCode : codesOf(page(kCards, dayCode), "pw01des")) {
            const std::string key = raceKeyOf(raceCode);
            ASSERT_TRUE(memberNames.contains(key)) << raceCode;
            const std::string card = page(kCards, raceCode);
            std::vector<std::string> names;
            for (auto it = std::sregex_iterator(card.begin(), card.end(), horse);
                 it != std::sregex_iterator(); ++it) {
                names.push_back((*it)[1]);
            }
            EXPECT_EQ(names, memberNames[key]) << raceCode;
            seen.insert(key);
        }
    }
    EXPECT_EQ(seen.size(), memberNames.size()) << "every race of the member data is on the site";
}

TEST_F(SampleRaceSite, ChangedOrUnknownCodesAnswerTheParameterError) {
    const auto dayCodes = codesOf(top(kCards), "pw01drl");
    ASSERT_FALSE(dayCodes.empty());
    const std::string& real = dayCodes.front();
    std::vector<std::string> bad;
    for (std::size_t i = 7; i < real.size(); ++i) {
        if (real[i] != '/') {
            std::string changed = real;
            changed[i] = real[i] == '9' ? '0' : real[i] == 'F' ? 'E' : real[i] + 1;
            bad.push_back(changed);
        }
    }
    // Well-formed and checked, but not a page the site has.
    bad.push_back(dayPageCode(kCards, "20260117", {6, 1, 5}));
    bad.push_back(dayPageCode(kCards, "20251227", {6, 5, 9}, true));
    bad.push_back(racePageCode("pw01des", "20260110", {6, 1, 2}, 13));
    bad.push_back(racePageCode("pw01sde", "20260110", {6, 1, 2}, 1));
    bad.push_back("pw01dli00/AF");
    for (const std::string& code : bad) {
        auto res = post(entryPath(kCards), code);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_TRUE(isErrorPage(test::cp932ToUtf8(res->body))) << code;
    }
    auto elsewhere = post(entryPath(SiteFamily::Results), real);
    ASSERT_TRUE(elsewhere);
    EXPECT_TRUE(isErrorPage(test::cp932ToUtf8(elsewhere->body))) << "a code of another family";
}

TEST_F(SampleRaceSite, ReadsTheCodeFromTheFormOnly) {
    const std::string path(entryPath(kCards));
    for (const char* body :
         {"cname=pw01dli00/F3", "cname=pw01dli00%2fF3", "x=1&cname=pw01dli00%2FF3"}) {
        auto res = client().Post(path.c_str(), body, kForm.c_str());
        ASSERT_TRUE(res);
        EXPECT_FALSE(codesOf(test::cp932ToUtf8(res->body), "pw01drl").empty()) << body;
    }
    auto plain = client().Post(path.c_str(), "cname=pw01dli00%2FF3", "text/plain");
    ASSERT_TRUE(plain);
    EXPECT_TRUE(isErrorPage(test::cp932ToUtf8(plain->body)));
    auto get = client().Get((path + "?cname=pw01dli00%2FF3").c_str());
    ASSERT_TRUE(get);
    EXPECT_TRUE(isErrorPage(test::cp932ToUtf8(get->body)));
}

TEST_F(SampleRaceSite, PagesAreCp932WithIbmKanjiAndTheClientsLandmarks) {
    struct Sample {
        SiteFamily family;
        std::string code;
    };
    std::vector<Sample> pages{{kCards, "pw01dli00/F3"}, {kCards, "pw01dli00/00"}};
    for (const SiteFamily family : kSiteFamilies) {
        const std::string dayCode = codesOf(top(family), dayCodePrefix(family)).at(0);
        pages.push_back({family, dayCode});
        const std::string dayPage = page(family, dayCode);
        for (const std::string& code : codesOf(dayPage, "pw")) {
            if (code.size() > 27 && std::stoi(code.substr(19, 2)) == 11) {
                pages.push_back({family, code});
            }
        }
    }
    ASSERT_EQ(pages.size(), 2u + 3u + 1u + 1u + 7u);

    std::set<std::string> contentTypes;
    std::set<std::string> weekdays;
    for (const auto& [family, code] : pages) {
        SCOPED_TRACE(code);
        auto res = post(entryPath(family), code);
        ASSERT_TRUE(res);
        contentTypes.insert(res->get_header_value("Content-Type"));
        const std::string& bytes = res->body;
        EXPECT_NE(bytes.find("\xFB\xE9"), std::string::npos);
        EXPECT_NE(bytes.find("content=\"text/html; charset=Shift_JIS\""), std::string::npos);
        EXPECT_THROW(test::shiftJisToUtf8(bytes), std::runtime_error);
        const std::string text = test::cp932ToUtf8(bytes);
        const Heading heading = headingOf(text);
        if (code.size() < 27) {
            EXPECT_TRUE(heading.date.empty());
            continue;
        }
        ASSERT_FALSE(heading.date.empty());
        EXPECT_EQ(text.find("年"), text.find("年間CM")) << "the first 年 is a menu item";
        EXPECT_LT(text.find("年"), heading.begin);
        const std::size_t h3 = text.find("/h3");
        EXPECT_GT(h3, heading.end + 500) << "the first /h3 stands far after the heading";
        EXPECT_GT(h3, text.rfind("doAction")) << "and after every code";
        static const std::regex weekday("（(土曜|土)）");
        std::smatch m;
        const std::string rest = text.substr(heading.begin, heading.end - heading.begin);
        ASSERT_TRUE(std::regex_search(rest, m, weekday)) << rest;
        weekdays.insert(m[1]);
        EXPECT_EQ(rest.find("2026年01"), std::string::npos) << "no leading zeros";
    }
    EXPECT_TRUE(weekdays.contains("土曜") && weekdays.contains("土"))
        << "clients meet both ways of writing the weekday";
    EXPECT_TRUE(contentTypes.contains("text/html; charset=Shift_JIS"));
    EXPECT_GT(contentTypes.size(), 1u) << "not every answer names its charset";
}

TEST_F(SampleRaceSite, StatusAndSlowFaultsHitOnlyTheirCode) {
    const auto dayCodes = codesOf(top(kCards), "pw01drl");
    ASSERT_GE(dayCodes.size(), 3u);
    const std::string path(entryPath(kCards));
    server.addFault({.path = path, .pageCode = dayCodes[1], .kind = FaultKind::Status});
    server.addFault({.path = path, .pageCode = dayCodes[2], .kind = FaultKind::Slow, .delay = 2s});
    const auto timed = [&](const std::string& code) {
        const auto start = std::chrono::steady_clock::now();
        auto res = post(path, code);
        return std::make_pair(res ? res->status : -1, std::chrono::steady_clock::now() - start);
    };
    EXPECT_EQ(timed(dayCodes[0]).first, 200);
    EXPECT_EQ(timed(dayCodes[1]).first, 500);
    const auto [status, took] = timed(dayCodes[2]);
    EXPECT_EQ(status, 200);
    EXPECT_GE(took, 2s);
    const auto [topStatus, topTook] = timed("pw01dli00/F3");
    EXPECT_EQ(topStatus, 200);
    EXPECT_LT(topTook, 1s);

    server.addFault({.path = path,
                     .pageCode = std::string(topPageCode(kCards)),
                     .kind = FaultKind::Status,
                     .status = 503});
    EXPECT_EQ(timed("pw01dli00/F3").first, 503);
    EXPECT_EQ(timed(dayCodes[0]).first, 200);
}

TEST_F(SampleRaceSite, TopPageFaultsBreakTheCodeList) {
    const std::string path(entryPath(kCards));
    const std::string topCode(topPageCode(kCards));
    const auto real = codesOf(top(kCards), "pw01drl");
    ASSERT_GE(real.size(), 4u);
    const auto faulty = [&](FaultKind kind, int nth = 1) {
        server.clearFaults();
        server.addFault({.path = path, .pageCode = topCode, .kind = kind, .nth = nth});
        return top(kCards);
    };

    const std::string none = faulty(FaultKind::NoCodes);
    EXPECT_TRUE(codesOf(none, "pw01drl").empty());
    EXPECT_NE(none.find("今週の出馬表"), std::string::npos);

    const std::string unclosed = faulty(FaultKind::UnclosedQuote);
    EXPECT_EQ(codesOf(unclosed, "pw01drl"), std::vector<std::string>(real.begin(), real.end() - 1));
    const std::size_t last = unclosed.find(real.back());
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(unclosed.find('\'', last), std::string::npos) << "no quote closes the last code";

    std::vector<std::string> twice = real;
    twice.insert(twice.begin() + 2, real[1]);
    EXPECT_EQ(codesOf(faulty(FaultKind::DuplicateCode, 2), "pw01drl"), twice);

    const auto withUnknown = codesOf(faulty(FaultKind::UnknownCode), "pw01drl");
    ASSERT_EQ(withUnknown.size(), real.size() + 1);
    EXPECT_EQ(withUnknown[0], real[0]);
    EXPECT_TRUE(std::equal(real.begin() + 1, real.end(), withUnknown.begin() + 2));
    EXPECT_TRUE(parsePageCode(withUnknown[1])) << "well-formed, with a right check value";
    EXPECT_TRUE(isErrorPage(page(kCards, withUnknown[1])));

    std::vector<std::string> days;
    for (const std::string& code : codesOf(faulty(FaultKind::ReversedDays), "pw01drl")) {
        if (days.empty() || days.back() != dayOfDayCode(code)) {
            days.push_back(dayOfDayCode(code));
        }
    }
    EXPECT_EQ(days, (std::vector<std::string>{"20260112", "20260111", "20260110"}));
    server.clearFaults();
    EXPECT_EQ(codesOf(top(kCards), "pw01drl"), real);
}

TEST_F(SampleRaceSite, DayPageCanListARaceCodeTwice) {
    const auto odds = SiteFamily::Odds;
    const std::string dayCode = codesOf(top(odds), "pw15orl").at(0);
    const auto real = codesOf(page(odds, dayCode), "pw151ou");
    ASSERT_EQ(real.size(), 12u);
    server.addFault({.path = std::string(entryPath(odds)),
                     .pageCode = dayCode,
                     .kind = FaultKind::DuplicateCode});
    const auto listed = codesOf(page(odds, dayCode), "pw151ou");
    ASSERT_EQ(listed.size(), 13u);
    EXPECT_EQ(listed[0], real[0]);
    EXPECT_EQ(listed[1], real[0]);
    EXPECT_EQ(codesOf(page(odds, dayCode), "pw153ou").size(), 12u) << "only the one code";
}

TEST_F(SampleRaceSite, RealRaceListsLinkByAddressAndLeaveTheOtherOddsToTheWinPagesTabs) {
    ServerOptions o = options();
    o.realRaceLists = true;
    SampleServer real(o);
    real.start();
    const auto fetch = [&](SiteFamily family, std::string_view code) {
        httplib::Client c("127.0.0.1", real.port());
        auto res = c.Post(std::string(entryPath(family)).c_str(), postBody(code), kForm.c_str());
        EXPECT_TRUE(res && res->status == 200) << code;
        return res ? test::cp932ToUtf8(res->body) : std::string();
    };
    // <a href="/JRADB/accessS.html?CNAME=CODE">
    const auto linked = [](const std::string& text, SiteFamily family) {
        const std::regex link("<a href=\"" + std::string(entryPath(family)) +
                              R"re(\?CNAME=([0-9A-Za-z/]+)">)re");
        std::vector<std::string> codes;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), link);
             it != std::sregex_iterator(); ++it) {
            codes.push_back((*it)[1]);
        }
        return codes;
    };
    for (const SiteFamily family : kSiteFamilies) {
        SCOPED_TRACE(entryPath(family));
        const std::string dayCode = codesOf(top(family), dayCodePrefix(family)).at(0);
        const std::string list = fetch(family, dayCode);
        // The same races as the doAction list, the odds by their win page alone.
        const std::vector<std::string> races =
            codesOf(page(family, dayCode), racePagePrefix(family));
        ASSERT_EQ(races.size(), 12u);
        EXPECT_EQ(linked(list, family), races);
        EXPECT_EQ(list.find("'" + std::string(racePagePrefix(family))), std::string::npos)
            << "no race in a doAction call";
        if (family != SiteFamily::Odds) {
            continue;
        }
        EXPECT_EQ(list.find("pw153ou"), std::string::npos);
        std::vector<std::string> tabs;
        for (const OddsKind kind : kOddsKinds) {
            if (kind != OddsKind::WinPlace) {
                tabs.push_back(racePageCode(oddsPagePrefix(kind), dayOfRaceCode(races[10]),
                                            parsePageCode(races[10])->venue, 11));
            }
        }
        EXPECT_EQ(linked(fetch(family, races[10]), family), tabs);
        EXPECT_EQ(headingOf(fetch(family, tabs.back())).date, dayOfRaceCode(races[10]));
    }
    // A list whose last link misses its closing quote keeps that link's value open.
    const std::string oddsDay = codesOf(top(SiteFamily::Odds), "pw15orl").at(0);
    real.addFault({.path = std::string(entryPath(SiteFamily::Odds)),
                   .pageCode = oddsDay,
                   .kind = FaultKind::UnclosedQuote});
    EXPECT_EQ(linked(fetch(SiteFamily::Odds, oddsDay), SiteFamily::Odds).size(), 11u);
}

TEST_F(SampleRaceSite, RedirectServesTheSamePagesToClientsThatPostAgain) {
    const std::string path(entryPath(kCards));
    const auto dayCodes = codesOf(top(kCards), "pw01drl");
    ASSERT_GE(dayCodes.size(), 2u);
    for (const int status : {301, 302, 307, 308}) {
        SCOPED_TRACE(status);
        server.clearFaults();
        server.addFault({.path = path, .kind = FaultKind::Redirect, .status = status});
        // Faults of the entry path hold for its new place too.
        server.addFault({.path = path, .pageCode = dayCodes[1], .kind = FaultKind::Status});

        auto moved = post(path, "pw01dli00/F3");
        ASSERT_TRUE(moved);
        EXPECT_EQ(moved->status, status);
        EXPECT_TRUE(moved->get_header_value("Location").ends_with("/moved" + path));

        auto c = client();
        c.set_follow_location(true);
        auto followed = c.Post(path.c_str(), postBody("pw01dli00/F3"), kForm.c_str());
        ASSERT_TRUE(followed);
        EXPECT_EQ(codesOf(test::cp932ToUtf8(followed->body), "pw01drl"), dayCodes);
        auto failing = c.Post(path.c_str(), postBody(dayCodes[1]), kForm.c_str());
        ASSERT_TRUE(failing);
        EXPECT_EQ(failing->status, 500);
    }
    EXPECT_EQ(server.postedCodes("/moved" + path).size(), 8u);
    auto asGet = client().Get(("/moved" + path).c_str());
    ASSERT_TRUE(asGet);
    EXPECT_TRUE(isErrorPage(test::cp932ToUtf8(asGet->body))) << "a client that drops the POST";
}

TEST_F(SampleRaceSite, PostPagesReplaceOneCodeAndPostedCodesShowTheWalk) {
    const std::string path(entryPath(SiteFamily::Results));
    const std::string dayCode = codesOf(top(SiteFamily::Results), "pw01srl").at(0);
    server.setPostPage(path, dayCode, "<html>fixture</html>", "text/html");
    auto replaced = post(path, dayCode);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->body, "<html>fixture</html>");
    EXPECT_FALSE(codesOf(top(SiteFamily::Results), "pw01srl").empty()) << "other codes unchanged";
    client().Post(path.c_str(), "cname=pw01sli00/AF", kForm.c_str());
    EXPECT_EQ(server.postedCodes(path),
              (std::vector<std::string>{"pw01sli00/AF", dayCode, "pw01sli00/AF", "pw01sli00/AF"}));
    EXPECT_TRUE(server.postedCodes(std::string(entryPath(kCards))).empty());
}

}  // namespace
}  // namespace kestrova::sample
