#include <array>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expected_files.h"
#include "export/export_run.h"
#include "export_fixture.h"
#include "golden_data.h"

namespace kestrova::test {
namespace {

constexpr std::array<bool, 10> kAllComments = {true, true, true, true, true,
                                               true, true, true, true, true};

class GoldenExport : public ExportTest {
  protected:
    GoldenExport() {
        server.setDataFile("TF1501.html", goldenJanuary(), sample::Charset::Cp932);
        server.setDataFile("TF1502.html", goldenFebruary(), sample::Charset::Utf8);
        server.setDataFile("TF150207.html", goldenWeekDay(), sample::Charset::Cp932);
    }

    /// Adds the files and activity lines of one day group.
    void expectGroup(const sample::DataFile& file, const std::string& dayKey,
                     const ExportSelection& selection) {
        const ExpectedDay day =
            expectDay(file.records, dayKey, selection.commentEntries, selection.indexCodes);
        for (const auto& [path, bytes] : day.files) {
            files[path] = bytes;
        }
        bool prediction = false;
        bool result = false;
        for (std::size_t k = 0; k < 10; ++k) {
            (k % 2 == 0 ? prediction : result) |= selection.commentEntries[k];
        }
        if (prediction) {
            lines.push_back("予想コメント " + std::to_string(day.predictionLines) +
                            "件出力しました...");
        }
        if (result) {
            lines.push_back("結果コメント " + std::to_string(day.resultLines) +
                            "件出力しました...");
        }
        if (day.indexLines != 0) {
            lines.push_back("選択データ（指数） " + std::to_string(day.indexLines) +
                            "件出力しました...");
        }
    }

    std::map<std::string, std::string> files;
    std::vector<std::string> lines;
};

TEST_F(GoldenExport, PastDataWritesEveryFileByteForByteUntilTheFirstMissingMonth) {
    ExportSelection selection = pastSelection("15");
    selection.commentEntries = kAllComments;
    selection.indexCodes = {"470", "010", "250"};

    lines = {"出力処理を開始しました。", "2015年01月 蓄積データを取得中...", "12件取得しました..."};
    const auto january = goldenJanuary();
    expectGroup(january, "20150104", selection);
    expectGroup(january, "20150105", selection);
    lines.insert(lines.end(), {"2015年02月 蓄積データを取得中...", "5件取得しました...",
                               "レースキー・日付・値が正しくないデータ 1件を読み飛ばしました..."});
    const auto february = goldenFebruary();
    expectGroup(february, "20150201", selection);
    expectGroup(february, "20150208", selection);
    expectGroup(february, "20150201", selection);
    lines.push_back("2015年02月分までの蓄積データを出力しました。");
    lines.push_back("出力処理を終了しました。");

    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);

    EXPECT_EQ(ui.activityMessages(), lines);
    EXPECT_EQ(ui.clears, 1);
    EXPECT_TRUE(ui.warnings.empty());
    EXPECT_TRUE(ui.infos.empty());
    // Three venues on the 4th give three files per comment folder.
    EXPECT_TRUE(files.contains("MY_DATA/YOS_COM/2015/YC06155C.DAT"));
    EXPECT_TRUE(files.contains("MY_DATA/KEK_COM/2015/KC08151A.DAT"));
    EXPECT_TRUE(files.contains("MY_DATA/KEK_COM/2015/KC071523.DAT"));
    const auto written = hostFiles();
    EXPECT_EQ(written.size(), files.size());
    for (const auto& [path, bytes] : files) {
        auto it = written.find(path);
        ASSERT_NE(it, written.end()) << path;
        EXPECT_EQ(it->second, bytes) << path;
    }
    for (const auto& [path, bytes] : written) {
        EXPECT_TRUE(files.contains(path)) << "unexpected " << path;
    }

