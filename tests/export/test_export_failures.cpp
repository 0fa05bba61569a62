#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "expected_files.h"
#include "export/export_run.h"
#include "export/host_folder.h"
#include "export_fixture.h"
#include "golden_data.h"

namespace kestrova::test {
namespace {

constexpr std::string_view kFailureNotice =
    "通信エラー等でデータの取得ができませんでした。再度、出力処理を行って下さい。\r\n\r\n"
    "それでもエラーが発生する場合はしばらく時間を空けてから出力処理を行って下さい。";

sample::DataFile smallMonth(int month) {
    const std::string mm = std::to_string(100 + month).substr(1);
    return makeFile("2016" + mm + ":x", {makeRecord("2016" + mm + "0606010101", "01"),
                                         makeRecord("2016" + mm + "1306010201", "02")});
}

class ExportFailure : public ExportTest {
  protected:
    ExportFailure() {
        server.setDataFile("TF1501.html", goldenJanuary());
        server.setDataFile("TF1502.html", goldenFebruary(), sample::Charset::Utf8);
        server.setDataFile("TF150207.html", goldenWeekDay());
    }

    ExportSelection indexesOf(ExportSelection selection) const {
        selection.indexCodes = {"010"};
        selection.commentEntries[0] = true;
        return selection;
    }

    bool endsWithAbort() const {
        const auto messages = ui.activityMessages();
        return !messages.empty() && messages.back() == "出力処理を中止しました。";
    }
};

TEST_F(ExportFailure, CutBodyMidRunKeepsEarlierDaysAndAborts) {
    server.addFault(
        {.path = dataPath("TF1502.html"), .kind = sample::FaultKind::CutBody, .afterBytes = 300});

    EXPECT_EQ(confirmAndRun(indexesOf(pastSelection("15"))).outcome, ExportOutcome::Aborted);

    EXPECT_TRUE(endsWithAbort());
    // Why, and how far the run got, before the abort line.
    const auto messages = ui.activityMessages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_TRUE(
        messages.at(messages.size() - 3).starts_with("TF1502.html を取得できませんでした。"))
        << messages.at(messages.size() - 3);
    EXPECT_EQ(messages.at(messages.size() - 2), "2015年01月分まで出力しました。");
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_TRUE(ui.warnings[0].starts_with("Get_TFData<<"));
    // The failure notice, and no claim that the output completed.
    EXPECT_EQ(ui.infos, std::vector<std::string>{std::string(kFailureNotice)});
    const auto files = hostFiles();
    EXPECT_TRUE(files.contains("KSTR_DATA/2015/KSTR010_150104.CSV"));
    EXPECT_TRUE(files.contains("MY_DATA/YOS_COM/2015/YC06155D.DAT"));
    EXPECT_FALSE(files.contains("KSTR_DATA/2015/KSTR010_150201.CSV"));
    EXPECT_EQ(server.requestCount(dataPath("TF1503.html")), 0u);
}

class MissingMonth : public ExportFailure {
  protected:
    /// January to June 2016 on the server, July missing, August there again.
    MissingMonth() {
        for (int month = 1; month <= 6; ++month) {
            server.setDataFile("TF16" + std::to_string(100 + month).substr(1) + ".html",
                               smallMonth(month));
        }
        server.removeDataFile("TF1607.html");
        server.setDataFile("TF1608.html", smallMonth(8));
        selection.indexCodes = {"470"};
    }

    ExportSelection selection = pastSelection("16");
};

TEST_F(MissingMonth, TheNewestMonthMissingEndsThePassAndNamesTheLastMonthWritten) {
    selection.today = std::chrono::year(2016) / 8 / 5;  // July is last month

    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);

    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.back(), "出力処理を終了しました。");
    EXPECT_EQ(messages.at(messages.size() - 2), "2016年06月分までの蓄積データを出力しました。");
    EXPECT_EQ(messages.at(messages.size() - 6), "2016年06月 蓄積データを取得中...");
    EXPECT_EQ(server.requestCount(dataPath("TF1608.html")), 0u);
    EXPECT_EQ(hostFiles().size(), 12u);  // two days in each of six months
    EXPECT_TRUE(ui.infos.empty());
    EXPECT_EQ(result.problems, 0);
}

