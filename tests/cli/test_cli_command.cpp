#include <sstream>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/cp932.h"
#include "cli/cli_command.h"
#include "export/data_kinds.h"
#include "support/temp_dir.h"

namespace kestrova::cli {
namespace {

using namespace std::chrono;

/// runCli in-process against a temporary application folder and host folder.
class CliCommand : public ::testing::Test {
  protected:
    CliCommand() {
        std::filesystem::create_directories(app_);
        std::filesystem::create_directories(host_);
        test::writeFile(host_ / "TFJV.EXE", "");
    }

    /// `perUser`: the default application folder stands in for an unwritable /usr/bin.
    int run(std::vector<std::string> args, bool perUser = false) {
        std::vector<std::string_view> views(args.begin(), args.end());
        const CliEnvironment env{out_,
                                 err_,
                                 std::nullopt,
                                 [this, perUser] {
                                     return AppFolder{app_, perUser};
                                 },
                                 2026y / December / 6d,
                                 "/usr/bin",
                                 {}};
        return runCli(views, env);
    }

    /// Arguments of an export that passes every check up to the host folder.
    std::vector<std::string> exportArgs(std::vector<std::string> more) {
        std::vector<std::string> args{"export", "--app-folder", app_.string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::string log() const { return fromCp932(test::readFile(app_ / "logs" / "Kestrova.log")); }

    test::TempDir temp_;
    std::filesystem::path app_ = temp_ / "app";
    std::filesystem::path host_ = temp_ / "host";
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(CliCommand, SelectionRefusalsUseTheWindowsMessagesAndExitCode2) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--kinds", "all"}, "開催日データが未選択です。確認して下さい。"},
        {{"--past", "2015", "--past", "2016", "--kinds", "all"},
         "過去データは複数できません。\n\n開始開催年月を確認して選択下さい。"},
        // Several past years and a day: the multiple-past message comes first.
        {{"--past", "2015", "--past", "2016", "--day", "20261205", "--kinds", "all"},
         "過去データは複数できません。\n\n開始開催年月を確認して選択下さい。"},
        {{"--past", "2015", "--day", "20261205", "--kinds", "all"},
         "過去データと今週データは同時に選択できません。"},
        {{"--day", "20261205"},
         "出力データ（指数）と予想／結果コメント出力データが未選択です。どれか１つは選択して下さ"
         "い。"},
    };
    for (const auto& c : cases) {
        out_.str("");
        err_.str("");
        EXPECT_EQ(run(exportArgs(c.args)), kExitUsage);
        EXPECT_EQ(err_.str(), c.message + "\n");
        EXPECT_EQ(out_.str(), "");
    }
    EXPECT_NE(log().find("[WARN] kestrova-cli:export<<過去データと今週データは同時に選択できませ"
                         "ん。>>"),
              std::string::npos);
}

TEST_F(CliCommand, HostFolderComesFromTheOptionOrTheSettingsAndMustHoldTheHostProgram) {
    const std::string notSet = "[TARGET frontier JV] のインストールフォルダが未設定です。\n";
    EXPECT_EQ(run(exportArgs({"--day", "20261205", "--kinds", "010"})), kExitUsage);
    EXPECT_EQ(err_.str(), notSet);

    err_.str("");
    EXPECT_EQ(run(exportArgs({"--host-folder", "", "--day", "20261205", "--kinds", "010"})),
              kExitUsage);
    EXPECT_EQ(err_.str(), notSet);

    err_.str("");
    const auto empty = temp_ / "empty";
    std::filesystem::create_directories(empty);
    test::writeFile(app_ / "Kestrova.Ini", "[USE_OPT1]\r\nTFJV_Path=" + empty.string() + "\r\n");
    EXPECT_EQ(run(exportArgs({"--day", "20261205", "--kinds", "010"})), kExitUsage);
    EXPECT_EQ(err_.str(),
              "[TARGET frontier JV] がインストールされてないフォルダです。\n確認して"
              "下さい。\n" +
                  empty.string() + "\n");
}

TEST_F(CliCommand, SelectionIsCheckedBeforeTheHostFolder) {
    EXPECT_EQ(run(exportArgs({"--kinds", "010"})), kExitUsage);
    EXPECT_EQ(err_.str(), "開催日データが未選択です。確認して下さい。\n");
}

TEST_F(CliCommand, BadArgumentsPrintMessageAndUsageAndAreLogged) {
    EXPECT_EQ(run(exportArgs({"--day", "20261232", "--kinds", "010"})), kExitUsage);
    EXPECT_TRUE(err_.str().starts_with("--day の日付が正しくありません: 20261232"));
    EXPECT_NE(err_.str().find("使い方 / Usage:"), std::string::npos);
    EXPECT_EQ(out_.str(), "");
    EXPECT_NE(log().find("kestrova-cli:export<<--day の日付が正しくありません: 20261232"),
              std::string::npos);
}

TEST_F(CliCommand, AMissingAppFolderIsRefusedWithoutWritingAnywhere) {
    const auto missing = temp_ / "missing";
    EXPECT_EQ(
        run({"export", "--app-folder", missing.string(), "--day", "20261205", "--kinds", "010"}),
        kExitUsage);
    EXPECT_EQ(err_.str(), "アプリケーションフォルダがありません: " + missing.string() + "\n");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(CliCommand, TheLogNamesTheApplicationFolderAndWhyThePerUserOneIsUsed) {
    EXPECT_EQ(run({"cache", "--clear"}, true), kExitFinished);
    EXPECT_NE(log().find("kestrova-cli:cache --clear\r\n"), std::string::npos);
    EXPECT_NE(log().find("プログラムのフォルダ（/usr/bin）に書き込めないため、ユーザーのデータ"
                         "フォルダを使用します：" +
                         app_.string() + "\r\n"),
              std::string::npos);

    EXPECT_EQ(run({"cache", "--clear", "--app-folder", app_.string()}), kExitFinished);
    EXPECT_NE(log().find("アプリケーションフォルダ：" + app_.string() + "\r\n"), std::string::npos);
}

TEST_F(CliCommand, HelpListsEveryKindWithItsLabel) {
    EXPECT_EQ(run({"help"}), kExitFinished);
    const std::string help = out_.str();
    for (std::size_t i = 1; i < kDataKindCount; ++i) {
        const bool offered = i >= kFirstIndexKind || DataKindCodes[i] != "002";
        const std::string entry =
            std::string(DataKindCodes[i]) + "  " + std::string(DataKindNames[i]);
        EXPECT_EQ(help.find(entry) != std::string::npos, offered) << entry;
    }
    for (const std::string_view key : {"REVNIW", "MemberHost", "TFJV_Path", "crontab"}) {
        EXPECT_NE(help.find(key), std::string::npos) << key;
    }
    EXPECT_EQ(err_.str(), "");
}

}  // namespace
}  // namespace kestrova::cli
