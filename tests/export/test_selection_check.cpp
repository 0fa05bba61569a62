#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/data_file_names.h"
#include "export/selection_check.h"

namespace kestrova {
namespace {

SelectionCheckInput input(std::vector<std::string> codes, bool kinds = true,
                          bool comments = false) {
    return {std::move(codes), kinds, comments};
}

TEST(SelectionCheck, RefusesAnEmptyOrMixedDataSelectionWithFocusOnTheDayList) {
    auto none = lst_ThisW_Chk(input({}));
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.message, "開催日データが未選択です。確認して下さい。");
    EXPECT_EQ(none.focus, SelectionFocus::ThisWeekList);

    // An entry whose code has neither length counts for nothing.
    EXPECT_EQ(lst_ThisW_Chk(input({"TF1.html"})).message, none.message);

    auto twoPast = lst_ThisW_Chk(input({"TF10mm.html", "TF12mm.html", "TF181208.html"}));
    EXPECT_FALSE(twoPast.ok);
    EXPECT_EQ(twoPast.message,
              "過去データは複数できません。\r\n\r\n開始開催年月を確認して選択下さい。");
    EXPECT_EQ(twoPast.focus, SelectionFocus::ThisWeekList);

    auto mixed = lst_ThisW_Chk(input({"TF12mm.html", "TF181208.html"}));
    EXPECT_FALSE(mixed.ok);
    EXPECT_EQ(mixed.message, "過去データと今週データは同時に選択できません。");
    EXPECT_EQ(mixed.focus, SelectionFocus::ThisWeekList);
}

TEST(SelectionCheck, RefusesWhenNeitherKindsNorCommentsAreSelected) {
    auto result = lst_ThisW_Chk(input({"TF15mm.html"}, false, false));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message,
              "出力データ（指数）と予想／結果コメント出力データが未選択です。どれか１つは選択"
              "して下さい。");
    EXPECT_EQ(result.focus, SelectionFocus::DataKindList);
    EXPECT_EQ(result.ThisWeekMode, 0);
    EXPECT_EQ(result.StartYear, "15");
}

TEST(SelectionCheck, SetsModeAndStartYear) {
    auto past = lst_ThisW_Chk(input({"TF24mm.html"}, false, true));
    EXPECT_TRUE(past.ok);
    EXPECT_EQ(past.message, "");
    EXPECT_EQ(past.ThisWeekMode, 0);
    EXPECT_EQ(past.StartYear, "24");

    auto week = lst_ThisW_Chk(input({"TF261205.html", "TF261206.html"}));
    EXPECT_TRUE(week.ok);
    EXPECT_EQ(week.ThisWeekMode, 1);
    EXPECT_EQ(week.StartYear, "");
}

TEST(SelectionCheck, ListEntriesCarryTheirCodeOutOfViewAndGiveItBack) {
    const std::string past = pastDataEntry("TF26mm.html");
    EXPECT_EQ(past, "2026年01月～先週（過去データ）" + std::string(50, ' ') + "TF26mm.html");
    EXPECT_EQ(hiddenItemCode(past, 13), "TF26mm.html");

    const std::string day = thisWeekEntry("2026年12月05日", dayFileNameOf("20261205"));
    EXPECT_EQ(day, "2026年12月05日（今週データ）" + std::string(50, ' ') + "TF261205.html");
    EXPECT_EQ(hiddenItemCode(day, 13), "TF261205.html");

    // Characters, not bytes: the last three of a short Japanese entry.
    EXPECT_EQ(hiddenItemCode("ＩＤＭ（KSTR010）", 3), "10）");
    EXPECT_EQ(hiddenItemCode("ab", 13), "ab");
}

}  // namespace
}  // namespace kestrova
