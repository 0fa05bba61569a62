#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace kestrova::cli {
namespace {

using namespace std::chrono;

constexpr year_month_day kToday = 2026y / December / 6d;

ParsedCommand parse(std::vector<std::string_view> args) {
    return parseCommandLine(args, kToday);
}

ParsedCommand parseExport(std::vector<std::string_view> args) {
    args.insert(args.begin(), "export");
    return parse(args);
}

TEST(CliOptions, HelpInAllItsForms) {
    EXPECT_EQ(parse({}).kind, CommandKind::Help);
    EXPECT_EQ(parse({"help"}).kind, CommandKind::Help);
    EXPECT_EQ(parse({"--help"}).kind, CommandKind::Help);
    EXPECT_EQ(parse({"-h"}).kind, CommandKind::Help);
    EXPECT_EQ(parseExport({"--day", "20261205", "--help"}).kind, CommandKind::Help);
}

TEST(CliOptions, RefusesUnknownCommandsOptionsAndStrayArguments) {
    const auto command = parse({"import"});
    EXPECT_EQ(command.kind, CommandKind::Error);
    EXPECT_EQ(command.error, "不明なコマンドです: import");

    EXPECT_EQ(parseExport({"--kind", "010"}).error, "不明なオプションです: --kind");
    EXPECT_EQ(parseExport({"--day", "20261205", "extra"}).error, "不明な引数です: extra");
    EXPECT_EQ(parseExport({"--day"}).error, "オプション --day には値が必要です。");
    EXPECT_EQ(parseExport({"--app-folder", "a", "--app-folder", "b"}).error,
              "オプション --app-folder は１回だけ指定できます。");
    EXPECT_EQ(parseExport({"--app-folder="}).error, "--app-folder のフォルダが空です。");
}

TEST(CliOptions, KeepsTheAppFolderOfARefusedCommandLineForTheLog) {
    const auto parsed = parseExport({"--app-folder", "/tmp/app", "--bogus"});
    EXPECT_EQ(parsed.kind, CommandKind::Error);
    EXPECT_EQ(parsed.request.appFolder, std::filesystem::path("/tmp/app"));
}

TEST(CliOptions, DaysMustBeRealDatesOfThisCentury) {
    for (const std::string_view bad : {"20260230", "20261301", "20261200", "2026125", "202612055",
                                       "2026-12-05", "19991231", "21000101", ""}) {
        const auto parsed = parseExport({"--day", bad});
        EXPECT_EQ(parsed.kind, CommandKind::Error) << bad;
        EXPECT_EQ(parsed.error, "--day の日付が正しくありません: " + std::string(bad) +
                                    "（実在する日付を YYYYMMDD で指定して下さい）");
    }
    EXPECT_EQ(parseExport({"--day", "20240229"}).kind, CommandKind::Export);
}

TEST(CliOptions, DaysAreSortedAndDuplicatesCollapse) {
    const auto parsed =
        parseExport({"--day", "20261206", "--day=20261205", "--day", "20261206", "--kinds", "010"});
    ASSERT_EQ(parsed.kind, CommandKind::Export);
    EXPECT_EQ(parsed.request.days, (std::vector<std::string>{"20261205", "20261206"}));
}

TEST(CliOptions, PastYearRunsFrom2010ToThisYear) {
    EXPECT_EQ(parseExport({"--past", "2010"}).request.pastYears, std::vector<int>{2010});
    EXPECT_EQ(parseExport({"--past", "2026"}).request.pastYears, std::vector<int>{2026});
    for (const std::string_view bad : {"2009", "2027", "15", "02015", "abcd"}) {
        EXPECT_EQ(parseExport({"--past", bad}).error,
                  "--past の年が正しくありません: " + std::string(bad) +
                      "（2010～2026 の西暦４桁で指定して下さい）")
            << bad;
    }
    // The same year twice is one entry; two years reach the selection check as two.
    EXPECT_EQ(parseExport({"--past", "2015", "--past", "2015"}).request.pastYears.size(), 1u);
    EXPECT_EQ(parseExport({"--past", "2015", "--past", "2016"}).request.pastYears.size(), 2u);
}

TEST(CliOptions, KindsAllSelectsTheWholeIndexListInOrder) {
    const auto parsed = parseExport({"--kinds", "ALL"});
    ASSERT_EQ(parsed.kind, CommandKind::Export);
    ASSERT_EQ(parsed.request.indexCodes.size(), kIndexKindCount);
    EXPECT_EQ(parsed.request.indexCodes.front(), "010");
    EXPECT_EQ(parsed.request.indexCodes.back(), "470");
}

TEST(CliOptions, KindListsFollowListOrderWithoutDuplicates) {
    const auto parsed = parseExport({"--kinds", "470, 010,010", "--kinds", "020"});
    ASSERT_EQ(parsed.kind, CommandKind::Export);
    EXPECT_EQ(parsed.request.indexCodes, (std::vector<std::string>{"010", "020", "470"}));
}

TEST(CliOptions, RefusesCodesOutsideTheirList) {
    EXPECT_EQ(parseExport({"--kinds", "015"}).error,
              "--kinds のコードが正しくありません: 015（all または 010～470 の指数コード）");
    EXPECT_EQ(parseExport({"--kinds", "001"}).kind, CommandKind::Error);
    EXPECT_EQ(parseExport({"--kinds", "010,,020"}).error,
              "--kinds のコードが正しくありません: （空）（all または 010～470 の指数コード）");
    // The user mark is in the table but not in the comment list.
    EXPECT_EQ(parseExport({"--predict", "002"}).error,
              "--predict のコードが正しくありません: 002（all または 001, 003, 004, 005, 006）");
    EXPECT_EQ(parseExport({"--result", "010"}).kind, CommandKind::Error);
}

TEST(CliOptions, PredictionsAreEvenAndResultsOddCommentEntries) {
    const auto parsed = parseExport({"--predict", "001,006", "--result", "004"});
    ASSERT_EQ(parsed.kind, CommandKind::Export);
    const std::array<bool, kCommentEntryCount> expected{true, false, false, false, false,
                                                        true, false, false, true,  false};
    EXPECT_EQ(parsed.request.commentEntries, expected);

    const auto all = parseExport({"--result", "all"}).request.commentEntries;
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i], i % 2 == 1) << i;
    }
}