    // Years before the start are skipped without a request; the pass ends at March.
    EXPECT_EQ(server.requestCount(dataPath("TF1412.html")), 0u);
    EXPECT_EQ(server.requestCount(dataPath("TF1503.html")), 1u);
    EXPECT_EQ(server.requestCount(dataPath("TF1504.html")), 0u);
    EXPECT_EQ(result.filesFailed, 0);
    // "𠮷" is not in CP932: written as "?" and logged.
    EXPECT_NE(iconvFromCp932(logText()).find("CP932 で表せない文字が 1 個"), std::string::npos);
}

TEST_F(GoldenExport, SpotChecksOfTheLineLayout) {
    ExportSelection selection = pastSelection("15");
    selection.commentEntries = kAllComments;
    selection.indexCodes = {"010"};
    ASSERT_EQ(run(selection).outcome, ExportOutcome::Finished);
    const auto written = hostFiles();

    EXPECT_EQ(iconvFromCp932(written.at("MY_DATA/YOS_COM/2015/YC06155C.DAT")),
              "06155C0101,◎ 激 ○ VJ  \r\n"
              "06155C0102,__ ___ __ __  \r\n"
              "06155C0201,▲ ___ 極 __  \r\n");
    EXPECT_EQ(iconvFromCp932(written.at("MY_DATA/KEK_COM/2015/KC06155D.DAT")),
              "06155D0101,__ ___ __ __ ノーザンファーム天栄(A)18/12/01 \r\n"
              "06155D0102,__ ___ __ __ 山元トレセン15/01/10 \r\n"
              "06155D0103,__ ___ __ __ 天栄）(B) \r\n"
              "06155D0104,__ ___ __ __  \r\n"
              "06155D0201,__ ___ __ __  \r\n"
              "06155D0202,__ ___ __ __ ○○ファーム15/01/1 \r\n");
    // The record with "1,5" would have written a line of four fields: it is left out.
    EXPECT_EQ(written.at("KSTR_DATA/2015/KSTR010_150201.CSV"),
              "201502010501010102,63.02,70.02\r\n"
              "201502010901010105,63.05,70.05\r\n");
    EXPECT_EQ(iconvFromCp932(written.at("MY_DATA/YOS_COM/2015/YC051511.DAT")),
              "0515110102,__ ___ __ __ ?田ファーム(S)15/01/20 \r\n");
}

TEST_F(GoldenExport, ThisWeekWithOnlyPredictionCommentsWritesNoResultOrIndexFiles) {
    ExportSelection selection = weekSelection({"TF150207.html"});
    for (std::size_t k = 0; k < 10; k += 2) {
        selection.commentEntries[k] = true;
    }
    lines = {"出力処理を開始しました。", "2015年02月07日 今週データを取得中...",
             "2件取得しました..."};
    expectGroup(goldenWeekDay(), "20150207", selection);
    lines.push_back("出力処理を終了しました。");

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Finished);

    EXPECT_EQ(ui.activityMessages(), lines);
    EXPECT_EQ(hostFiles(), files);
    EXPECT_FALSE(std::filesystem::exists(host / "MY_DATA" / "KEK_COM" / "2015"));
    EXPECT_FALSE(std::filesystem::exists(host / "KSTR_DATA"));
}

TEST_F(GoldenExport, DayWithoutValidRecordsKeepsItsFilesAndSaysSo) {
    // Header only on the 8th; on the 14th every record is unusable.
    server.setDataFile("TF150208.html", makeFile("20150208:今週", {}), sample::Charset::Utf8);
    server.setDataFile("TF150214.html",
                       makeFile("20150214:今週", {makeRecord("2015021306010101", "01"),
                                                  makeRecord("20150214xx010101", "02")}));
    std::filesystem::create_directories(host / "KSTR_DATA" / "2015");
    writeFile(host / "KSTR_DATA" / "2015" / "KSTR010_150208.CSV", "good\r\n");
    ExportSelection selection = weekSelection({"TF150208.html", "TF150214.html"});
    selection.commentEntries[1] = true;
    selection.commentEntries[8] = true;
    selection.indexCodes = {"010", "470"};

    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);

    EXPECT_EQ(ui.activityMessages(),
              (std::vector<std::string>{
                  "出力処理を開始しました。", "2015年02月08日 今週データを取得中...",
                  "0件取得しました...",
                  "2015年02月08日 の有効なデータがないため、ファイルを出力しませんでした。",
                  "2015年02月14日 今週データを取得中...", "2件取得しました...",
                  "レースキー・日付・値が正しくないデータ 2件を読み飛ばしました...",
                  "2015年02月14日 の有効なデータがないため、ファイルを出力しませんでした。",
                  "出力処理を終了しました。"}));
    EXPECT_EQ(
        hostFiles(),
        (std::map<std::string, std::string>{{"KSTR_DATA/2015/KSTR010_150208.CSV", "good\r\n"}}));
    EXPECT_FALSE(std::filesystem::exists(host / "MY_DATA" / "YOS_COM" / "2015"));
    EXPECT_EQ(result.problems, 2);
    EXPECT_NE(iconvFromCp932(logText()).find("[WARN"), std::string::npos);
}

