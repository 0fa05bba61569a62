#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "export/data_download.h"
#include "export_fixture.h"

namespace kestrova::test {
namespace {

using DataDownload = ExportTest;

TEST_F(DataDownload, ProbeAndMissingFileLeaveTableAndRequestAlone) {
    server.setDataFile("TF150207.html",
                       makeFile("20150207:x", {makeRecord("2015020706010101", "1")}));
    ASSERT_TRUE(Get_TFData(*ctx, state, "TF150207.html", false).ok);
    ASSERT_EQ(state.TFDataRowCount, 1);
    ui.activity.clear();

    const TFDataResult probe = Get_TFData(*ctx, state, "TF150207.html", true);
    EXPECT_TRUE(probe.ok);
    EXPECT_EQ(probe.status, 200);
    EXPECT_EQ(probe.key, "");

    const TFDataResult missing = Get_TFData(*ctx, state, "TF150209.html", false);
    EXPECT_TRUE(missing.ok);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.key, "");

    EXPECT_TRUE(ui.activity.empty());
    EXPECT_TRUE(ui.warnings.empty());
    EXPECT_EQ(state.TFDataRowCount, 1);
    EXPECT_EQ(state.TFDataTable.cell(1, 1), "2015020706010101");
}

TEST_F(DataDownload, ReadsTheHeaderKeyAndCountsRecords) {
    server.setDataFile("TF150207.html", makeFile("  20150207  ", {}));
    const TFDataResult result = Get_TFData(*ctx, state, "TF150207.html", false);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.key, "20150207");  // no ":": the whole trimmed cell
    EXPECT_EQ(state.TFDataRowCount, 0);
    EXPECT_EQ(
        ui.activityMessages(),
        (std::vector<std::string>{"2015年02月07日 今週データを取得中...", "0件取得しました..."}));
    const std::string trace = logText();
    for (const char* step : {"Get_TFData1", "Get_TFData2", "Get_TFData3"}) {
        EXPECT_NE(trace.find(step), std::string::npos) << step;
    }
}

TEST_F(DataDownload, RefusesPagesThatAreNotTheRequestedFile) {
    struct Case {
        const char* file;
        const char* header;
    };
    for (const Case c : {Case{"TF150207.html", "2015027:x"}, Case{"TF150207.html", "../../x:y"},
                         Case{"TF1501.html", "201502:x"}, Case{"TF1501.html", "20:x"}}) {
        server.setDataFile(c.file, makeFile(c.header, {makeRecord("2015020706010101", "1")}));
        ui.warnings.clear();
        EXPECT_FALSE(Get_TFData(*ctx, state, c.file, false).ok) << c.header;
        ASSERT_EQ(ui.warnings.size(), 1u);
        EXPECT_TRUE(ui.warnings[0].starts_with("Get_TFData<<")) << ui.warnings[0];
    }

    server.addFault({.path = dataPath("TF1501.html"), .kind = sample::FaultKind::NoTables});
    EXPECT_FALSE(Get_TFData(*ctx, state, "TF1501.html", false).ok);

    EXPECT_FALSE(Get_TFData(*ctx, state, "../TF1501.html", true).ok);
    EXPECT_EQ(server.requestCount("/kestrova/TF1501.html"), 0u);
}

TEST_F(DataDownload, TableOfExactlyTenThousandRowsFitsOneMoreOverflows) {
    server.addFault({.path = dataPath("TF1501.html"),
                     .kind = sample::FaultKind::OversizedTable,
                     .rows = 10000});
    ASSERT_TRUE(Get_TFData(*ctx, state, "TF1501.html", false).ok);
    EXPECT_EQ(state.TFDataRowCount, 9999);

    server.clearFaults();
    server.addFault({.path = dataPath("TF1502.html"),
                     .kind = sample::FaultKind::OversizedTable,
                     .rows = 10001});
    EXPECT_FALSE(Get_TFData(*ctx, state, "TF1502.html", false).ok);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_NE(ui.warnings[0].find("上限"), std::string::npos) << ui.warnings[0];
}

TEST_F(DataDownload, StalledAnswerEndsAtTheReceiveTimeOut) {
    HttpOptions quick;
    quick.receiveTimeout = std::chrono::milliseconds(200);
    ctx = std::make_unique<CoreContext>(log, ui, MemberServer(server.hostPort(), "10"), quick);
    server.addFault({.path = dataPath("TF1501.html"),
                     .kind = sample::FaultKind::StallBody,
                     .delay = std::chrono::seconds(20),
                     .afterBytes = 500});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Get_TFData(*ctx, state, "TF1501.html", false).ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_TRUE(ui.warnings[0].starts_with("Get_TFData<<")) << ui.warnings[0];
}

TEST_F(DataDownload, NoAnswerIsAFailureWithStatusZero) {
    server.stop();
    const TFDataResult result = Get_TFData(*ctx, state, "TF1501.html", true);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_NE(logText().find("Get_TFData<<"), std::string::npos);
}

}  // namespace
}  // namespace kestrova::test
