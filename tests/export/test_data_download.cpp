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
    std::string request = "TF150207.html";
    std::int32_t status = -1;
    ASSERT_TRUE(Get_TFData(*ctx, state, request, status, false));
    ASSERT_EQ(state.TFDataRowCount, 1);
    ui.activity.clear();

    std::string probe = "TF150207.html";
    EXPECT_TRUE(Get_TFData(*ctx, state, probe, status, true));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(probe, "TF150207.html");

    std::string missing = "TF150209.html";
    EXPECT_TRUE(Get_TFData(*ctx, state, missing, status, false));
    EXPECT_EQ(status, 404);
    EXPECT_EQ(missing, "TF150209.html");

    EXPECT_TRUE(ui.activity.empty());
    EXPECT_TRUE(ui.warnings.empty());
    EXPECT_EQ(state.TFDataRowCount, 1);
    EXPECT_EQ(state.TFDataTable.cell(1, 1), "2015020706010101");
}

TEST_F(DataDownload, ReadsTheHeaderKeyAndCountsRecords) {
    server.setDataFile("TF150207.html", makeFile("  20150207  ", {}));
    std::string request = "TF150207.html";
    std::int32_t status = 0;
    state.ThisWeekMode = 1;
    ASSERT_TRUE(Get_TFData(*ctx, state, request, status, false));
    EXPECT_EQ(request, "20150207");  // no ":": the whole trimmed cell
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
        std::string request = c.file;
        std::int32_t status = 0;
        ui.warnings.clear();
        EXPECT_FALSE(Get_TFData(*ctx, state, request, status, false)) << c.header;
        ASSERT_EQ(ui.warnings.size(), 1u);
        EXPECT_TRUE(ui.warnings[0].starts_with("Get_TFData<<")) << ui.warnings[0];
    }

    server.addFault({.path = dataPath("TF1501.html"), .kind = sample::FaultKind::NoTables});
    std::string request = "TF1501.html";
    std::int32_t status = 0;
    EXPECT_FALSE(Get_TFData(*ctx, state, request, status, false));

    std::string badName = "../TF1501.html";
    EXPECT_FALSE(Get_TFData(*ctx, state, badName, status, true));
    EXPECT_EQ(server.requestCount("/kestrova/TF1501.html"), 0u);
}

TEST_F(DataDownload, TableOfExactlyTenThousandRowsFitsOneMoreOverflows) {
    server.addFault({.path = dataPath("TF1501.html"),
                     .kind = sample::FaultKind::OversizedTable,
                     .rows = 10000});
    std::string request = "TF1501.html";
    std::int32_t status = 0;
    ASSERT_TRUE(Get_TFData(*ctx, state, request, status, false));
    EXPECT_EQ(state.TFDataRowCount, 9999);

    server.clearFaults();
    server.addFault({.path = dataPath("TF1502.html"),
                     .kind = sample::FaultKind::OversizedTable,
                     .rows = 10001});
    request = "TF1502.html";
    EXPECT_FALSE(Get_TFData(*ctx, state, request, status, false));
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_NE(ui.warnings[0].find("上限"), std::string::npos) << ui.warnings[0];
}

TEST_F(DataDownload, StalledAnswerEndsAtTheReceiveTimeOut) {
    HttpOptions quick;
    quick.receiveTimeout = std::chrono::milliseconds(200);
    ctx = std::make_unique<CoreContext>(log, ui, MemberServer(server.hostPort(), "10"), quick);
    server.addFault({.path = dataPath("TF1501.html"),
                     .kind = sample::FaultKind::StallBody,
                     .delay = std::chrono::milliseconds(1500),
                     .afterBytes = 500});
    std::string request = "TF1501.html";
    std::int32_t status = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Get_TFData(*ctx, state, request, status, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_TRUE(ui.warnings[0].starts_with("Get_TFData<<")) << ui.warnings[0];
}

TEST_F(DataDownload, NoAnswerIsAFailureWithStatusZero) {
    server.stop();
    std::string request = "TF1501.html";
    std::int32_t status = 7;
    EXPECT_FALSE(Get_TFData(*ctx, state, request, status, true));
    EXPECT_EQ(status, 0);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_NE(logText().find("Get_TFData<<"), std::string::npos);
}

}  // namespace
}  // namespace kestrova::test