TEST(CliOptions, SelectionInputHoldsTheListCodesOfPastYearsAndDays) {
    const auto request =
        parseExport({"--past", "2015", "--day", "20261205", "--predict", "003"}).request;
    const auto input = selectionCheckInput(request);
    EXPECT_EQ(input.thisWeekCodes, (std::vector<std::string>{"TF15mm.html", "TF261205.html"}));
    EXPECT_FALSE(input.anyDataKind);
    EXPECT_TRUE(input.anyComment);
}

TEST(CliOptions, DaysAndRaceTakeTheirOwnArgumentsOnly) {
    auto parsed = parse({"days", "--app-folder", "/x"});
    ASSERT_EQ(parsed.kind, CommandKind::Days);
    EXPECT_EQ(parsed.request.appFolder, std::filesystem::path("/x"));
    EXPECT_EQ(parse({"days", "--day", "20261205"}).kind, CommandKind::Error);
    EXPECT_EQ(parse({"days", "extra"}).kind, CommandKind::Error);

    parsed = parse({"race", "trifecta", "2026120506050311", "--save=/tmp/p.html"});
    ASSERT_EQ(parsed.kind, CommandKind::Race);
    EXPECT_EQ(parsed.race.page, "trifecta");
    EXPECT_EQ(parsed.race.raceKey, "2026120506050311");
    EXPECT_EQ(parsed.race.saveTo, std::filesystem::path("/tmp/p.html"));
    for (const std::vector<std::string_view>& bad : {std::vector<std::string_view>{"race", "win"},
                                                     {"race", "win", "2026120506050311", "more"},
                                                     {"race", "place", "2026120506050311"},
                                                     {"race", "win", "2026123206050311"}}) {
        EXPECT_EQ(parse(bad).kind, CommandKind::Error) << bad[1];
    }
    EXPECT_EQ(parse({"race", "--help"}).kind, CommandKind::Help);
}

TEST(CliOptions, ThisWeekStandsAloneAndCountsAsADaySelection) {
    const auto parsed = parseExport({"--this-week", "--kinds", "010"});
    ASSERT_EQ(parsed.kind, CommandKind::Export);
    EXPECT_TRUE(parsed.request.thisWeek);
    const auto check = lst_ThisW_Chk(selectionCheckInput(parsed.request));
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.ThisWeekMode, 1);
    EXPECT_EQ(parseExport({"--this-week", "--past", "2020"}).kind, CommandKind::Error);
    // Without kinds or comments the window's own message refuses it.
    EXPECT_FALSE(lst_ThisW_Chk(selectionCheckInput(parseExport({"--this-week"}).request)).ok);
}

}  // namespace
}  // namespace kestrova::cli