TEST_F(MissingMonth, AMonthMissingBeforeLastMonthIsAGapInTheServersData) {
    selection.today = std::chrono::year(2016) / 10 / 1;  // August and September should be there

    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);

    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.at(messages.size() - 3),
              "2016年07月のデータがサーバーにありません。それ以降は出力していません。");
    EXPECT_EQ(messages.at(messages.size() - 2), "2016年06月分までの蓄積データを出力しました。");
    EXPECT_EQ(result.problems, 1);
    EXPECT_NE(iconvFromCp932(logText()).find("[WARN] frmTFLink:TFJV_CsvOut: 2016年07月のデータ"),
              std::string::npos);
}

TEST_F(ExportFailure, MissingFirstMonthWritesNothingAndSaysWhatIsMissing) {
    ExportSelection selection = indexesOf(pastSelection("15"));
    server.removeDataFile("TF1501.html");
    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);
    EXPECT_EQ(ui.activityMessages(),
              (std::vector<std::string>{
                  "出力処理を開始しました。",
                  "2015年01月のデータがサーバーにありません。それ以降は出力していません。",
                  "出力できる蓄積データはありませんでした。", "出力処理を終了しました。"}));
    EXPECT_TRUE(hostFiles().empty());
    EXPECT_EQ(result.problems, 1);
}

TEST_F(ExportFailure, ServerErrorOnADayFileAbortsInsteadOfReusingThePreviousRows) {
    server.setDataFile("TF150208.html",
                       makeFile("20150208:x", {makeRecord("2015020806010101", "01")}));
    server.addFault({.path = dataPath("TF150208.html"), .status = 500});
    ExportSelection selection = indexesOf(weekSelection({"TF150207.html", "TF150208.html"}));

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Aborted);

    EXPECT_TRUE(endsWithAbort());
    EXPECT_EQ(ui.infos, std::vector<std::string>{std::string(kFailureNotice)});
    const auto files = hostFiles();
    EXPECT_TRUE(files.contains("KSTR_DATA/2015/KSTR010_150207.CSV"));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_NE(logText().find("500"), std::string::npos);

    // A missing day file is no download either.
    ui = RecordingUi();
    EXPECT_EQ(run(indexesOf(weekSelection({"TF150209.html"}))).outcome, ExportOutcome::Aborted);
    EXPECT_TRUE(endsWithAbort());
}

TEST_F(ExportFailure, OversizedPageAbortsWithoutTouchingThatMonthsFiles) {
    server.addFault({.path = dataPath("TF1502.html"),
                     .kind = sample::FaultKind::OversizedTable,
                     .rows = 10001});
    const ExportSelection selection = indexesOf(pastSelection("15"));
    EXPECT_EQ(run(selection).outcome, ExportOutcome::Aborted);
    EXPECT_TRUE(endsWithAbort());

    std::map<std::string, std::string> january;
    for (const char* day : {"20150104", "20150105"}) {
        january.merge(
            expectDay(goldenJanuary().records, day, selection.commentEntries, selection.indexCodes)
                .files);
    }
    EXPECT_EQ(hostFiles(), january);
}

