#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "calendar.h"
#include "page_text.h"
#include "page_writer.h"
#include "sample_data.h"

namespace kestrova::sample {
namespace {

using test::countOf;
using test::tableRows;

bool isRacingMonday(int days) {
    const CivilDate d = civilFromDays(days);
    const int nth = (d.day - 1) / 7 + 1;
    return (d.month == 1 && nth == 2) || (d.month == 9 && nth == 3) || (d.month == 10 && nth == 2);
}

TEST(SampleCalendar, RacesOnWeekendsAndHolidayMondaysOnly) {
    for (int year = 2010; year <= 2027; ++year) {
        for (const RaceDay& rd : yearCalendar(year)) {
            const int wd = weekdayOf(rd.days);
            SCOPED_TRACE(dayKeyOf(rd.days));
            EXPECT_TRUE(wd == 6 || wd == 0 || (wd == 1 && isRacingMonday(rd.days)));
            EXPECT_GE(rd.venueCount, 2);
            EXPECT_LE(rd.venueCount, 3);
        }
    }
}

TEST(SampleCalendar, NumbersMeetingsAndDaysAsTheAuthorityDoes) {
    for (int year = 2010; year <= 2027; ++year) {
        // Per venue: meetings count up from 1, days count up from 1 within each meeting.
        std::map<int, std::pair<int, int>> last;
        for (const RaceDay& rd : yearCalendar(year)) {
            std::set<int> venues;
            for (int i = 0; i < rd.venueCount; ++i) {
                const VenueDay& v = rd.venues[static_cast<std::size_t>(i)];
                SCOPED_TRACE(dayKeyOf(rd.days) + " venue " + std::to_string(v.venue));
                ASSERT_GE(v.venue, 1);
                ASSERT_LE(v.venue, 10);
                EXPECT_TRUE(venues.insert(v.venue).second);
                const auto [meeting, day] = last[v.venue];
                if (v.meeting == meeting) {
                    EXPECT_EQ(v.day, day + 1);
                } else {
                    EXPECT_EQ(v.meeting, meeting + 1);
                    EXPECT_EQ(v.day, 1);
                }
                EXPECT_LE(v.day, 12);
                last[v.venue] = {v.meeting, v.day};
            }
            EXPECT_TRUE(std::is_sorted(venues.begin(), venues.end()));
        }
        EXPECT_EQ(last[6].first, 5) << "Nakayama holds five meetings a year";
        EXPECT_EQ(last[5].first, 5) << "Tokyo holds five meetings a year";
    }
}

TEST(SampleCalendar, KeepsTheSeasonalVenues) {
    const auto venuesIn = [](int year, int month) {
        std::set<int> venues;
        for (const RaceDay& rd : yearCalendar(year)) {
            if (civilFromDays(rd.days).month == month) {
                for (int i = 0; i < rd.venueCount; ++i) {
                    venues.insert(rd.venues[static_cast<std::size_t>(i)].venue);
                }
            }
        }
        return venues;
    };
    EXPECT_TRUE(venuesIn(2024, 8).contains(1)) << "Sapporo races in August";
    EXPECT_FALSE(venuesIn(2024, 12).contains(1)) << "but not in December";
    EXPECT_TRUE(venuesIn(2024, 6).contains(2)) << "Hakodate races in June";
    EXPECT_TRUE(venuesIn(2024, 12).contains(6)) << "Nakayama races in December";
}

TEST(SampleCalendar, ThisWeekRunsFromTuesdayToMonday) {
    const std::vector<std::string> week{"20261205", "20261206"};
    EXPECT_EQ(weekMeetingDays("20261206"), week);
    EXPECT_EQ(weekMeetingDays("20261201"), week);
    EXPECT_EQ(weekMeetingDays("20261207"), week);
    EXPECT_EQ(weekMeetingDays("20261208"), (std::vector<std::string>{"20261212", "20261213"}));
    // Coming of Age Day 2026 is Monday 12 January.
    EXPECT_EQ(weekMeetingDays("20260110"),
              (std::vector<std::string>{"20260110", "20260111", "20260112"}));
    EXPECT_TRUE(weekMeetingDays("20261230").empty());
    EXPECT_TRUE(weekMeetingDays("2026120").empty());
}

TEST(SampleCalendar, RejectsKeysThatAreNoDates) {
    EXPECT_EQ(daysOfKey("20260229"), -1);
    EXPECT_EQ(daysOfKey("20241301"), -1);
    EXPECT_EQ(daysOfKey("2024010a"), -1);
    EXPECT_EQ(daysOfKey("20240229"), daysFromCivil(2024, 2, 29));
    EXPECT_EQ(dayKeyOf(daysFromCivil(2026, 12, 6)), "20261206");
    EXPECT_EQ(weekdayOf(daysFromCivil(2026, 12, 6)), 0);
}

TEST(SampleCalendar, NoMonthCanExceedTheRecordLimit) {
    for (int year = 2010; year <= 2027; ++year) {
        std::map<int, int> races;
        for (const RaceDay& rd : yearCalendar(year)) {
            races[civilFromDays(rd.days).month] += 12 * rd.venueCount;
        }
        for (const auto& [month, count] : races) {
            EXPECT_LE(count * 18, 9999) << year << "-" << month;
        }
        EXPECT_EQ(races.size(), 12u) << year;
    }
}

const std::set<std::string> kSystemMarks{"◎", "○", "▲", "△", "◯", ""};

bool matches(const std::string& text, const std::regex& re) {
    return std::regex_match(text, re);
}

// Checks every record of a month file the way the comment and index writers read it.
void checkMonth(int year, int month) {
    const DataFile file = generateMonth(year, month);
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%04d%02d", year, month);
    ASSERT_TRUE(file.headerCell.starts_with(std::string(prefix) + ":")) << file.headerCell;
    ASSERT_GE(file.records.size(), 2500u);
    ASSERT_LE(file.records.size(), 5500u);

    const std::regex raceKey(std::string(prefix) +
                             R"(\d{2}(0[1-9]|10)\d{2}(0[1-9]|1[0-2])(0[1-9]|1[0-2]))");
    const std::regex value(R"(-?\d+\.\d|\+\d+\.\d|0\.\d{3}|\d+|[A-E]\d|)");
    const std::regex date(R"(20\d{6})");
    std::map<std::string, int> runners;
    std::map<std::string, int> favourites;
    int farms = 0, oldNames = 0, strongRuns = 0, vitalJockeys = 0;
    std::string previousKey;
    for (const Record& r : file.records) {
        const auto& c = r.cells;
        SCOPED_TRACE(c[1] + " horse " + c[2]);
        ASSERT_FALSE(c[0].empty());
        ASSERT_TRUE(matches(c[1], raceKey));
        ASSERT_GE(c[1], previousKey) << "records are in race key order";
        previousKey = c[1];
        const int horse = std::stoi(c[2]);
        ASSERT_EQ(c[2].size(), 2u);
        EXPECT_EQ(horse, ++runners[c[1]]) << "horse numbers run 1, 2, 3...";
        EXPECT_TRUE(kSystemMarks.contains(c[8]));
        favourites[c[1]] += c[8] == "◎";
        for (int col = 9; col <= 102; ++col) {
            EXPECT_TRUE(matches(c[static_cast<std::size_t>(col)], value))
                << col << ": " << c[static_cast<std::size_t>(col)];
        }
        EXPECT_FALSE(c[9].empty());
        EXPECT_TRUE(c[113] == "1" || c[113] == "0" || c[113].empty());
        if (c[113] == "1") {
            ++farms;
            EXPECT_FALSE(c[116].empty());
            oldNames += c[116].find("（旧天栄ホースパーク") != std::string::npos;
            if (!c[114].empty()) {
                EXPECT_TRUE(matches(c[114], date));
                EXPECT_LT(c[114], c[1].substr(0, 8)) << "entry comes before the race";
            }
        } else {
            EXPECT_TRUE(c[114].empty() && c[116].empty() && c[117].empty());
        }
        EXPECT_TRUE(c[117].empty() || (c[117].size() == 1 && c[117][0] >= 'A' && c[117][0] <= 'E'));
        EXPECT_TRUE(c[119] == "1" || c[119] == "0" || c[119].empty());
        vitalJockeys += c[119] == "1";
        strongRuns += !c[3].empty();
        for (std::size_t col : {5u, 6u, 7u, 103u, 104u, 105u, 106u, 107u, 110u, 111u, 112u}) {
            EXPECT_FALSE(c[col].empty()) << col;
        }
    }
    for (const auto& [key, n] : runners) {
        EXPECT_GE(n, 8) << key;
        EXPECT_LE(n, 18) << key;
        EXPECT_EQ(favourites[key], 1) << key;
    }
    // 12 races per venue and day.
    std::map<std::string, int> racesPerMeeting;
    for (const auto& [key, n] : runners) {
        ++racesPerMeeting[key.substr(0, 14)];
    }
    for (const auto& [meeting, n] : racesPerMeeting) {
        EXPECT_EQ(n, 12) << meeting;
    }
    const auto total = static_cast<int>(file.records.size());
    EXPECT_GT(farms, total / 5);
    EXPECT_GT(oldNames, 0);
    EXPECT_GT(strongRuns, 0);
    EXPECT_LT(strongRuns, total / 4) << "strong-run marks are the exception";
    EXPECT_GT(vitalJockeys, 0);
}

TEST(SampleData, MonthRecordsLookLikeTheVendors) {
    checkMonth(2010, 1);
    checkMonth(2018, 8);
    checkMonth(2026, 11);
}

TEST(SampleData, MonthsHoldTheUsualNumberOfRecords) {
    std::size_t total = 0;
    for (int month = 1; month <= 12; ++month) {
        total += generateMonth(2023, month).records.size();
    }
    EXPECT_GE(total / 12, 3500u);
    EXPECT_LE(total / 12, 4500u);
}

TEST(SampleData, IsDeterministicAndFollowsTheSeed) {
    const DataFile a = generateMonth(2025, 3, 7);
    const DataFile b = generateMonth(2025, 3, 7);
    const DataFile other = generateMonth(2025, 3, 8);
    ASSERT_EQ(a.records.size(), b.records.size());
    for (std::size_t i = 0; i < a.records.size(); ++i) {
        ASSERT_EQ(a.records[i].cells, b.records[i].cells) << i;
    }
    EXPECT_NE(a.records.front().cells, other.records.front().cells);
}

TEST(SampleData, AMonthIsItsDaysInOrder) {
    const DataFile month = generateMonth(2026, 11, 3);
    std::size_t next = 0;
    for (const std::string& day : meetingDays(2026, 11)) {
        const DataFile file = generateDay(day, 3);
        ASSERT_TRUE(file.headerCell.starts_with(day + ":"));
        ASSERT_FALSE(file.records.empty()) << day;
        for (const Record& r : file.records) {
            ASSERT_LT(next, month.records.size());
            ASSERT_EQ(r.cells, month.records[next++].cells) << day;
        }
    }
    EXPECT_EQ(next, month.records.size());
}

TEST(SampleData, ADayWithoutRacingHasNoRecords) {
    const DataFile file = generateDay("20261209");
    EXPECT_EQ(file.headerCell.substr(0, 9), "20261209:");
    EXPECT_TRUE(file.records.empty());
}

TEST(SampleData, HeaderRowNamesTheColumns) {
    const DataFile file = generateDay("20261206");
    const auto rows = tableRows(renderDataPage(file, Charset::Utf8));
    ASSERT_EQ(rows.size(), file.records.size() + 1);
    ASSERT_EQ(rows[0].size(), kColumns);
    EXPECT_EQ(rows[0][0], file.headerCell);
    EXPECT_EQ(rows[0][1], "レースキー");
    EXPECT_EQ(rows[0][2], "馬番");
    EXPECT_EQ(rows[0][119], "重要騎手");
}

DataFile smallFile() {
    DataFile file{"202501:テスト", {}};
    Record r;
    r.cells[0] = "A&B";
    r.cells[1] = "2025010506010101";
    r.cells[5] = "<b>ノーザンファーム天栄</b>";
    r.cells[8] = "◯";
    r.cells[116] = "ｶﾀｶﾅ ① Ⅱ";
    file.records.push_back(r);
    return file;
}

TEST(SamplePage, EscapesMarkupInCellText) {
    const DataFile file = smallFile();
    const std::string page = renderDataPage(file, Charset::Utf8);
    EXPECT_NE(page.find("<td>A&amp;B</td>"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;ノーザンファーム天栄&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    const auto rows = tableRows(page);
    ASSERT_EQ(rows.size(), 2u);
    const auto& cells = file.records[0].cells;
    EXPECT_EQ(rows[1], std::vector<std::string>(cells.begin(), cells.end()));
}

TEST(SamplePage, Cp932PagesDecodeBackToTheSameText) {
    const std::string page = renderDataPage(smallFile(), Charset::Cp932);
    EXPECT_NE(page.find("charset=Shift_JIS"), std::string::npos);
    const std::string text = test::cp932ToUtf8(page);
    const auto rows = tableRows(text);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "202501:テスト");
    EXPECT_EQ(rows[1][8], "◯");
    EXPECT_EQ(rows[1][116], "ｶﾀｶﾅ ① Ⅱ");
    EXPECT_EQ(page.find("ノーザン"), std::string::npos) << "no UTF-8 left in a CP932 page";
}

TEST(SamplePage, Utf8PagesSayUtf8) {
    const std::string page = renderDataPage(smallFile(), Charset::Utf8);
    EXPECT_NE(page.find("<meta charset=\"UTF-8\">"), std::string::npos);
    EXPECT_EQ(page.find("Shift_JIS"), std::string::npos);
}

TEST(SamplePage, CharactersOutsideCp932BecomeQuestionMarks) {
    DataFile file{"202501:x", {}};
    Record r;
    r.cells[0] = "é😀z";
    file.records.push_back(r);
    const auto rows = tableRows(test::cp932ToUtf8(renderDataPage(file, Charset::Cp932)));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "??z");
}

TEST(SamplePage, Cp932EncodingMatchesIconvForEveryCharacter) {
    // Every character CP932 can hold, decoded by iconv, then encoded both ways.
    std::string cp932;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF) {
            if (lead > 0xA0) {
                cp932 += static_cast<char>(lead);  // half-width katakana
            }
            continue;
        }
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            try {
                test::cp932ToUtf8(std::string_view(pair, 2));
                cp932.append(pair, 2);
            } catch (const std::runtime_error&) {
                // not a character of CP932
            }
        }
    }
    const std::string utf8 = test::cp932ToUtf8(cp932);
    std::string mine;
    appendCp932(mine, utf8);
    EXPECT_EQ(mine, test::utf8ToCp932(utf8));
    EXPECT_GT(mine.size(), 15000u);
}

