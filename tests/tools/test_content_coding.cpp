#include <gtest/gtest.h>

#include "content_coding.h"
#include "streamed_body.h"
#include "validators.h"
#include "zlib_text.h"

namespace kestrova::sample {
namespace {

std::string whole(const StreamedBody& body, std::size_t step) {
    std::string out;
    for (std::string_view piece; !(piece = body.piece(out.size(), step)).empty();) {
        out += piece;
    }
    return out;
}

TEST(StreamedBody, JoinsRepeatsAndFillsWithoutCopying) {
    const auto page = std::make_shared<const std::string>("<p><t>row</t></p>");
    StreamedBody body;
    body.append(page, 0, 3);
    body.append(page, 3, 13, 3);
    body.appendFill("ab", 5);
    body.append(std::string("!"));
    const std::string expected = "<p><t>row</t><t>row</t><t>row</t>ababa!";
    EXPECT_EQ(body.size(), expected.size());
    for (const std::size_t step : {1u, 4u, 1000u}) {
        EXPECT_EQ(whole(body, step), expected) << step;
    }
    EXPECT_TRUE(body.piece(body.size(), 10).empty());

    StreamedBody big;
    big.appendFill("xyz", 1'000'001);
    EXPECT_EQ(big.size(), 1'000'001u);
    EXPECT_EQ(big.piece(999'998, 10), "zxy");
}

TEST(ContentCoding, ChoosesByQValues) {
    const std::pair<const char*, Coding> cases[] = {
        {"", Coding::Identity},
        {"gzip", Coding::Gzip},
        {"GZip", Coding::Gzip},
        {"x-gzip", Coding::Gzip},
        {"deflate", Coding::Deflate},
        {"deflate, gzip", Coding::Gzip},
        {"gzip;q=0.5, deflate", Coding::Deflate},
        {"gzip ; Q=0.900 ,deflate;q=0.95", Coding::Deflate},
        {"gzip;q=0", Coding::Identity},
        {"gzip;q=0.000, deflate;q=0", Coding::Identity},
        {"br", Coding::Identity},
        {"identity", Coding::Identity},
        {"*", Coding::Gzip},
        {"*;q=0", Coding::Identity},
        {"gzip;q=0, *", Coding::Deflate},
        {"identity;q=1, gzip;q=0.5", Coding::Identity},
        {"gzip;q=2", Coding::Identity},
        {"gzip;q=abc, deflate", Coding::Deflate},
        {"gzip, gzip;q=0", Coding::Gzip},
    };
    for (const auto& [header, coding] : cases) {
        EXPECT_EQ(chooseCoding(header), coding) << header;
    }
}

TEST(ContentCoding, CompressedFormsInflateToThePlainBytes) {
    std::string plain;
    for (int i = 0; i < 20000; ++i) {
        plain += "<td>" + std::to_string(i * 7919 % 1000) + "</td>\n";
    }
    const auto content = std::make_shared<const Content>(plain);
    const std::string gzip = whole(encodedBody(content, Coding::Gzip), 1 << 20);
    const std::string deflate = whole(encodedBody(content, Coding::Deflate), 1 << 20);
    EXPECT_LT(gzip.size(), plain.size() / 3);
    EXPECT_EQ(test::inflateText(gzip, test::Wrapper::Gzip), plain);
    EXPECT_EQ(test::inflateText(deflate, test::Wrapper::Zlib), plain);
    EXPECT_EQ(whole(encodedBody(content, Coding::Identity), 1 << 20), plain);
    EXPECT_EQ(test::inflateText(
                  whole(encodedBody(std::make_shared<const Content>(""), Coding::Gzip), 100),
                  test::Wrapper::Gzip),
              "");
    EXPECT_NE(Content("a").hash(), Content("b").hash());
}

TEST(Validators, ReadsTheThreeDateForms) {
    const std::time_t t = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(httpDate(t), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(parseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), t);
    EXPECT_EQ(parseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), t);
    EXPECT_EQ(parseHttpDate("Sun Nov  6 08:49:37 1994"), t);
    EXPECT_EQ(parseHttpDate(httpDate(1751328000)), 1751328000);
    for (const char* bad :
         {"", "yesterday", "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 31 Feb 1994 08:49:37 GMT",
          "Sun, 06 Nov 1994 25:00:00 GMT", "Sun, 6 Nov 1994 08:49:37 GMT"}) {
        EXPECT_FALSE(parseHttpDate(bad)) << bad;
    }
}

TEST(Validators, IfNoneMatchComparesWeakly) {
    const std::string tag = "\"5d41402abc4b2a76\"";
    EXPECT_TRUE(noneMatchHits(tag, tag));
    EXPECT_TRUE(noneMatchHits("W/" + tag, tag));
    EXPECT_TRUE(noneMatchHits("*", tag));
    EXPECT_TRUE(noneMatchHits("\"other\", W/\"a,b\" ," + tag, tag));
    EXPECT_FALSE(noneMatchHits("\"other\"", tag));
    EXPECT_FALSE(noneMatchHits("5d41402abc4b2a76", tag)) << "a tag is quoted";
    EXPECT_FALSE(noneMatchHits("\"5d41402abc4b2a76-gzip\"", tag));
    EXPECT_FALSE(noneMatchHits("\"unclosed, " + tag, tag));
    EXPECT_FALSE(noneMatchHits("", tag));
}

}  // namespace
}  // namespace kestrova::sample