TEST_F(ExportFailure, BlockedFoldersFailTheirFilesAndTheRunSaysSo) {
    writeFile(host / "KSTR_DATA", "not a folder");
    std::filesystem::create_directories(host / "MY_DATA" / "KEK_COM");
    writeFile(host / "MY_DATA" / "KEK_COM" / "2015", "not a folder");
    ExportSelection selection = indexesOf(weekSelection({"TF150207.html"}));
    selection.commentEntries[1] = true;

    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);

    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.at(messages.size() - 2),
              "書き込めなかったファイルがあります（2件）。ログを確認して下さい。");
    EXPECT_EQ(result.filesFailed, 2);
    const std::string logged = iconvFromCp932(logText());
    EXPECT_NE(logged.find("AlsOut<<"), std::string::npos);
    EXPECT_NE(logged.find("CmtOut<<"), std::string::npos);
    const auto files = hostFiles();
    EXPECT_EQ(files.size(), 3u);  // the two blocking files and the prediction comments
    EXPECT_EQ(files.at("KSTR_DATA"), "not a folder");
    EXPECT_TRUE(files.contains("MY_DATA/YOS_COM/2015/YC061511.DAT"));
}

TEST_F(ExportFailure, ARunThatCouldNotWriteEveryFileEndsWithAWarningNotACompletion) {
    writeFile(host / "KSTR_DATA", "not a folder");
    server.setDataFile("TF150208.html",
                       makeFile("20150208:x", {makeRecord("2015020706010101", "01")}));
    ExportSelection selection = indexesOf(weekSelection({"TF150207.html", "TF150208.html"}));

    const ExportResult result = confirmAndRun(selection);

    EXPECT_EQ(result.outcome, ExportOutcome::Finished);
    EXPECT_FALSE(result.complete());
    EXPECT_TRUE(ui.infos.empty());
    EXPECT_EQ(ui.warnings, std::vector<std::string>{
                               "出力処理は終了しましたが、出力できなかったデータがあります。\r\n"
                               "\r\n書き込めなかったファイル：1件"
                               "\r\n出力できなかった月・日：1件"
                               "\r\n\r\n詳しくは画面の記録とログを確認して下さい。"});
}

TEST_F(ExportFailure, FilesNotWrittenAreCountedAsFilesNotAsCalls) {
    // Three venues on the 4th: one blocked year folder costs three comment files.
    writeFile(host / "MY_DATA" / "YOS_COM" / "2015", "not a folder");
    server.removeDataFile("TF1502.html");
    ExportSelection selection = pastSelection("15");
    selection.commentEntries[0] = true;

    const ExportResult result = run(selection);
    EXPECT_EQ(result.outcome, ExportOutcome::Finished);

    EXPECT_EQ(result.filesFailed, 4);  // three meetings on the 4th, one on the 5th
    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.at(messages.size() - 2),
              "書き込めなかったファイルがあります（4件）。ログを確認して下さい。");
}

TEST_F(ExportFailure, FileThatCannotBeReplacedKeepsWhatWasThereAndLeavesNoScraps) {
    const auto blocked = host / "KSTR_DATA" / "2015" / "KSTR010_150207.CSV";
    std::filesystem::create_directories(blocked);
    writeFile(blocked / "keep", "x");
    ExportSelection selection = weekSelection({"TF150207.html"});
    selection.indexCodes = {"010", "020"};

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Finished);

    const auto files = hostFiles();
    EXPECT_EQ(files.size(), 2u) << "stray temporary file?";
    EXPECT_EQ(files.at("KSTR_DATA/2015/KSTR010_150207.CSV/keep"), "x");
    EXPECT_TRUE(files.contains("KSTR_DATA/2015/KSTR020_150207.CSV"));
}

TEST_F(ExportFailure, RecordsWithBadKeysAreSkippedAndNothingLandsOutsideTheHostFolder) {
    sample::Record evil = makeRecord("../../evil", "01");
    sample::Record badDate = makeRecord("2015023106010101", "01");
    server.setDataFile("TF1501.html",
                       makeFile("201501:x", {makeRecord("2015010406010101", "01"), evil, badDate,
                                             makeRecord("2015010406010102", "02")}));
    server.removeDataFile("TF1502.html");
    ExportSelection selection = indexesOf(pastSelection("15"));
    selection.commentEntries = {true, true, true, true, true, true, true, true, true, true};

    EXPECT_EQ(run(selection).outcome, ExportOutcome::Finished);

    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.at(3), "レースキー・日付・値が正しくないデータ 2件を読み飛ばしました...");
    EXPECT_EQ(hostFiles().size(), 3u);
    EXPECT_EQ(readFile(host / "KSTR_DATA" / "2015" / "KSTR010_150104.CSV"),
              "201501040601010101,63.01,70.01\r\n201501040601010202,63.02,70.02\r\n");
    EXPECT_TRUE(pathsOutsideHost().empty());
    EXPECT_NE(iconvFromCp932(logText()).find("2件を読み飛ばしました"), std::string::npos);
}

