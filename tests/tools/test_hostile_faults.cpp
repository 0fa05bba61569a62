#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "june_week.h"
#include "page_text.h"
#include "sample_server.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::countOf;
using test::tableRows;

const std::string kDay = "/kestrova/tfdata2/TF250607.html";      // CP932, rows in <table>
const std::string kDayUtf8 = "/kestrova/tfdata2/TF250608.html";  // UTF-8, <thead>, <tbody>

class HostileFaultTest : public ::testing::Test {
  protected:
    void SetUp() override { server.start(); }

    httplib::Result get(const std::string& path, std::optional<Fault> fault = std::nullopt) {
        server.clearFaults();
        if (fault) {
            server.addFault(*fault);
        }
        httplib::Client c("127.0.0.1", server.port());
        c.set_read_timeout(10, 0);
        c.set_decompress(false);
        return c.Get(path.c_str());
    }

    SampleServer server{juneOptions()};
};

TEST_F(HostileFaultTest, RepeatSendsTheWholeTableTimesOver) {
    for (const std::string& path : {kDay, kDayUtf8}) {
        SCOPED_TRACE(path);
        const std::string page = get(path)->body;
        const std::size_t rows = tableRows(page).size();
        auto res = get(path, Fault{.path = path, .kind = FaultKind::Repeat, .times = 3});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()));
        EXPECT_EQ(countOf(res->body, "<table"), 3u);
        EXPECT_EQ(countOf(res->body, "</table>"), 3u);
        const auto got = tableRows(res->body);
        ASSERT_EQ(got.size(), 3 * rows);
        for (std::size_t t = 0; t < 3; ++t) {
            EXPECT_EQ(got[t * rows][0].substr(0, 9), path == kDay ? "20250607:" : "20250608:");
            EXPECT_EQ(got[t * rows + 1], got[1]);
        }
        const std::size_t head = page.find("<table");
        EXPECT_EQ(res->body.substr(0, head), page.substr(0, head));
        EXPECT_TRUE(res->body.ends_with("</table>\n</body>\n</html>\n"));
    }
}

TEST_F(HostileFaultTest, EndlessRepeatHasNoLengthAndGoesOnUntilTheClientLeaves) {
    server.addFault({.path = kDay, .kind = FaultKind::Repeat, .times = 0});
    httplib::Headers headers;
    std::size_t received = 0;
    httplib::Client c("127.0.0.1", server.port());
    auto res = c.Get(
        kDay.c_str(),
        [&](const httplib::Response& r) {
            headers = r.headers;
            return true;
        },
        [&](const char*, std::size_t n) { return (received += n) < 30'000'000; });
    EXPECT_FALSE(res);
    EXPECT_GE(received, 30'000'000u);
    EXPECT_EQ(headers.count("Content-Length") + headers.count("Transfer-Encoding"), 0u);
}

TEST_F(HostileFaultTest, HugeCellHoldsExactlyTheBytesAsked) {
    for (const std::string& path : {kDay, kDayUtf8}) {
        SCOPED_TRACE(path);
        const auto before = tableRows(get(path)->body);
        // Not a whole number of characters in either charset: the rest is "x".
        auto res = get(path, Fault{.path = path, .kind = FaultKind::HugeCell, .bytes = 1'000'001});
        ASSERT_TRUE(res);
        auto rows = tableRows(res->body);
        ASSERT_EQ(rows.size(), before.size());
        const std::string cell = rows[1][116];
        const std::string a = path == kDay ? "\x82\xA0" : "あ";
        const std::size_t rest = cell.size() % a.size();
        EXPECT_EQ(cell.size(), 1'000'001u);
        EXPECT_EQ(countOf(cell, a), cell.size() / a.size());
        EXPECT_EQ(cell.substr(cell.size() - rest), std::string(rest, 'x'));
        rows[1][116] = before[1][116];
        EXPECT_EQ(rows, before) << "all else as usual";
    }
}

TEST_F(HostileFaultTest, TruncateAndBadEncodingLieInTheirHeadersOnly) {
    const std::string page = get(kDay)->body;
    auto truncated = get(kDay, Fault{.path = kDay, .kind = FaultKind::Truncate, .bytes = 5000});
    ASSERT_TRUE(truncated) << "the transfer itself is complete";
    EXPECT_EQ(truncated->get_header_value("Content-Length"), "5000");
    EXPECT_EQ(truncated->body, page.substr(0, 5000));
    EXPECT_EQ(truncated->body.find("</table>"), std::string::npos);

    for (const Coding coding : {Coding::Gzip, Coding::Deflate}) {
        auto res = get(kDay, Fault{.path = kDay, .kind = FaultKind::BadEncoding, .coding = coding});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->get_header_value("Content-Encoding"), codingName(coding));
        EXPECT_EQ(res->body, page);
    }
}

TEST_F(HostileFaultTest, TrickleSendsSmallPiecesWithPauses) {
    server.setPage("/trickle.html", std::string(1000, 'x'), "text/html");
    server.addFault(
        {.path = "/trickle.html", .kind = FaultKind::Trickle, .delay = 40ms, .bytes = 100});
    std::vector<Clock::time_point> arrivals;
    std::size_t total = 0;
    httplib::Client c("127.0.0.1", server.port());
    const auto asked = Clock::now();
    auto res = c.Get("/trickle.html", [&](const char*, std::size_t n) {
        arrivals.push_back(Clock::now());
        total += n;
        return true;
    });
    ASSERT_TRUE(res);
    EXPECT_EQ(total, 1000u);
    // A busy client may take several pieces in one read, even the first ones; the pauses
    // still show from the request on.
    EXPECT_GE(arrivals.size(), 3u);
    EXPECT_GE(arrivals.back() - asked, 9 * 40ms);
}

TEST(HostileFaultLifetime, StopIsPromptWhileABodyCrawls) {
    const auto crawl = [](Fault fault, std::size_t bytesPerSecond) {
        ServerOptions options = juneOptions();
        options.bytesPerSecond = bytesPerSecond;
        SampleServer server(options);
        server.start();
        server.setPage("/page.html", std::string(2'000'000, 'x'), "text/html");
        server.addFault(std::move(fault));
        auto reading = std::async(std::launch::async, [port = server.port()] {
            httplib::Client c("127.0.0.1", port);
            return c.Get("/page.html", [](const char*, std::size_t) { return true; });
        });
        while (server.bytesSent() == 0) {
            std::this_thread::sleep_for(5ms);
        }
        const auto start = Clock::now();
        server.stop();
        EXPECT_LT(Clock::now() - start, 1s);
        return reading.get();
    };
    EXPECT_FALSE(
        crawl({.path = "/page.html", .kind = FaultKind::Trickle, .delay = 5s, .bytes = 10}, 0));
    EXPECT_FALSE(crawl({.path = "/elsewhere"}, 20'000));
    // Without a length the client cannot tell the end from a stop.
    crawl({.path = "/page.html", .kind = FaultKind::Repeat, .times = 0}, 20'000);
}

}  // namespace
}  // namespace kestrova::sample
