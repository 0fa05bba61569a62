#include <string>

#include <gtest/gtest.h>

#include "base/cp932.h"

namespace kestrova {
namespace {

std::string bytesOf(std::string_view utf8) {
    const auto converted = toCp932(utf8);
    EXPECT_EQ(converted.unmappable, 0u) << utf8;
    return converted.bytes;
}

TEST(Cp932, AsciiPassesThroughUnchanged) {
    const std::string ascii("a\\b~c\x01\x7f, 123\r\n", 15);
    EXPECT_EQ(bytesOf(ascii), ascii);
    EXPECT_EQ(fromCp932(ascii), ascii);
    EXPECT_EQ(toCp932("").bytes, "");
}

TEST(Cp932, DataKindLabelsRoundTrip) {
    EXPECT_EQ(bytesOf("ＩＤＭ"), "\x82\x68\x82\x63\x82\x6C");
    for (const std::string label : {"ＩＤＭ", "騎手期待３着内率", "放牧先（ランク）・入厩日",
                                    "予想コメント 12件出力しました...", "TFJV 出力"}) {
        EXPECT_EQ(fromCp932(bytesOf(label)), label);
    }
}

TEST(Cp932, CirclesFullWidthDigitsAndSpaces) {
    EXPECT_EQ(bytesOf("○"), "\x81\x9B");
    // The large circle is in CP932 too (0x81FC) and must come back as itself.
    EXPECT_EQ(bytesOf("◯"), "\x81\xFC");
    EXPECT_EQ(fromCp932("\x81\xFC"), "◯");
    EXPECT_EQ(bytesOf("０９　"), "\x82\x4F\x82\x58\x81\x40");
}

TEST(Cp932, TrailBytesInTheAsciiRangeAreNotAscii) {
    // "ソ" and "表" end in 0x5C, the byte of a backslash.
    EXPECT_EQ(bytesOf("ソ表"), "\x83\x5C\x95\x5C");
    EXPECT_EQ(fromCp932("\x83\x5C\x95\x5C\\"), "ソ表\\");
}

TEST(Cp932, HalfWidthKatakanaAreSingleBytes) {
    EXPECT_EQ(bytesOf("ﾊﾞｰｼﾞｮﾝ情報"), "\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1");
    EXPECT_EQ(fromCp932("\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1"), "ﾊﾞｰｼﾞｮﾝ情報");
}

TEST(Cp932, LookAlikesOfCp932DashesAndTildeKeepTheirMeaning) {
    // Text from Unix sources uses these code points for what CP932 files hold as
    // U+FF5E, U+FF0D, U+2225 and U+2015; the host shows the same glyphs, "?" would lose them.
    EXPECT_EQ(bytesOf("1〜3"),
              "1\x81\x60"
              "3");
    EXPECT_EQ(bytesOf("1～3"),
              "1\x81\x60"
              "3");
    EXPECT_EQ(bytesOf("−"), "\x81\x7C");
    EXPECT_EQ(bytesOf("‖"), "\x81\x61");
    EXPECT_EQ(bytesOf("—"), "\x81\x5C");
    EXPECT_EQ(fromCp932("\x81\x60"), "～");
    EXPECT_EQ(fromCp932("\x81\x7C"), "－");
}

TEST(Cp932, LatinSignsAndUnassignedBytesAreTheSameOnEverySystem) {
    // Where Windows' code page 932 and glibc part, the files stay as the Linux build wrote
    // them: the signs map to their full-width look-alikes, the bytes without a character
    // are refused.
    EXPECT_EQ(bytesOf("¢£¥¬‾"), "\x81\x91\x81\x92\x5C\x81\xCA\x7E");
    EXPECT_EQ(toCp932("\xC2\x80\xEF\xA3\xB0").bytes, "??");
    EXPECT_EQ(fromCp932("a\x80"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(Cp932, UnmappableCharactersBecomeQuestionMarksAndAreCounted) {
    const auto converted = toCp932("café 😀 ok");
    EXPECT_EQ(converted.bytes, "caf? ? ok");
    EXPECT_EQ(converted.unmappable, 2u);
}

TEST(Cp932, InvalidUtf8IsCountedNotDropped) {
    const auto stray = toCp932(
        "a\xFF"
        "b\xE6\x97"
        "c");
    EXPECT_EQ(stray.bytes, "a?b??c");
    EXPECT_EQ(stray.unmappable, 3u);
    const auto truncatedAtEnd = toCp932("東\xE4\xBA");
    EXPECT_EQ(truncatedAtEnd.bytes, "\x93\x8C??");
    EXPECT_EQ(truncatedAtEnd.unmappable, 2u);
}

TEST(Cp932, InvalidCp932BecomesReplacementCharacter) {
    // A lead byte without a valid trail costs only itself; the next byte is read again.
    EXPECT_EQ(fromCp932("\x81\x20x"), "\xEF\xBF\xBD x");
    EXPECT_EQ(fromCp932("ab\x81"), "ab\xEF\xBF\xBD");
    EXPECT_EQ(fromCp932("\xFF\x93\x8C"), "\xEF\xBF\xBD東");
}

TEST(Cp932, LongMixedTextRoundTrips) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += "2018120806050311,01,８５.３,◎本命,";
        text += std::to_string(i);
        text += "\r\n";
    }
    const auto converted = toCp932(text);
    EXPECT_EQ(converted.unmappable, 0u);
    EXPECT_LT(converted.bytes.size(), text.size());
    EXPECT_EQ(fromCp932(converted.bytes), text);
}

}  // namespace
}  // namespace kestrova
