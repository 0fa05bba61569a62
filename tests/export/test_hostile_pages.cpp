#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expected_files.h"
#include "export/data_download.h"
#include "export/export_run.h"
#include "export_fixture.h"

namespace kestrova::test {
namespace {

/// Pages a server may send that are not what was asked for, or not whole: each must end in
/// a download failure or be read as exactly the data file, never as something else.
class HostilePage : public ExportTest {
  protected:
    void serve(const std::string& fileName, std::string html) {
        server.setPage(dataPath(fileName), std::move(html), "text/html; charset=UTF-8");
    }

    static std::string page(const sample::DataFile& file) {
        return sample::renderDataPage(file, sample::Charset::Utf8);
    }

    /// The rows of the one table of `page`, without the markup around them.
    static std::string tableOf(const std::string& page) {
        const auto begin = page.find("<table");
        const auto end = page.find("</table>") + 8;
        return page.substr(begin, end - begin);
    }

    /// A day file of 2015-02-07 with two records.
    static sample::DataFile weekDay(std::string header = "20150207:今週") {
        return makeFile(std::move(header), {makeRecord("2015020706010101", "01"),
                                            makeRecord("2015020706010102", "02")});
    }

    std::string failure() const { return ui.warnings.empty() ? "" : ui.warnings.front(); }

    static ExportSelection indexOnly(ExportSelection selection) {
        selection.indexCodes = {"010"};
        return selection;
    }
};

TEST_F(HostilePage, ADayFileOfAnotherDayIsNotTheDayAskedFor) {
    for (const char* header : {"20150208:翌日", "20200207:別の年", "201502:月"}) {
        server.setDataFile("TF150207.html", weekDay(header));
        ui = RecordingUi();
        EXPECT_FALSE(Get_TFData(*ctx, state, "TF150207.html", false).ok) << header;
        EXPECT_NE(failure().find("が要求したファイルと合いません"), std::string::npos) << failure();
    }
    EXPECT_EQ(run(indexOnly(weekSelection({"TF150207.html"}))).outcome, ExportOutcome::Aborted);
    EXPECT_TRUE(hostFiles().empty());
}

TEST_F(HostilePage, TheFirstTableWhoseHeaderFitsIsTheDataOthersAreLeftOut) {
    const std::string data = tableOf(page(weekDay()));
    const std::string menu = "<table><tr><td>メニュー</td><td>x</td></tr></table>";
    // A second table with another key after the data: without the rule it wrote 2020's files.
    const std::string other =
        tableOf(page(makeFile("20200101:x", {makeRecord("2020010106010101", "01")})));
    serve("TF150207.html", "<html><body>" + menu + data + other + data + "</body></html>");

    const TFDataResult result = Get_TFData(*ctx, state, "TF150207.html", false);
    ASSERT_TRUE(result.ok) << failure();
    EXPECT_EQ(result.key, "20150207");
    EXPECT_EQ(state.TFDataRowCount, 2);  // not the rows of the other tables
    EXPECT_EQ(state.TFDataTable.cell(2, 1), "2015020706010102");
    EXPECT_EQ(state.TFDataTable.cell(3, 0), "");

    ASSERT_EQ(run(indexOnly(weekSelection({"TF150207.html"}))).outcome, ExportOutcome::Finished);
    EXPECT_EQ(hostFiles().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(host / "KSTR_DATA" / "2020"));
}

TEST_F(HostilePage, APageThatEndsBeforeItsTableClosesIsNotWhole) {
    const std::string whole = page(weekDay());
    // As a server sends it with a Content-Length that is too short: complete, but cut.
    for (const std::string& cut :
         {whole.substr(0, whole.find("</table>")), whole.substr(0, whole.rfind("<tr>") + 20)}) {
        serve("TF150207.html", cut);
        ui = RecordingUi();
        EXPECT_FALSE(Get_TFData(*ctx, state, "TF150207.html", false).ok);
        EXPECT_NE(failure().find("データファイルが途中で終わっています"), std::string::npos)
            << failure();
    }
    // Whole, the same page reads.
    serve("TF150207.html", whole);
    EXPECT_TRUE(Get_TFData(*ctx, state, "TF150207.html", false).ok);
}

TEST_F(HostilePage, RecordsOfAnotherMonthInAMonthFileAreSkippedAndCounted) {
    server.setDataFile("TF1501.html", makeFile("201501:x", {makeRecord("2015010406010101", "01"),
                                                            makeRecord("2020010406010101", "01"),
                                                            makeRecord("2015020106010101", "01")}));
    server.removeDataFile("TF1502.html");
    EXPECT_EQ(run(indexOnly(pastSelection("15"))).outcome, ExportOutcome::Finished);
    EXPECT_EQ(ui.activityMessages().at(3),
              "レースキー・日付・値が正しくないデータ 2件を読み飛ばしました...");
    const auto files = hostFiles();
    EXPECT_EQ(files.size(), 1u);
    EXPECT_TRUE(files.contains("KSTR_DATA/2015/KSTR010_150104.CSV"));
}

TEST_F(HostilePage, CellsCannotForgeLinesFieldsOrCells) {
    sample::Record forged = makeRecord("2015020706010103", "01,0.0,0.0<br>201502070601010399");
    std::string html = page(makeFile("20150207:今週", {makeRecord("2015020706010101", "01"), forged,
                                                       makeRecord("2015020706010102", "02")}));
    // The reader's own cell separator written as a character reference.
    const std::string marker = "63.02";
    html.replace(html.find(marker), marker.size(), "63&#xFDD0;02");
    serve("TF150207.html", html);

    ExportSelection selection = indexOnly(weekSelection({"TF150207.html"}));
    selection.commentEntries[0] = true;
    ASSERT_EQ(run(selection).outcome, ExportOutcome::Finished);

    const auto files = hostFiles();
    EXPECT_EQ(files.at("KSTR_DATA/2015/KSTR010_150207.CSV"),
              // U+FFFD, which CP932 lacks, in place of the separator.
              "201502070601010101,63.01,70.01\r\n201502070601010202,63?02,70.02\r\n");
    EXPECT_EQ(iconvFromCp932(files.at("MY_DATA/YOS_COM/2015/YC061511.DAT")),
              "0615110101,__ \r\n0615110202,__ \r\n");
    const auto messages = ui.activityMessages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "レースキー・日付・値が正しくないデータ 1件を読み飛ばしました..."),
              messages.end());
}