TEST_F(ExportFailure, ConfirmationGatesTheRun) {
    ExportSelection noFolder = indexesOf(weekSelection({"TF150207.html"}));
    noFolder.hostFolder.clear();
    EXPECT_EQ(confirmAndRun(noFolder).outcome, ExportOutcome::NotStarted);
    EXPECT_EQ(ui.infos, std::vector<std::string>{
                            "[TARGET frontier JV] のインストールフォルダが未設定です。"});
    EXPECT_TRUE(ui.questions.empty());

    ui = RecordingUi();
    ui.setNextAnswer(Answer::Yes);
    ui.setNextAnswer(Answer::No);
    EXPECT_EQ(confirmAndRun(indexesOf(pastSelection("15"))).outcome, ExportOutcome::NotStarted);
    EXPECT_EQ(ui.questions.size(), 2u);
    // The run can be stopped, and the question says so.
    EXPECT_NE(ui.questions[1].find("「中止」ボタンで中止できます"), std::string::npos);
    EXPECT_TRUE(ui.activity.empty());
    EXPECT_EQ(ui.clears, 0);

    // A folder without the host program: its notice, no question, nothing written there.
    ui = RecordingUi();
    TempDir elsewhere;
    ExportSelection notHost = indexesOf(weekSelection({"TF150207.html"}));
    notHost.hostFolder = elsewhere.path();
    EXPECT_EQ(confirmAndRun(notHost).outcome, ExportOutcome::NotStarted);
    EXPECT_EQ(ui.infos, std::vector<std::string>{std::string(kNotAHostFolder) + "\r\n" +
                                                 pathText(elsewhere.path())});
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));

    ui = RecordingUi();
    EXPECT_EQ(confirmAndRun(indexesOf(weekSelection({"TF150207.html"}))).outcome,
              ExportOutcome::Finished);
    EXPECT_EQ(ui.questions, std::vector<std::string>{
                                "今週データを出力します。\r\n既にあるデータは上書きされます。"
                                "\r\n\r\n出力してよろしいですか？"});
    EXPECT_EQ(ui.infos, std::vector<std::string>{"出力完了しました。"});
}

/// Asks to stop once `after` days are done.
struct StopAfterDays : ExportProgress {
    explicit StopAfterDays(int days) : left(days) {}
    void dayFinished(std::string_view, std::int64_t) override { --left; }
    bool stopRequested() override {
        ++asked;
        return left <= 0;
    }
    int left;
    int asked = 0;
};

TEST_F(ExportFailure, AStopEndsTheRunBetweenFilesWithTheAbortLine) {
    ExportSelection selection = indexesOf(pastSelection("15"));
    StopAfterDays stop(1);
    const ExportResult result = confirmAndRun(selection, &stop);
    EXPECT_EQ(result.outcome, ExportOutcome::Stopped);
    EXPECT_TRUE(endsWithAbort());
    // The line before names the month the stop cut short: its first day is written.
    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.at(messages.size() - 3), "利用者の指示で中止しました。");
    EXPECT_EQ(messages.at(messages.size() - 2), "2015年01月分は途中までです。");
    EXPECT_EQ(result.leftIncomplete, "2015年01月");
    EXPECT_EQ(result.lastComplete, "");
    // No completion notice, no failure notice: the user stopped it.
    EXPECT_TRUE(ui.infos.empty());
    EXPECT_TRUE(ui.warnings.empty());
    const auto files = hostFiles();
    EXPECT_TRUE(files.contains("KSTR_DATA/2015/KSTR010_150104.CSV"));
    EXPECT_FALSE(files.contains("KSTR_DATA/2015/KSTR010_150105.CSV"));
    EXPECT_NE(iconvFromCp932(logText()).find("利用者の指示で出力処理を中止しました。"),
              std::string::npos);
    EXPECT_GT(stop.asked, 1);
}

