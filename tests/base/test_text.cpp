#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "base/text.h"

namespace kestrova {
namespace {

TEST(AsciiCase, FoldsOnlyAsciiLettersWhateverTheLocale) {
    // A Latin-1 locale would fold 0xC9 (É) to 0xE9; protocol and settings names must not.
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(toLowerAscii("Content-TYPE: \xC9\xE9"), "content-type: \xC9\xE9");
    EXPECT_TRUE(equalsIgnoringAsciiCase("SYS_ENV", "sys_env"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("\xC9", "\xE9"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("abc", "abcd"));
    EXPECT_TRUE(startsWithIgnoringAsciiCase("HTTPS://Host", "https://"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase("http", "https://"));
    // "@" and "[" sit next to the capitals; they are not letters.
    EXPECT_FALSE(equalsIgnoringAsciiCase("@[", "`{"));
}

TEST(TextHelpers, TrimOnlyPlainSpacesAndReplaceEveryOccurrence) {
    EXPECT_EQ(trimSpaces("  a b \t"), "a b \t");
    EXPECT_EQ(trimSpaces("\xE3\x80\x80x\xC2\xA0"), "\xE3\x80\x80x\xC2\xA0");
    EXPECT_EQ(trimSpaces("   "), "");
    EXPECT_EQ(replaceAll("mm-mmm", "mm", "01"), "01-01m");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
    EXPECT_TRUE(isAsciiDigits("0123456789"));
    EXPECT_FALSE(isAsciiDigits(""));
    EXPECT_FALSE(isAsciiDigits("１２"));  // full-width digits are not digits of a key
}

TEST(Cp932LeadByte, CoversBothDoubleByteRangesAndNothingElse) {
    EXPECT_FALSE(isCp932LeadByte('\x80'));
    EXPECT_TRUE(isCp932LeadByte('\x81'));
    EXPECT_TRUE(isCp932LeadByte('\x9F'));
    EXPECT_FALSE(isCp932LeadByte('\xA0'));
    EXPECT_FALSE(isCp932LeadByte('\xDF'));  // half-width katakana stand alone
    EXPECT_TRUE(isCp932LeadByte('\xE0'));
    EXPECT_TRUE(isCp932LeadByte('\xFC'));
    EXPECT_FALSE(isCp932LeadByte('\xFD'));
    // Every lead byte the converter writes for a double-byte character is one.
    for (const char* text : {"ソ", "表", "①", "～", "\xE7\xBA\x8A"}) {
        const std::string bytes = toCp932(text).bytes;
        ASSERT_EQ(bytes.size(), 2u) << text;
        EXPECT_TRUE(isCp932LeadByte(bytes[0])) << text;
    }
}

}  // namespace
}  // namespace kestrova
