#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/race_keys.h"

namespace kestrova {
namespace {

TEST(RaceKeys, HostMeetingCodeOfMeetingAndRaceKeys) {
    EXPECT_EQ(ON_CONV_KEY("20181208060503"), "061853");
    EXPECT_EQ(ON_CONV_KEY("2018120806050311"), "061853");
    EXPECT_EQ(ON_CONV_KEY("20190105100112"),
              "1019"
              "1C");
}

TEST(RaceKeys, MeetingAndDayNumbersBeyondNineBecomeLetters) {
    EXPECT_EQ(ON_CONV_KEY("20181208061015"), "0618AF");
    EXPECT_EQ(ON_CONV_KEY("20181208061116"), "0618B16");  // no letter for 16
    EXPECT_EQ(ON_CONV_KEY("20181208060000"), "06180000");
    EXPECT_EQ(convDigitPair("09"), "9");
    EXPECT_EQ(convDigitPair("13"), "D");
    EXPECT_EQ(convDigitPair("99"), "99");
    EXPECT_EQ(convDigitPair("1"), "1");
    EXPECT_EQ(convDigitPair("ab"), "ab");
}

TEST(RaceKeys, ShortKeysGiveWhatTheirCharactersGive) {
    EXPECT_EQ(ON_CONV_KEY("2018120806050"),
              "06185"
              "0");
    EXPECT_EQ(ON_CONV_KEY("201812080605"), "06185");
    EXPECT_EQ(ON_CONV_KEY("2018120806"), "0618");
    EXPECT_EQ(ON_CONV_KEY("2018"), "18");
    EXPECT_EQ(ON_CONV_KEY("2"), "");
    EXPECT_EQ(ON_CONV_KEY(""), "");
    // Characters, not bytes: a stray multi-byte character is never cut in half.
    EXPECT_EQ(ON_CONV_KEY("２０１８１２０８０６０５０３"), "０６１８０５０３");
}

TEST(RaceKeys, VenueCodesByExactName) {
    const char* names[] = {"札幌", "函館", "福島", "新潟", "東京",
                           "中山", "中京", "京都", "阪神", "小倉"};
    const char* codes[] = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10"};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(GET_JYOCD(names[i]), codes[i]) << names[i];
    }
    EXPECT_EQ(GET_JYOCD("  東京 "), "05");
    EXPECT_EQ(GET_JYOCD("東京　"), "") << "a full-width space is another character";
    EXPECT_EQ(GET_JYOCD("\t東京"), "");
    EXPECT_EQ(GET_JYOCD("東 京"), "");
    EXPECT_EQ(GET_JYOCD("ﾄｳｷｮｳ"), "");
    EXPECT_EQ(GET_JYOCD("大井"), "");
    EXPECT_EQ(GET_JYOCD(""), "");
}

TEST(RaceKeys, DayKeysMustBeRealDates) {
    EXPECT_TRUE(isValidDayKey("20181208"));
    EXPECT_TRUE(isValidDayKey("20160229"));
    EXPECT_FALSE(isValidDayKey("20180229"));
    EXPECT_FALSE(isValidDayKey("20181301"));
    EXPECT_FALSE(isValidDayKey("20181232"));
    EXPECT_FALSE(isValidDayKey("20181200"));
    EXPECT_FALSE(isValidDayKey("00000101"));
    EXPECT_FALSE(isValidDayKey("2018120"));
    EXPECT_FALSE(isValidDayKey("201812080"));
    EXPECT_FALSE(isValidDayKey("２０１８１２０８"));
    EXPECT_FALSE(isValidDayKey("+2018120"));
}

TEST(RaceKeys, HostileKeysNeverPass) {
    EXPECT_TRUE(isValidRaceKey("2018120806050311"));
    const std::vector<std::string> hostile = {"../../x",
                                              "20181208/../../",
                                              "2018120806050\\",
                                              "201812080605031\n",
                                              std::string("201812080605031\0", 16),
                                              "20181208 6050311",
                                              "2018120806050311 ",
                                              "20181332060503",
                                              "C:\\Windows\\x",
                                              ""};
    for (const auto& key : hostile) {
        EXPECT_FALSE(isValidRaceKey(key)) << key;
        EXPECT_FALSE(isValidDayKey(key)) << key;
    }
    EXPECT_FALSE(isValidRaceKey("20181208060503"));
    EXPECT_FALSE(isValidRaceKey("2018023006050311"));
}

}  // namespace
}  // namespace kestrova