TEST_F(ExportFailure, AStopBetweenMonthsNamesTheLastMonthWrittenWhole) {
    StopAfterDays stop(2);  // both days of January
    const ExportResult result = run(indexesOf(pastSelection("15")), &stop);
    EXPECT_EQ(result.outcome, ExportOutcome::Stopped);
    const auto messages = ui.activityMessages();
    EXPECT_EQ(messages.at(messages.size() - 2), "2015年01月分まで出力しました。");
    EXPECT_EQ(result.leftIncomplete, "");

    // A month with a file that could not be written is not written whole.
    std::filesystem::remove_all(host / "KSTR_DATA");
    writeFile(host / "KSTR_DATA", "not a folder");
    ui = RecordingUi();
    StopAfterDays again(2);
    const ExportResult blocked = run(indexesOf(pastSelection("15")), &again);
    EXPECT_EQ(blocked.lastComplete, "");
    EXPECT_EQ(blocked.periodsWritten, 0u);
    const auto lines = ui.activityMessages();
    EXPECT_EQ(lines.at(lines.size() - 3),
              "書き込めなかったファイルがあります（2件）。ログを確認して下さい。");
    EXPECT_EQ(lines.at(lines.size() - 2), "利用者の指示で中止しました。");
}

/// Asks to stop once `fileName` is about to be read.
struct StopAtFile : ExportProgress {
    explicit StopAtFile(std::string name) : fileName(std::move(name)) {}
    void fileStarted(std::string_view name, std::size_t) override { reached = name == fileName; }
    bool stopRequested() override { return reached; }
    std::string fileName;
    std::atomic<bool> reached{false};
};

// The next month is fetched while the one before is written: still asked once, its lines
// still come in its turn, and a stop does not wait for it.
TEST_F(ExportFailure, TheNextFileIsFetchedOnceAndReadInItsTurn) {
    EXPECT_EQ(run(indexesOf(pastSelection("15"))).outcome, ExportOutcome::Finished);
    for (const char* name : {"TF1501.html", "TF1502.html", "TF1503.html"}) {
        EXPECT_EQ(server.requestCount(dataPath(name)), 1u) << name;
    }
    const auto messages = ui.activityMessages();
    const std::vector<std::string> januaryThenFebruary{"出力処理を開始しました。",
                                                       "2015年01月 蓄積データを取得中...",
                                                       "12件取得しました...",
                                                       "予想コメント 6件出力しました...",
                                                       "選択データ（指数） 6件出力しました...",
                                                       "予想コメント 6件出力しました...",
                                                       "選択データ（指数） 6件出力しました...",
                                                       "2015年02月 蓄積データを取得中...",
                                                       "5件取得しました..."};
    ASSERT_GE(messages.size(), januaryThenFebruary.size());
    EXPECT_EQ(std::vector(messages.begin(), messages.begin() + 9), januaryThenFebruary);
}

TEST_F(ExportFailure, AStopDoesNotWaitForTheFileFetchedAhead) {
    server.addFault({.path = dataPath("TF1502.html"),
                     .kind = sample::FaultKind::Slow,
                     .delay = std::chrono::seconds(20)});
    StopAtFile stop("TF1502.html");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run(indexesOf(pastSelection("15")), &stop).outcome, ExportOutcome::Stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(endsWithAbort());
    EXPECT_TRUE(ui.warnings.empty());
    EXPECT_TRUE(hostFiles().contains("KSTR_DATA/2015/KSTR010_150104.CSV"));
}

}  // namespace
}  // namespace kestrova::test
