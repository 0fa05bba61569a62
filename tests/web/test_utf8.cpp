#include <string>

#include <gtest/gtest.h>

#include "web/http_request.h"

namespace kestrova {
namespace {

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(Utf8Decoding, KeepsWellFormedTextAndDropsTheByteOrderMark) {
    const std::string text = "abc 日本語 \xF0\x9F\x90\x8E \xC2\xA0";
    EXPECT_EQ(UTF8_to_UNICODE(text), text);
    EXPECT_EQ(UTF8_to_UNICODE("\xEF\xBB\xBF" + text), text);
    EXPECT_EQ(UTF8_to_UNICODE(""), "");
}

TEST(Utf8Decoding, ReplacesEachMaximalBadSubpartOnce) {
    // A lone continuation byte, an overlong lead, a surrogate, a code point past U+10FFFF.
    EXPECT_EQ(UTF8_to_UNICODE("a\x80z"), "a" + kBad + "z");
    EXPECT_EQ(UTF8_to_UNICODE("\xC0\xAF"), kBad + kBad);
    EXPECT_EQ(UTF8_to_UNICODE("\xED\xA0\x80"), kBad + kBad + kBad);
    EXPECT_EQ(UTF8_to_UNICODE("\xF4\x90\x80\x80"), kBad + kBad + kBad + kBad);
    // A sequence broken off by an ASCII byte or by the end of the body counts once.
    EXPECT_EQ(UTF8_to_UNICODE("\xE6\x97z"), kBad + "z");
    EXPECT_EQ(UTF8_to_UNICODE("x\xF0\x9F\x90"), "x" + kBad);
    // CP932 bytes are not UTF-8.
    EXPECT_EQ(UTF8_to_UNICODE("\x93\xFA"), kBad + kBad);
}

}  // namespace
}  // namespace kestrova
