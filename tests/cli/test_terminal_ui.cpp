#include <sstream>

#include <gtest/gtest.h>

#include "cli/progress_bar.h"
#include "cli/terminal_ui.h"
#include "cli/text_width.h"

namespace kestrova::cli {
namespace {

constexpr std::string_view kErase = "\r\x1b[K";

TEST(TextWidth, FullWidthCharactersTakeTwoColumns) {
    EXPECT_EQ(displayWidth("abc"), 3u);
    EXPECT_EQ(displayWidth("ＩＤＭ"), 6u);
    EXPECT_EQ(displayWidth("12/24 か月"), 10u);
    EXPECT_EQ(padToWidth("ＩＤＭ", 8), "ＩＤＭ  ");
}

TEST(ProgressLine, ShowsABarOnlyWhenTheTotalIsKnown) {
    ProgressSnapshot snapshot{true, 5, 20, 123, std::chrono::seconds(3725)};
    const std::string known = renderProgressLine(snapshot, 80);
    EXPECT_TRUE(known.starts_with("[")) << known;
    EXPECT_NE(known.find("5/20 か月  出力ファイル 123  経過 01:02:05"), std::string::npos);
    const auto cells = known.find(']') - 1;
    EXPECT_EQ(std::count(known.begin(), known.end(), '#'), static_cast<long>(cells * 5 / 20));

    snapshot.filesPlanned = 0;
    snapshot.pastData = false;
    EXPECT_EQ(renderProgressLine(snapshot, 80), "5 日  出力ファイル 123  経過 01:02:05");
}

TEST(ProgressLine, NeverFillsTheLastColumn) {
    const ProgressSnapshot snapshot{false, 1, 2, 99999, std::chrono::seconds(1)};
    for (const std::size_t columns : {1u, 8u, 20u, 40u, 45u, 60u, 200u}) {
        EXPECT_LT(displayWidth(renderProgressLine(snapshot, columns)), columns) << columns;
    }
}

ExportResult ended(ExportOutcome outcome) {
    ExportResult result;
    result.outcome = outcome;
    return result;
}

TEST(TerminalUi, PrintsActivityLinesAndMessagesWithoutAProgressLineOffTerminal) {
    std::ostringstream out;
    std::ostringstream err;
    TerminalUi ui(out, err, std::nullopt);
    ui.runStarted(2);
    ui.addActivity("20:48:28  出力処理を開始しました。");
    ui.fileStarted("TF261205.html", 0);
    ui.info("一行目\r\n\r\n三行目");
    ui.warning("Get_TFData<<接続できません>>");
    ui.runEnded(ended(ExportOutcome::Aborted));
    EXPECT_EQ(out.str(), "20:48:28  出力処理を開始しました。\n");
    EXPECT_EQ(err.str(), "一行目\n\n三行目\n警告: Get_TFData<<接続できません>>\n");
    EXPECT_EQ(ui.question("上書きしてよろしいですか？"), Answer::No);
}

TEST(TerminalUi, ClearsTheProgressLineBeforeEveryOtherLineAndDrawsItAgain) {
    std::ostringstream terminal;  // stdout and stderr on one terminal
    TerminalUi ui(terminal, terminal, 80);
    ui.setPastData(true);
    ui.runStarted(24);
    ui.addActivity("20:48:28  出力処理を開始しました。");
    const std::string shown = terminal.str();

    const auto line = shown.find("20:48:28");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(shown.rfind(kErase, line), line - kErase.size()) << "bar not cleared first";
    EXPECT_NE(shown.find("0/24 か月", line), std::string::npos) << "bar not drawn again";

    terminal.str("");
    ui.runEnded(ended(ExportOutcome::Finished));
    EXPECT_EQ(terminal.str(), kErase);
    terminal.str("");
    ui.addActivity("20:48:29  出力処理を終了しました。");
    EXPECT_EQ(terminal.str(), "20:48:29  出力処理を終了しました。\n");
}

}  // namespace
}  // namespace kestrova::cli
