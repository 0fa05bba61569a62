#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "web/charset.h"
#include "web/page_decoder.h"

namespace kestrova {
namespace {

std::string fixture(std::string_view name) {
    return test::readFile(std::filesystem::path(KESTROVA_TEST_DATA) / "html" / name);
}

/// The decoder's output and decision when the body arrives in pieces of `pieceSize` bytes.
struct Decoded {
    std::string text;
    std::string encoding;
};
Decoded decodePage(std::string_view bytes, std::string_view contentType,
                   std::size_t pieceSize = 64 * 1024) {
    PageDecoder decoder{std::string(contentType)};
    Decoded result;
    for (std::size_t pos = 0; pos < bytes.size(); pos += pieceSize) {
        decoder.decode(bytes.substr(pos, pieceSize), result.text);
    }
    decoder.finish(result.text);
    result.encoding = decoder.encoding();
    return result;
}

TEST(Charset, EveryShiftJisLabelMeansCp932) {
    for (const char* label : {"shift_jis", "Shift_JIS", " SJIS ", "x-sjis", "Windows-31J", "MS932",
                              "cp932", "shift-jis", "csShiftJIS", "MS_Kanji"}) {
        EXPECT_EQ(encodingForLabel(label), "CP932") << label;
    }
}

TEST(Charset, ResolvesOtherLabelsAndRejectsUnknownOnes) {
    EXPECT_EQ(encodingForLabel("UTF-8"), "UTF-8");
    EXPECT_EQ(encodingForLabel("utf8"), "UTF-8");
    EXPECT_EQ(encodingForLabel("euc-jp"), "EUC-JP");
    EXPECT_EQ(encodingForLabel("iso-8859-1"), "CP1252");
    EXPECT_EQ(encodingForLabel("utf-16"), "UTF-16LE");
    EXPECT_EQ(encodingForLabel("iso-8859-2"), "ISO-8859-2");
    EXPECT_EQ(encodingForLabel("no-such-charset"), "");
    EXPECT_EQ(encodingForLabel("html"), "");
    EXPECT_EQ(encodingForLabel(""), "");
    EXPECT_EQ(encodingForLabel("UTF-8//TRANSLIT"), "");
    EXPECT_EQ(encodingForLabel("../../etc/passwd"), "");
}

TEST(Charset, ReadsTheCharsetParameterOfContentType) {
    EXPECT_EQ(charsetParameter("text/html; charset=Shift_JIS"), "Shift_JIS");
    EXPECT_EQ(charsetParameter("text/html;CHARSET=\"utf-8\""), "utf-8");
    EXPECT_EQ(charsetParameter("text/html; q=1; charset = x-sjis ; level=2"), "x-sjis");
    EXPECT_EQ(charsetParameter("text/html"), "");
    EXPECT_EQ(charsetParameter(""), "");
}

TEST(Charset, PrescanFindsMetaDeclarationsAsABrowserDoes) {
    EXPECT_EQ(prescanMetaCharset("<html><head><meta charset=\"Shift_JIS\">"), "CP932");
    EXPECT_EQ(prescanMetaCharset("<META HTTP-EQUIV=\"Content-Type\" "
                                 "CONTENT=\"text/html; charset=x-sjis\">"),
              "CP932");
    EXPECT_EQ(
        prescanMetaCharset("<meta content='text/html;charset=utf-8' http-equiv=content-type>"),
        "UTF-8");
    // content without http-equiv declares nothing
    EXPECT_EQ(prescanMetaCharset("<meta content=\"text/html; charset=shift_jis\">"), "");
    EXPECT_EQ(prescanMetaCharset("<!-- <meta charset=shift_jis> --><meta charset=utf-8>"), "UTF-8");
    EXPECT_EQ(prescanMetaCharset("<div title=\"<meta charset=shift_jis>\"><meta charset=utf-8>"),
              "UTF-8");
    EXPECT_EQ(prescanMetaCharset("<meta charset=bogus><meta charset=sjis>"), "CP932");
    EXPECT_EQ(prescanMetaCharset("<meta charset=utf-16le>"), "UTF-8");
    EXPECT_EQ(prescanMetaCharset("<meta charset=\"shift_jis"), "");
    EXPECT_EQ(prescanMetaCharset("<metadata charset=shift_jis>"), "");
}

TEST(Charset, Utf8PrefixAllowsOnlyACutOffSequenceAtTheEnd) {
    EXPECT_TRUE(isUtf8Prefix("plain ascii"));
    EXPECT_TRUE(isUtf8Prefix("\xE9\xA6\xAC"));
    EXPECT_TRUE(isUtf8Prefix("ab\xE9\xA6"));
    EXPECT_FALSE(isUtf8Prefix("\xE9\xA6x"));
    EXPECT_FALSE(isUtf8Prefix("\xC0\x80"));          // overlong
    EXPECT_FALSE(isUtf8Prefix("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isUtf8Prefix("\x94\x6E\x96\xBC"));  // CP932
}

TEST(Charset, DeclarationsRankBomThenHeaderThenMeta) {
    const std::string meta = "<meta charset=utf-8>";
    EXPECT_EQ(declaredEncoding("\xEF\xBB\xBF" + meta, "text/html; charset=sjis")->encoding,
              "UTF-8");
    EXPECT_EQ(declaredEncoding("\xEF\xBB\xBF" + meta, "")->bomLength, 3u);
    EXPECT_EQ(declaredEncoding("\xFF\xFEx", "")->encoding, "UTF-16LE");
    EXPECT_EQ(declaredEncoding(meta, "text/html; charset=sjis")->encoding, "CP932");
    EXPECT_EQ(declaredEncoding(meta, "text/html; charset=bogus")->encoding, "UTF-8");
    EXPECT_FALSE(declaredEncoding("<p>nothing</p>", "text/html"));
    // Two bytes of a UTF-8 BOM: the third decides, even over the header.
    EXPECT_FALSE(declaredEncoding("\xEF\xBB", "text/html; charset=sjis"));
}

TEST(PageDecoder, DecodesCp932AndUtf8PagesHoweverTheyDeclareIt) {
    const std::string expected = "<td>ソダシ</td><td>◎</td><td>ｶﾀｶﾅ①～－</td>";
    struct Case {
        const char* file;
        const char* contentType;
        const char* encoding;
    };
    for (const Case& c :
         {Case{"cp932_meta.html", "", "CP932"}, Case{"cp932_http_equiv.html", "text/html", "CP932"},
          Case{"cp932_plain.html", "text/html; charset=Shift_JIS", "CP932"},
          Case{"cp932_plain.html", "", "CP932"}, Case{"utf8_meta.html", "", "UTF-8"},
          Case{"utf8_plain.html", "", "UTF-8"}, Case{"utf8_bom.html", "", "UTF-8"}}) {
        const std::string bytes = fixture(c.file);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, bytes.size()}) {
            const Decoded decoded = decodePage(bytes, c.contentType, piece);
            EXPECT_EQ(decoded.encoding, c.encoding) << c.file << " in pieces of " << piece;
            EXPECT_THAT(decoded.text, ::testing::HasSubstr(expected)) << c.file;
            EXPECT_TRUE(decoded.text.starts_with("<!DOCTYPE")) << c.file;
        }
    }
}

TEST(PageDecoder, UndeclaredPageIsJudgedByItsFirstNonAsciiBytes) {
    // Kilobytes of ASCII first: deciding on them alone would have read this page as UTF-8.
    const std::string bytes = fixture("cp932_late_japanese.html");
    ASSERT_GT(bytes.find('\x8F'), kCharsetPrescanBytes);
    const Decoded decoded = decodePage(bytes, "text/html", 1000);
    EXPECT_EQ(decoded.encoding, "CP932");
    EXPECT_THAT(decoded.text, ::testing::HasSubstr("<title>出馬表</title>"));

    EXPECT_EQ(decodePage(std::string(5000, 'a') + "\xE9\xA6\xAC", "", 100).text,
              std::string(5000, 'a') + "馬");
    EXPECT_EQ(decodePage("ascii only", "").encoding, "UTF-8");
}

TEST(PageDecoder, BrokenBytesBecomeReplacementCharacters) {
    // A lead byte before ASCII gives the ASCII back, as browsers decode Shift_JIS.
    EXPECT_EQ(decodePage("\x82\xA0\x82 \xFF\x94", "text/html; charset=sjis").text,
              "あ\uFFFD \uFFFD\uFFFD");
    EXPECT_EQ(decodePage("\x82\xA0\x82 \xFF\x94", "text/html; charset=sjis", 1).text,
              "あ\uFFFD \uFFFD\uFFFD");
    EXPECT_EQ(decodePage("a\xE9\xA6", "text/html; charset=utf-8", 1).text, "a\uFFFD");
    EXPECT_EQ(decodePage("\xF0\x9F\x90\x8E!", "text/html; charset=utf-8", 1).text, "🐎!");
    // NUL, which would end the parser's text, in runs and across pieces.
    const std::string nuls("a\0\0b\0", 5);
    EXPECT_EQ(decodePage(nuls, "text/html; charset=utf-8").text, "a\uFFFD\uFFFDb\uFFFD");
    EXPECT_EQ(decodePage(nuls, "text/html; charset=utf-8", 2).text, "a\uFFFD\uFFFDb\uFFFD");
    EXPECT_EQ(decodePage(std::string(1 << 20, '\0'), "text/html; charset=utf-8").text.size(),
              3u << 20);
}

TEST(PageDecoder, ReadsUtf16WithBom) {
    const std::string bytes("\xFF\xFE<\0p\0>\0\xAC\x99", 10);
    EXPECT_EQ(decodePage(bytes, "", 3).text, "<p>馬");
}

}  // namespace
}  // namespace kestrova
