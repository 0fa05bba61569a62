#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "page_text.h"
#include "sample_server.h"
#include "validators.h"
#include "zlib_text.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::inflateText;
using test::Wrapper;

const std::string kData = "/kestrova/tfdata2/";
const std::string kDay = kData + "TF250607.html";
const std::string kMay = kData + "TF2505.html";  // sent without a Content-Type

ServerOptions juneOptions() {
    ServerOptions options;
    options.newestYear = 2025;
    options.newestMonth = 6;
    options.weekDays = {"20250607", "20250608"};
    return options;
}

httplib::Result get(const SampleServer& server, const std::string& path,
                    httplib::Headers headers = {}) {
    httplib::Client c("127.0.0.1", server.port());
    c.set_read_timeout(10, 0);
    c.set_decompress(false);
    return c.Get(path.c_str(), headers);
}

class DownloadCacheServerTest : public ::testing::Test {
  protected:
    void SetUp() override { server.start(); }
    httplib::Result get(const std::string& path, httplib::Headers headers = {}) {
        return sample::get(server, path, std::move(headers));
    }
    SampleServer server{juneOptions()};
};

TEST_F(DownloadCacheServerTest, CompressesOnlyWhenOffered) {
    for (const std::string& path : {kDay, kMay, std::string("/kestrova/data/MAST.html")}) {
        SCOPED_TRACE(path);
        auto plain = get(path);
        ASSERT_TRUE(plain);
        EXPECT_FALSE(plain->has_header("Content-Encoding"));
        EXPECT_EQ(plain->get_header_value("Vary"), "Accept-Encoding");

        auto gzip = get(path, {{"Accept-Encoding", "deflate;q=0.5, gzip"}});
        ASSERT_TRUE(gzip);
        EXPECT_EQ(gzip->get_header_value("Content-Encoding"), "gzip");
        EXPECT_EQ(gzip->get_header_value("Content-Length"), std::to_string(gzip->body.size()));
        EXPECT_EQ(inflateText(gzip->body, Wrapper::Gzip), plain->body) << "compressed once";
        EXPECT_EQ(gzip->get_header_value("Content-Type"), plain->get_header_value("Content-Type"));

        auto deflate = get(path, {{"Accept-Encoding", "DEFLATE, gzip;q=0.9"}});
        ASSERT_TRUE(deflate);
        EXPECT_EQ(deflate->get_header_value("Content-Encoding"), "deflate");
        EXPECT_EQ(inflateText(deflate->body, Wrapper::Zlib), plain->body);

        // httplib would answer "br" and "gzip;q=0" with a compressed body on its own.
        for (const char* refused : {"gzip;q=0, deflate;q=0", "br", "identity"}) {
            auto res = get(path, {{"Accept-Encoding", refused}});
            ASSERT_TRUE(res);
            EXPECT_FALSE(res->has_header("Content-Encoding")) << refused;
            EXPECT_EQ(res->body, plain->body) << refused;
        }
    }
    auto pdf = get("/kestrova/monitor/data_explain.pdf", {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(pdf);
    EXPECT_FALSE(pdf->has_header("Content-Encoding"));
}

TEST_F(DownloadCacheServerTest, ValidatorsAreStableAndPerRepresentation) {
    auto first = get(kDay);
    auto second = get(kDay);
    auto gzip = get(kDay, {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(first && second && gzip);
    const std::string etag = first->get_header_value("ETag");
    EXPECT_TRUE(etag.size() > 2 && etag.starts_with('"') && etag.ends_with('"')) << etag;
    EXPECT_EQ(second->get_header_value("ETag"), etag);
    EXPECT_NE(gzip->get_header_value("ETag"), etag);
    const auto modified = parseHttpDate(first->get_header_value("Last-Modified"));
    ASSERT_TRUE(modified);
    EXPECT_LE(*modified, std::time(nullptr));
    EXPECT_EQ(gzip->get_header_value("Last-Modified"), first->get_header_value("Last-Modified"));
    EXPECT_FALSE(get(kData + "TF250699.html")->has_header("ETag"));
}

TEST_F(DownloadCacheServerTest, ConditionalGetsAnswerNotModified) {
    auto page = get(kDay);
    auto gzipPage = get(kDay, {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(page && gzipPage);
    const std::string etag = page->get_header_value("ETag");
    const std::string gzipTag = gzipPage->get_header_value("ETag");
    const std::string modified = page->get_header_value("Last-Modified");
    const std::time_t since = *parseHttpDate(modified);
    struct Case {
        httplib::Headers headers;
        int status;
    };
    const Case cases[] = {
        {{{"If-None-Match", etag}}, 304},
        {{{"If-None-Match", "W/" + etag}}, 304},
        {{{"If-None-Match", "\"stale\", " + etag}}, 304},
        {{{"If-None-Match", "\"stale\""}, {"If-None-Match", etag}}, 304},
        {{{"If-None-Match", "*"}}, 304},
        {{{"If-None-Match", "\"stale\""}}, 200},
        {{{"If-None-Match", gzipTag}}, 200},
        {{{"If-None-Match", gzipTag}, {"Accept-Encoding", "gzip"}}, 304},
        {{{"If-None-Match", etag}, {"Accept-Encoding", "gzip"}}, 200},
        {{{"If-None-Match", "\"stale\""}, {"If-Modified-Since", modified}}, 200},
        {{{"If-Modified-Since", modified}}, 304},
        {{{"If-Modified-Since", httpDate(since + 86400)}}, 304},
        {{{"If-Modified-Since", httpDate(since - 1)}}, 200},
        {{{"If-Modified-Since", "not a date"}}, 200},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const auto& [name, value] : c.headers) {
            trace += name + ": " + value + "; ";
        }
        SCOPED_TRACE(trace);
        auto res = get(kDay, c.headers);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        if (c.status == 304) {
            EXPECT_TRUE(res->body.empty());
            EXPECT_FALSE(res->has_header("Content-Length"));
            EXPECT_FALSE(res->has_header("Content-Encoding"));
            EXPECT_TRUE(res->has_header("ETag"));
            EXPECT_EQ(res->get_header_value("Last-Modified"), modified);
        }
    }
    EXPECT_EQ(server.notModifiedCount(kDay), 8u);
    EXPECT_EQ(server.requestCount(kDay), std::size(cases) + 2);
}

TEST_F(DownloadCacheServerTest, AChangedMonthGetsNewBytesAndValidators) {
    auto may = get(kMay);
    auto april = get(kData + "TF2504.html");
    ASSERT_TRUE(may && april);
    server.changeMonth(2025, 5);
    auto changed = get(kMay);
    ASSERT_TRUE(changed);
    EXPECT_NE(changed->body, may->body);
    EXPECT_EQ(test::tableRows(changed->body)[0][0], test::tableRows(may->body)[0][0]);
    EXPECT_NE(changed->get_header_value("ETag"), may->get_header_value("ETag"));
    EXPECT_GT(*parseHttpDate(changed->get_header_value("Last-Modified")),
              *parseHttpDate(may->get_header_value("Last-Modified")));
    EXPECT_EQ(get(kMay, {{"If-None-Match", may->get_header_value("ETag")}})->status, 200);
    EXPECT_EQ(get(kMay, {{"If-Modified-Since", may->get_header_value("Last-Modified")}})->status,
              200);
    auto aprilAgain = get(kData + "TF2504.html");
    EXPECT_EQ(aprilAgain->body, april->body);
    EXPECT_EQ(aprilAgain->get_header_value("ETag"), april->get_header_value("ETag"));

    // The same change from the start, and another one on top.
    ServerOptions options = juneOptions();
    options.changedMonths = {"2025-05"};
    SampleServer other(options);
    other.start();
    auto otherMay = sample::get(other, kMay);
    EXPECT_EQ(otherMay->body, changed->body);
    EXPECT_EQ(otherMay->get_header_value("ETag"), changed->get_header_value("ETag"));
    other.changeMonth(2025, 5);
    EXPECT_NE(sample::get(other, kMay)->body, changed->body);
}

TEST(DownloadCacheServer, WithoutValidatorsNothingIsConditional) {
    ServerOptions options = juneOptions();
    options.validators = false;
    SampleServer server(options);
    server.start();
    auto res = get(server, kDay, {{"If-None-Match", "*"}, {"If-Modified-Since", httpDate(2e9)}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_FALSE(res->has_header("ETag"));
    EXPECT_FALSE(res->has_header("Last-Modified"));
}

TEST(DownloadCacheServer, CountsTheBytesOnTheWire) {
    SampleServer server(juneOptions());
    server.start();
    auto gzip = get(server, kDay, {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(gzip);
    EXPECT_EQ(server.bytesSent(), gzip->body.size());
    get(server, kDay,
        {{"If-None-Match", gzip->get_header_value("ETag")}, {"Accept-Encoding", "gzip"}});
    EXPECT_EQ(server.bytesSent(), gzip->body.size()) << "a 304 has no body";
}

TEST(SimulatedLink, RateIsSharedByAllConnections) {
    ServerOptions options = juneOptions();
    options.bytesPerSecond = 4'000'000;
    SampleServer server(options);
    server.start();
    server.setPage("/2mb.bin", std::string(2'000'000, 'x'), "application/octet-stream");
    server.setPage("/1mb.bin", std::string(1'000'000, 'x'), "application/octet-stream");

    auto start = Clock::now();
    ASSERT_TRUE(get(server, "/2mb.bin"));
    const auto alone = Clock::now() - start;
    EXPECT_GE(alone, 400ms);
    EXPECT_LT(alone, 2s);

    start = Clock::now();
    auto first = std::async(std::launch::async, [&] { return get(server, "/1mb.bin"); });
    auto second = std::async(std::launch::async, [&] { return get(server, "/1mb.bin"); });
    ASSERT_TRUE(first.get() && second.get());
    const auto together = Clock::now() - start;
    EXPECT_GE(together, 400ms) << "two megabytes in all";
    EXPECT_LT(together, 2s);
    EXPECT_EQ(server.bytesSent(), 4'000'000u);
}

TEST(SimulatedLink, LatencyDelaysEveryAnswer) {
    ServerOptions options = juneOptions();
    options.latency = 250ms;
    SampleServer server(options);
    server.start();
    for (const char* path : {"/kestrova/data/MAST.html", "/nothing"}) {
        const auto start = Clock::now();
        auto res = get(server, path);
        ASSERT_TRUE(res);
        EXPECT_GE(Clock::now() - start, 250ms) << path;
    }
}

}  // namespace
}  // namespace kestrova::sample
