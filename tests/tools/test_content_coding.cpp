#include <gtest/gtest.h>

#include "content_coding.h"
#include "validators.h"

namespace kestrova::sample {
namespace {

TEST(ContentCoding, ChoosesByQValues) {
    const std::pair<const char*, Coding> cases[] = {
        {"", Coding::Identity},
        {"gzip", Coding::Gzip},
        {"x-gzip", Coding::Gzip},
        {"deflate", Coding::Deflate},
        {"deflate, gzip", Coding::Gzip},
        {"gzip;q=0.5, deflate", Coding::Deflate},
        {"gzip ; Q=0.900 ,deflate;q=0.95", Coding::Deflate},
        {"gzip;q=0", Coding::Identity},
        {"br", Coding::Identity},
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
