#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "data_paths.h"
#include "page_text.h"
#include "sample_server.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::countOf;
using test::tableRows;

const std::string kDay = "/kestrova/tfdata2/TF250607.html";      // CP932, rows straight in <table>
const std::string kDayUtf8 = "/kestrova/tfdata2/TF250608.html";  // UTF-8, <thead> and <tbody>

ServerOptions juneOptions() {
    ServerOptions options;
    options.newestYear = 2025;
    options.newestMonth = 6;
    options.weekDays = {"20250607", "20250608"};
    return options;
}

class HostileFaultTest : public ::testing::Test {
  protected:
    void SetUp() override { server.start(); }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", server.port());
        c.set_read_timeout(10, 0);
        c.set_decompress(false);
        return c;
    }
    std::string plain(const std::string& path) {
        auto res = client().Get(path.c_str());
        return res ? res->body : "";
    }

    SampleServer server{juneOptions()};
};

TEST_F(HostileFaultTest, RepeatSendsTheWholeTableTimesOver) {
    for (const std::string& path : {kDay, kDayUtf8}) {
        SCOPED_TRACE(path);
        const std::string page = plain(path);
        const std::size_t rows = tableRows(page).size();
        server.addFault({.path = path, .kind = FaultKind::Repeat, .times = 3});
        auto res = client().Get(path.c_str());
        server.clearFaults();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()));
        EXPECT_EQ(countOf(res->body, "<table"), 3u);
        EXPECT_EQ(countOf(res->body, "</table>"), 3u);
        const auto got = tableRows(res->body);
        ASSERT_EQ(got.size(), 3 * rows);
        for (std::size_t t = 0; t < 3; ++t) {
            EXPECT_TRUE(got[t * rows][0].starts_with(path == kDay ? "20250607:" : "20250608:"));
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
    std::string start;
    std::size_t received = 0;
    auto res = client().Get(
        kDay.c_str(),
        [&](const httplib::Response& r) {
            headers = r.headers;
            return true;
        },
        [&](const char* data, std::size_t n) {
            if (start.size() < 100'000) {
                start.append(data, n);
            }
            received += n;
            return received < 30'000'000;
        });
    EXPECT_FALSE(res);
    EXPECT_GE(received, 30'000'000u);
    EXPECT_EQ(headers.count("Content-Length"), 0u);
    EXPECT_EQ(headers.count("Transfer-Encoding"), 0u);
    EXPECT_TRUE(start.starts_with("<!DOCTYPE"));
}

TEST_F(HostileFaultTest, HugeCellHoldsExactlyTheBytesAsked) {
    for (const std::string& path : {kDay, kDayUtf8}) {
        SCOPED_TRACE(path);
        const auto before = tableRows(plain(path));
        // Not a whole number of characters in either charset: the rest is "x".
        server.addFault({.path = path, .kind = FaultKind::HugeCell, .bytes = 1'000'001});
        auto res = client().Get(path.c_str());
        server.clearFaults();
        ASSERT_TRUE(res);
        const auto rows = tableRows(res->body);
        ASSERT_EQ(rows.size(), before.size());
        ASSERT_EQ(rows[1].size(), kColumns);
        const std::string& cell = rows[1][116];
        EXPECT_EQ(cell.size(), 1'000'001u);
        const std::string a = path == kDay ? "\x82\xA0" : "あ";
        const std::size_t rest = cell.size() % a.size();
        EXPECT_EQ(countOf(cell, a), cell.size() / a.size());
        EXPECT_EQ(cell.substr(cell.size() - rest), std::string(rest, 'x'));
        for (std::size_t c = 0; c < kColumns; ++c) {
            if (c != 116) {
                EXPECT_EQ(rows[1][c], before[1][c]) << c;
            }
        }
        EXPECT_EQ(rows[2], before[2]);
    }
}

TEST_F(HostileFaultTest, TruncateEndsAFinishedAnswerBeforeTheTableCloses) {
    const std::string page = plain(kDay);
    server.addFault({.path = kDay, .kind = FaultKind::Truncate, .bytes = 5000});
    auto res = client().Get(kDay.c_str());
    ASSERT_TRUE(res) << "the transfer itself is complete";
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Length"), "5000");
    EXPECT_EQ(res->body, page.substr(0, 5000));
    EXPECT_EQ(res->body.find("</table>"), std::string::npos);
}

TEST_F(HostileFaultTest, TrickleSendsSmallPiecesWithPauses) {
    server.setPage("/trickle.html", std::string(1000, 'x'), "text/html");
    server.addFault(
        {.path = "/trickle.html", .kind = FaultKind::Trickle, .delay = 40ms, .bytes = 100});
    std::vector<std::pair<Clock::time_point, std::size_t>> pieces;
    auto res = client().Get("/trickle.html", [&](const char*, std::size_t n) {
        pieces.emplace_back(Clock::now(), n);
        return true;
    });
    ASSERT_TRUE(res);
    std::size_t total = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_LE(pieces[i].second, 100u);
        total += pieces[i].second;
    }
    EXPECT_EQ(total, 1000u);
    EXPECT_GE(pieces.size(), 5u);
    EXPECT_GE(pieces.back().first - pieces.front().first, 9 * 40ms);
}

TEST_F(HostileFaultTest, BadEncodingClaimsACodingButSendsPlainBytes) {
    const std::string page = plain(kDay);
    for (const Coding coding : {Coding::Gzip, Coding::Deflate}) {
        server.addFault({.path = kDay, .kind = FaultKind::BadEncoding, .coding = coding});
        auto res = client().Get(kDay.c_str());
        server.clearFaults();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->get_header_value("Content-Encoding"), codingName(coding));
        EXPECT_EQ(res->body, page);
    }
}

TEST(HostileFaultLifetime, StopIsPromptWhileABodyCrawls) {
    const auto crawl = [](Fault fault, ServerOptions options) {
        SampleServer server(options);
        server.start();
        server.setPage("/page.html", std::string(2'000'000, 'x'), "text/html");
        server.addFault(std::move(fault));
        auto reading = std::async(std::launch::async, [port = server.port()] {
            httplib::Client c("127.0.0.1", port);
            c.set_read_timeout(30, 0);
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
    const Fault none{.path = "/elsewhere"};
    ServerOptions slowLink = juneOptions();
    slowLink.bytesPerSecond = 20'000;
    EXPECT_FALSE(crawl({.path = "/page.html", .kind = FaultKind::Trickle, .delay = 5s, .bytes = 10},
                       juneOptions()));
    EXPECT_FALSE(crawl(none, slowLink));
    // Without a length the client cannot tell the end from a stop.
    crawl({.path = "/page.html", .kind = FaultKind::Repeat, .times = 0}, slowLink);
}

}  // namespace
}  // namespace kestrova::sample