TEST_F(GoldenExport, FourMeetingsOnOneDayGiveFourFilesInPageOrder) {
    server.setDataFile(
        "TF150214.html",
        makeFile("20150214:今週",
                 {makeRecord("2015021406010101", "01"), makeRecord("2015021408010101", "01"),
                  makeRecord("2015021406010102", "03"), makeRecord("2015021409010101", "02"),
                  makeRecord("2015021405010101", "01"), makeRecord("2015021408010112", "18")}),
        sample::Charset::Cp932);
    ExportSelection selection = weekSelection({"TF150214.html"});
    selection.commentEntries[0] = true;

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Finished);

    const auto written = hostFiles();
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written.at("MY_DATA/YOS_COM/2015/YC061511.DAT"),
              "0615110101,__ \r\n0615110203,__ \r\n");
    EXPECT_EQ(written.at("MY_DATA/YOS_COM/2015/YC081511.DAT"),
              "0815110101,__ \r\n0815111218,__ \r\n");
    EXPECT_EQ(written.at("MY_DATA/YOS_COM/2015/YC091511.DAT"), "0915110102,__ \r\n");
    EXPECT_EQ(written.at("MY_DATA/YOS_COM/2015/YC051511.DAT"), "0515110101,__ \r\n");
    EXPECT_EQ(ui.activityMessages().at(3), "予想コメント 6件出力しました...");
}

TEST_F(GoldenExport, PastDataGoesOnPastTheYear2020) {
    for (int month = 1; month <= 11; ++month) {
        const std::string mm = std::to_string(100 + month).substr(1);
        server.setDataFile("TF20" + mm + ".html", makeFile("2020" + mm + ":x", {}));
    }
    server.setDataFile("TF2012.html", makeFile("202012:x", {makeRecord("2020122606010101", "01")}));
    server.setDataFile("TF2101.html", makeFile("202101:x", {makeRecord("2021010506010101", "01")}));
    ExportSelection selection = pastSelection("20");
    selection.indexCodes = {"010"};
    selection.today = std::chrono::year(2021) / 3 / 10;  // the months reach to the run's year

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Finished);

    EXPECT_EQ(hostFiles(),
              (std::map<std::string, std::string>{
                  {"KSTR_DATA/2020/KSTR010_201226.CSV", "202012260601010101,63.01,70.01\r\n"},
                  {"KSTR_DATA/2021/KSTR010_210105.CSV", "202101050601010101,63.01,70.01\r\n"}}));
    EXPECT_EQ(server.requestCount(dataPath("TF2102.html")), 1u);
    EXPECT_EQ(server.requestCount(dataPath("TF2201.html")), 0u);
}

TEST_F(GoldenExport, RewritingReplacesOldFilesWhole) {
    std::filesystem::create_directories(host / "KSTR_DATA" / "2015");
    writeFile(host / "KSTR_DATA" / "2015" / "KSTR010_150207.CSV", std::string(5000, 'x'));
    ExportSelection selection = weekSelection({"TF150207.html"});
    selection.indexCodes = {"010"};

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Finished);

    EXPECT_EQ(readFile(host / "KSTR_DATA" / "2015" / "KSTR010_150207.CSV"),
              "201502070601010101,63.01,70.01\r\n201502070601010207,63.07,70.07\r\n");
}

}  // namespace
}  // namespace kestrova::test
