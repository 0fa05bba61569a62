#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "data_paths.h"
#include "june_week.h"
#include "page_text.h"
#include "sample_server.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;
using test::tableRows;

const std::string kData = "/kestrova/tfdata2/";

class SampleServerTest : public ::testing::Test {
  protected:
    void SetUp() override { server.start(); }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", server.port());
        c.set_read_timeout(10, 0);
        return c;
    }
    int status(const std::string& path) {
        auto res = client().Get(path.c_str());
        return res ? res->status : -1;
    }

    SampleServer server{juneOptions()};
};

TEST_F(SampleServerTest, VersionPageOffersNoUpdate) {
    auto res = client().Get("/kestrova/verchk/mst/KestrovaVerMN.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    const auto rows = tableRows(res->body);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().size(), 6u);
    EXPECT_EQ(rows.back()[0], "Kestrova");
    EXPECT_EQ(rows.back()[1], "1.0.2");
    EXPECT_EQ(rows.back()[2], "2015100201");
}

TEST_F(SampleServerTest, MasterPageMapsKeyTwoToZero) {
    auto res = client().Get("/kestrova/data/MAST.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    std::string value;
    for (const auto& row : tableRows(res->body)) {
        if (row.size() >= 2 && row[0] == "2") {
            value = row[1];
            break;
        }
    }
    EXPECT_EQ(value, "0");
}

TEST_F(SampleServerTest, ServesMonthsFrom2010UpToTheNewest) {
    EXPECT_EQ(status(kData + "TF1001.html"), 200);
    EXPECT_EQ(status(kData + "TF2506.html"), 200);
    EXPECT_EQ(status(kData + "TF2507.html"), 404);
    EXPECT_EQ(status(kData + "TF0912.html"), 404);
    EXPECT_EQ(status(kData + "TF2513.html"), 404);
    EXPECT_EQ(status(kData + "tf2501.html"), 404);
    EXPECT_EQ(status("/kestrova/nothing.html"), 404);
}

TEST_F(SampleServerTest, ServesOnlyTheWeekDays) {
    EXPECT_EQ(status(kData + "TF250607.html"), 200);
    EXPECT_EQ(status(kData + "TF250608.html"), 200);
    EXPECT_EQ(status(kData + "TF250609.html"), 404);
    EXPECT_EQ(status(kData + "TF250614.html"), 404);
}

TEST_F(SampleServerTest, DataPagesCarryTheGeneratedRecordsInTheirCharset) {
    int utf8 = 0, cp932 = 0, withType = 0, withoutType = 0;
    for (int month = 1; month <= 6; ++month) {
        char name[16];
        std::snprintf(name, sizeof name, "TF25%02d.html", month);
        SCOPED_TRACE(name);
        auto res = client().Get((kData + name).c_str());
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200);
        const PageStyle style = styleOf(*parseDataFileName(name));
        EXPECT_EQ(res->body, renderMonthPage(2025, month, 1, style.charset, style.layout));
        const bool metaUtf8 = res->body.find("<meta charset=\"UTF-8\">") != std::string::npos;
        const bool metaSjis = res->body.find("charset=Shift_JIS\">") != std::string::npos;
        EXPECT_NE(metaUtf8, metaSjis);
        (metaUtf8 ? utf8 : cp932)++;
        if (res->has_header("Content-Type")) {
            ++withType;
            EXPECT_EQ(res->get_header_value("Content-Type"),
                      metaUtf8 ? "text/html; charset=UTF-8" : "text/html; charset=Shift_JIS");
        } else {
            ++withoutType;
        }
    }
    EXPECT_GT(utf8, 0);
    EXPECT_GT(cp932, 0);
    EXPECT_GT(withType, 0);
    EXPECT_GT(withoutType, 0);
}

TEST_F(SampleServerTest, DayPageHeaderNamesTheDay) {
    auto res = client().Get((kData + "TF250607.html").c_str());
    ASSERT_TRUE(res);
    const bool utf8 = res->body.find("<meta charset=\"UTF-8\">") != std::string::npos;
    const auto rows = tableRows(utf8 ? res->body : test::cp932ToUtf8(res->body));
    ASSERT_GT(rows.size(), 100u);
    EXPECT_TRUE(rows[0][0].starts_with("20250607:"));
    EXPECT_TRUE(rows[1][1].starts_with("20250607"));
}

TEST_F(SampleServerTest, OverridesReplaceGeneratedAnswers) {
    DataFile file{"202501:差し替え", {}};
    Record r;
    r.cells[0] = "x";
    r.cells[1] = "2025010506010101";
    file.records.push_back(r);
    server.setDataFile("TF2501.html", file, Charset::Utf8);
    server.setDataFile("TF250610.html", file);
    server.removeDataFile("TF2502.html");
    server.setPage("/kestrova/data/MAST.html", "<table><tr><td>2</td><td>1</td></tr></table>", "");

    auto res = client().Get((kData + "TF2501.html").c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=UTF-8");
    EXPECT_EQ(tableRows(res->body).size(), 2u);
    EXPECT_EQ(status(kData + "TF250610.html"), 200) << "an added file needs no week day";
    EXPECT_EQ(status(kData + "TF2502.html"), 404);

    auto mast = client().Get("/kestrova/data/MAST.html");
    ASSERT_TRUE(mast);
    EXPECT_EQ(mast->body, "<table><tr><td>2</td><td>1</td></tr></table>");
    EXPECT_FALSE(mast->has_header("Content-Type")) << "an empty type sends no header";
}

TEST_F(SampleServerTest, PreparedFilesAnswerPostsOnly) {
    auto res = client().Post("/kestrova/data3/info.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("お知らせ"), std::string::npos);
    auto schedule = client().Post("/kestrova/data3/schedule.txt");
    ASSERT_TRUE(schedule);
    EXPECT_EQ(schedule->body, "20250607\r\n20250608\r\n");
    auto missing = client().Post("/kestrova/data3/missing.txt");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(status("/kestrova/data3/info.txt"), 404);
}

TEST_F(SampleServerTest, ExplainDocumentIsAPdf) {
    auto res = client().Get("/kestrova/monitor/data_explain.pdf");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/pdf");
    EXPECT_TRUE(res->body.starts_with("%PDF-"));
}

TEST_F(SampleServerTest, CountsRequestsPerPath) {
    EXPECT_EQ(server.requestCount("/kestrova/data/MAST.html"), 0u);
    status("/kestrova/data/MAST.html");
    status("/kestrova/data/MAST.html");
    status(kData + "TF3001.html");
    EXPECT_EQ(server.requestCount("/kestrova/data/MAST.html"), 2u);
    EXPECT_EQ(server.requestCount(kData + "TF3001.html"), 1u);
}

TEST_F(SampleServerTest, StatusAndPageFaults) {
    server.addFault({.path = kData + "TF2503.html", .kind = FaultKind::Status, .status = 503});
    server.addFault({.path = "/kestrova/data/MAST.html", .kind = FaultKind::NoTables});
    server.addFault(
        {.path = kData + "TF2504.html", .kind = FaultKind::OversizedTable, .rows = 10001});

    auto unavailable = client().Get((kData + "TF2503.html").c_str());
    ASSERT_TRUE(unavailable);
    EXPECT_EQ(unavailable->status, 503);
    EXPECT_EQ(unavailable->body.find("<table"), std::string::npos);

    auto noTables = client().Get("/kestrova/data/MAST.html");
    ASSERT_TRUE(noTables);
    EXPECT_EQ(noTables->status, 200);
    EXPECT_EQ(noTables->body.find("<table"), std::string::npos);

    auto oversized = client().Get((kData + "TF2504.html").c_str());
    ASSERT_TRUE(oversized);
    const auto rows = tableRows(oversized->body);
    ASSERT_EQ(rows.size(), 10001u);
    EXPECT_TRUE(rows[0][0].starts_with("202504:"));

    server.clearFaults();
    EXPECT_EQ(status(kData + "TF2503.html"), 200);
}

TEST_F(SampleServerTest, SlowFaultDelaysTheAnswer) {
    server.addFault({.path = "/kestrova/data/MAST.html", .kind = FaultKind::Slow, .delay = 300ms});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(status("/kestrova/data/MAST.html"), 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
}

TEST_F(SampleServerTest, CutBodyEndsTheConnectionEarly) {
    server.addFault(
        {.path = kData + "TF2505.html", .kind = FaultKind::CutBody, .afterBytes = 5000});
    std::size_t received = 0;
    auto res = client().Get((kData + "TF2505.html").c_str(), [&](const char*, std::size_t n) {
        received += n;
        return true;
    });
    EXPECT_FALSE(res);
    EXPECT_EQ(res.error(), httplib::Error::Read);
    EXPECT_EQ(received, 5000u);

    // Even an empty answer is announced longer than it is.
    server.setPage("/kestrova/data3/empty.txt", "", "text/plain");
    server.addFault({.path = "/kestrova/data3/empty.txt", .kind = FaultKind::CutBody});
    EXPECT_FALSE(client().Post("/kestrova/data3/empty.txt"));
}

TEST_F(SampleServerTest, StalledBodyTripsAClientTimeout) {
    server.addFault({.path = kData + "TF2505.html",
                     .kind = FaultKind::StallBody,
                     .delay = 30s,
                     .afterBytes = 1000});
    auto c = client();
    c.set_read_timeout(0, 300000);
    std::size_t received = 0;
    auto res = c.Get((kData + "TF2505.html").c_str(), [&](const char*, std::size_t n) {
        received += n;
        return true;
    });
    EXPECT_FALSE(res);
    EXPECT_EQ(received, 1000u);
}

TEST(SampleServerLifetime, StopsPromptlyWhileAFaultSleeps) {
    SampleServer server(juneOptions());
    server.start();
    server.addFault({.path = "/kestrova/data/MAST.html", .kind = FaultKind::Slow, .delay = 60s});
    auto waiting = std::async(std::launch::async, [port = server.port()] {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(90, 0);
        return c.Get("/kestrova/data/MAST.html");
    });
    while (server.requestCount("/kestrova/data/MAST.html") == 0) {
        std::this_thread::sleep_for(5ms);
    }
    const auto start = std::chrono::steady_clock::now();
    server.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    auto res = waiting.get();
    EXPECT_TRUE(!res || res->status != 200);
}

TEST(SampleServerLifetime, ClosesEachConnectionSoStopNeverWaitsForIdleClients) {
    SampleServer server(juneOptions());
    server.start();
    httplib::Client c("127.0.0.1", server.port());
    c.set_keep_alive(true);
    auto res = c.Get("/kestrova/data/MAST.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Connection"), "close");
}

TEST(SampleServerLifetime, PicksFreePortsAndRefusesATakenOne) {
    SampleServer first(juneOptions());
    first.start();
    SampleServer second(juneOptions());
    second.start();
    EXPECT_GT(first.port(), 0);
    EXPECT_NE(first.port(), second.port());
    EXPECT_EQ(first.hostPort(), "127.0.0.1:" + std::to_string(first.port()));

    ServerOptions taken = juneOptions();
    taken.port = first.port();
    SampleServer third(taken);
    EXPECT_THROW(third.start(), std::runtime_error);
}

TEST(SampleServerLifetime, DefaultsToLastMonthAndThisWeek) {
    SampleServer server;
    server.start();
    httplib::Client c("127.0.0.1", server.port());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int year = local.tm_year + 1900, month = local.tm_mon + 1;
    const int lastYear = month == 1 ? year - 1 : year, lastMonth = month == 1 ? 12 : month - 1;
    char last[32], current[32];
    std::snprintf(last, sizeof last, "TF%02d%02d.html", lastYear % 100, lastMonth);
    std::snprintf(current, sizeof current, "TF%02d%02d.html", year % 100, month);
    auto lastRes = c.Get((kData + last).c_str());
    auto currentRes = c.Get((kData + current).c_str());
    ASSERT_TRUE(lastRes && currentRes);
    EXPECT_EQ(lastRes->status, 200);
    EXPECT_EQ(currentRes->status, 404);
}

TEST(SampleServerThreads, OverridesWhileServing) {
    SampleServer server(juneOptions());
    server.start();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 5000 && !done; ++i) {
            server.setPage(
                "/kestrova/data/MAST.html",
                "<table><tr><td>2</td><td>" + std::to_string(i % 2) + "</td></tr></table>",
                "text/html");
            server.addFault({.path = "/x" + std::to_string(i), .kind = FaultKind::NoTables});
        }
    });
    httplib::Client c("127.0.0.1", server.port());
    for (int i = 0; i < 50; ++i) {
        auto res = c.Get("/kestrova/data/MAST.html");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
    }
    done = true;
    writer.join();
}

}  // namespace
}  // namespace kestrova::sample
