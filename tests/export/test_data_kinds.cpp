#include <set>
#include <string>

#include <gtest/gtest.h>

#include "export/data_file_names.h"
#include "export/data_kinds.h"

namespace kestrova {
namespace {

TEST(DataKinds, TableHoldsMarkKindsThenFortySevenIndexKinds) {
    std::set<std::string_view> codes(DataKindCodes.begin(), DataKindCodes.end());
    EXPECT_EQ(codes.size(), kDataKindCount);
    EXPECT_EQ(DataKindCodes[0], "000");
    EXPECT_EQ(DataKindCodes[6], "006");
    EXPECT_EQ(DataKindCodes[7], "010");
    EXPECT_EQ(DataKindCodes[53], "470");
    EXPECT_EQ(DataKindNames[7], "ＩＤＭ");
    EXPECT_EQ(DataKindNames[53], "調教師馬主別３着内率");
    EXPECT_EQ(dataKindName("006"), "放牧先（ランク）・入厩日");
    EXPECT_EQ(dataKindName("011"), "");

    for (std::size_t i = kFirstIndexKind; i < kDataKindCount; ++i) {
        EXPECT_EQ(DataKindCodes[i], std::to_string(1000 + (i - 6) * 10).substr(1));
    }
}

TEST(DataKinds, IndexKindsReadTheirColumnPair) {
    EXPECT_EQ(indexFirstColumn("010"), 9);
    EXPECT_EQ(indexFirstColumn("470"), 101);
    EXPECT_EQ(indexFirstColumn("01x"), std::nullopt);
    EXPECT_EQ(indexFirstColumn(""), std::nullopt);
}

TEST(DataKinds, ListEntriesReadAsTheWindowShowsThem) {
    EXPECT_EQ(indexEntryText(7), "ＩＤＭ（KSTR010）");
    EXPECT_EQ(commentEntryText(0), "システム印(予想コメントへ出力)");
    EXPECT_EQ(commentEntryText(3), "激走印(結果コメントへ出力)");
    EXPECT_EQ(commentEntryText(8), "放牧先（ランク）・入厩日(予想コメントへ出力)");
    EXPECT_EQ(commentEntryText(10), "");
}

TEST(MonthFileTemplates, RunFrom2010ThroughTheCurrentYear) {
    const auto templates = makeMonthFileTemplates(2026);
    ASSERT_EQ(templates.size(), 17u);
    EXPECT_EQ(templates.front(), "TF10mm.html");
    EXPECT_EQ(templates[10], "TF20mm.html");
    EXPECT_EQ(templates.back(), "TF26mm.html");
}

}  // namespace
}  // namespace kestrova
