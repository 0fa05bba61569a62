#include <future>
#include <zlib.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "june_week.h"
#include "page_text.h"
#include "sample_server.h"
#include "validators.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kData = "/kestrova/tfdata2/";
const std::string kDay = kData + "TF250607.html";
const std::string kMay = kData + "TF2505.html";  // sent without a Content-Type

/// Inflates exactly one gzip (or else zlib) stream; "<broken>" for anything else.
std::string inflated(const std::string& compressed, bool gzip) {
    z_stream z{};
    inflateInit2(&z, gzip ? 16 + MAX_WBITS : MAX_WBITS);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    int rc = Z_OK;
    while (rc == Z_OK) {
        char buf[65536];
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    }
    const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return whole ? out : "<broken>";
}

httplib::Result get(const SampleServer& server, const std::string& path,
                    const httplib::Headers& headers = {}) {
    httplib::Client c("127.0.0.1", server.port());
    c.set_read_timeout(10, 0);
    c.set_decompress(false);
    return c.Get(path.c_str(), headers);
}

class DownloadCacheServerTest : public ::testing::Test {
  protected:
    void SetUp() override { server.start(); }
    httplib::Result get(const std::string& path, const httplib::Headers& headers = {}) {
        return sample::get(server, path, headers);
    }
    SampleServer server{juneOptions()};
};

TEST_F(DownloadCacheServerTest, CompressesOnlyWhenOffered) {
    for (const std::string& path : {kDay, kMay, std::string("/kestrova/data/MAST.html")}) {
        SCOPED_TRACE(path);
        auto plain = get(path);
        auto gzip = get(path, {{"Accept-Encoding", "deflate;q=0.5, gzip"}});
        auto deflate = get(path, {{"Accept-Encoding", "DEFLATE, gzip;q=0.9"}});
        ASSERT_TRUE(plain && gzip && deflate);
        EXPECT_FALSE(plain->has_header("Content-Encoding"));
        EXPECT_EQ(plain->get_header_value("Vary"), "Accept-Encoding");
        EXPECT_EQ(gzip->get_header_value("Content-Encoding"), "gzip");
        EXPECT_EQ(gzip->get_header_value("Content-Length"), std::to_string(gzip->body.size()));
        EXPECT_EQ(inflated(gzip->body, true), plain->body) << "compressed once";
        EXPECT_EQ(gzip->get_header_value("Content-Type"), plain->get_header_value("Content-Type"));
        EXPECT_EQ(deflate->get_header_value("Content-Encoding"), "deflate");
        EXPECT_EQ(inflated(deflate->body, false), plain->body);
        // httplib alone would compress for "br" and "gzip;q=0".
        for (const char* refused : {"gzip;q=0, deflate;q=0", "br"}) {
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

TEST_F(DownloadCacheServerTest, ConditionalGetsAnswerNotModified) {
    auto page = get(kDay);
    auto gzipPage = get(kDay, {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(page && gzipPage);
    const std::string etag = page->get_header_value("ETag");
    const std::string gzipTag = gzipPage->get_header_value("ETag");
    const std::string modified = page->get_header_value("Last-Modified");
    EXPECT_TRUE(etag.size() > 2 && etag.starts_with('"') && etag.ends_with('"')) << etag;
    EXPECT_EQ(get(kDay)->get_header_value("ETag"), etag);
    EXPECT_NE(gzipTag, etag);
    EXPECT_EQ(gzipPage->get_header_value("Last-Modified"), modified);
    const auto since = parseHttpDate(modified);
    ASSERT_TRUE(since);
    EXPECT_LE(*since, std::time(nullptr));

    const std::pair<httplib::Headers, int> cases[] = {
        {{{"If-None-Match", etag}}, 304},
        {{{"If-None-Match", "\"stale\""}, {"If-None-Match", "W/" + etag}}, 304},
        {{{"If-None-Match", "*"}}, 304},
        {{{"If-None-Match", "\"stale\""}}, 200},
        {{{"If-None-Match", gzipTag}}, 200},
        {{{"If-None-Match", gzipTag}, {"Accept-Encoding", "gzip"}}, 304},
        {{{"If-None-Match", "\"stale\""}, {"If-Modified-Since", modified}}, 200},
        {{{"If-Modified-Since", modified}}, 304},
        {{{"If-Modified-Since", httpDate(*since - 1)}}, 200},
        {{{"If-Modified-Since", "not a date"}}, 200},
    };
    for (const auto& [headers, status] : cases) {
        std::string trace;
        for (const auto& [name, value] : headers) {
            trace += name + ": " + value + "; ";
        }
        SCOPED_TRACE(trace);
        auto res = get(kDay, headers);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, status);
        if (status == 304) {
            EXPECT_TRUE(res->body.empty());
            EXPECT_FALSE(res->has_header("Content-Length"));
            EXPECT_EQ(res->get_header_value("Last-Modified"), modified);
        }
    }
    EXPECT_EQ(server.notModifiedCount(kDay), 5u);
    EXPECT_EQ(server.requestCount(kDay), std::size(cases) + 3);
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
    EXPECT_EQ(get(kMay, {{"If-Modified-Since", may->get_header_value("Last-Modified")}})->status,
              200);
    auto aprilAgain = get(kData + "TF2504.html");
    EXPECT_EQ(aprilAgain->get_header_value("ETag"), april->get_header_value("ETag"));

    // The same change from the start, and another one on top.
    ServerOptions options = juneOptions();
    options.changedMonths = {"2025-05"};
    SampleServer other(options);
    other.start();
    EXPECT_EQ(sample::get(other, kMay)->get_header_value("ETag"),
              changed->get_header_value("ETag"));
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
        ASSERT_TRUE(get(server, path));
        EXPECT_GE(Clock::now() - start, 250ms) << path;
    }
}

}  // namespace
}  // namespace kestrova::sample