TEST(SamplePage, BrokenUtf8BecomesQuestionMarks) {
    std::string out;
    appendCp932(out,
                "a\xE3\x81"
                "b\xFF"
                "c\xC0\xAF");
    EXPECT_EQ(out, "a??b?c??") << "each byte of a broken sequence";
}

TEST(SamplePage, SectionsWrapHeaderAndRecords) {
    const std::string page = renderDataPage(smallFile(), Charset::Utf8, Layout::Sections);
    EXPECT_EQ(countOf(page, "<table"), 1u);
    const auto thead = page.find("<thead>");
    const auto tbody = page.find("<tbody>");
    ASSERT_NE(thead, std::string::npos);
    ASSERT_NE(tbody, std::string::npos);
    EXPECT_LT(page.find("202501:"), tbody);
    EXPECT_GT(page.find("2025010506010101"), tbody);
    EXPECT_EQ(tableRows(page).size(), 2u);
}

TEST(SamplePage, FastPathsMatchTheRecordPath) {
    for (const Charset charset : {Charset::Cp932, Charset::Utf8}) {
        EXPECT_EQ(renderMonthPage(2024, 2, 5, charset, Layout::Sections),
                  renderDataPage(generateMonth(2024, 2, 5), charset, Layout::Sections));
        EXPECT_EQ(renderDayPage("20261205", 5, charset),
                  renderDataPage(generateDay("20261205", 5), charset));
    }
    EXPECT_EQ(renderDayPage("bad", 1, Charset::Utf8),
              renderDataPage(generateDay("bad", 1), Charset::Utf8));
}

}  // namespace
}  // namespace kestrova::sample