TEST_F(HostilePage, EndlessOrSwollenBodiesEndAtTheirLimitNotInMemory) {
    // A day file whose table repeats until the client leaves, one with a huge cell, and one
    // that is cut short but announced as whole.
    const std::vector<sample::Fault> faults = {
        {.path = dataPath("TF150207.html"), .kind = sample::FaultKind::Repeat, .times = 0},
        {.path = dataPath("TF150207.html"),
         .kind = sample::FaultKind::HugeCell,
         .bytes = std::size_t{200} << 20},
        {.path = dataPath("TF150207.html"), .kind = sample::FaultKind::Truncate, .bytes = 3000},
    };
    const std::vector<std::string> reasons = {"データファイルが大きすぎます（上限 64 MB）",
                                              "ページに閉じられないタグか長すぎる文字列があります",
                                              // compressed or not, the cut is found
                                              "途中で"};
    for (std::size_t i = 0; i < faults.size(); ++i) {
        server.clearFaults();
        server.addFault(faults[i]);
        ui = RecordingUi();
        const auto before = server.bytesSent();
        EXPECT_EQ(run(indexOnly(weekSelection({"TF150207.html"}))).outcome, ExportOutcome::Aborted);
        EXPECT_NE(failure().find(reasons[i]), std::string::npos) << failure();
        // The client stopped reading soon after the limit.
        EXPECT_LT(server.bytesSent() - before, std::uint64_t{80} << 20) << reasons[i];
        EXPECT_TRUE(hostFiles().empty());
    }
}

TEST_F(HostilePage, ATransferThatCrawlsEndsAsATimeOut) {
    HttpOptions options;
    options.lowSpeedBytesPerSecond = 1000;
    options.lowSpeedTime = std::chrono::seconds(1);
    ctx = std::make_unique<CoreContext>(log, ui, MemberServer(server.hostPort(), "10"), options);
    // Ten bytes every 50 ms: never idle long enough for the receive time-out, and never done.
    server.addFault({.path = dataPath("TF150207.html"),
                     .kind = sample::FaultKind::Trickle,
                     .delay = std::chrono::milliseconds(50),
                     .bytes = 10});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Get_TFData(*ctx, state, "TF150207.html", false).ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(failure().find("要求がタイムアウトしました。"), std::string::npos) << failure();
}

}  // namespace
}  // namespace kestrova::test
