#include <algorithm>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "cli/cli_options.h"
#include "export/host_file.h"
#include "sample_server.h"
#include "support/child_process.h"
#include "support/fixed_week_server.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace kestrova::cli {
namespace {

const std::string kCli = KESTROVA_CLI_EXE;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

/// The built kestrova-cli against a sample server, with an application folder whose
/// Kestrova.Ini points at that server and at a sample host folder.
class CliProgram : public ::testing::Test {
  protected:
    CliProgram() {
        std::filesystem::create_directories(app_);
        std::filesystem::create_directories(host_ / "MY_DATA" / "YOS_COM");
        std::filesystem::create_directories(host_ / "MY_DATA" / "KEK_COM");
        test::writeFile(host_ / "TFJV.EXE", "");
        test::writeFile(app_ / "Kestrova.Ini",
                        "[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=" + server_.hostPort() +
                            "\r\nRaceAuthorityHost=http://" + server_.hostPort() +
                            "\r\n[USE_OPT1]\r\nTFJV_Path=" + host_.string() + "\r\n");
    }

    test::ChildResult run(std::vector<std::string> args, const test::RunOptions& options = {}) {
        args.insert(args.begin(), {"export", "--app-folder", app_.string()});
        return test::runChild(kCli, args, options);
    }

    /// Another command than export.
    test::ChildResult command(std::vector<std::string> args) {
        args.insert(args.begin() + 1, {"--app-folder", app_.string()});
        return test::runChild(kCli, args);
    }

    /// Every file below the host folder but the run's lock: path and bytes.
    std::map<std::string, std::string> hostFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(host_)) {
            if (entry.is_regular_file() && entry.path().filename() != "Kestrova.lock" &&
                entry.path().filename() != "TFJV.EXE") {
                files[entry.path().lexically_relative(host_).generic_string()] =
                    test::readFile(entry.path());
            }
        }
        return files;
    }

    std::string logText() const {
        return fromCp932(test::readFile(app_ / "logs" / "Kestrova.log"));
    }

    /// Every path below the host folder that a run left behind half-way.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(host_)) {
            if (entry.path().filename().string().find(".kestrova-tmp") != std::string::npos) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }

    bool hostHas(const std::filesystem::path& relative) const {
        return std::filesystem::is_regular_file(host_ / relative);
    }

    test::TempDir temp_;
    std::filesystem::path app_ = temp_ / "app";
    std::filesystem::path host_ = temp_ / "host";
    test::FixedWeekServer server_{test::FixedWeekServer::options(2026, 1)};
};

TEST_F(CliProgram, JapaneseFolderNamesServeAsHostAndApplicationFolders) {
    // As on a Japanese system: C:\競馬\TFJV, and the user's own folder C:\Users\山田.
    const std::filesystem::path app = temp_.path() / pathFromUtf8("Users/山田/Kestrova");
    const std::filesystem::path host = temp_.path() / pathFromUtf8("競馬/TFJV");
    std::filesystem::create_directories(app);
    std::filesystem::create_directories(host / "MY_DATA" / "YOS_COM");
    std::filesystem::create_directories(host / "MY_DATA" / "KEK_COM");
    test::writeFile(host / "TFJV.EXE", "");
    // The settings file is CP932, as the system writes it.
    test::writeFile(app / "Kestrova.Ini",
                    toCp932("[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=" + server_.hostPort() +
                            "\r\n[USE_OPT1]\r\nTFJV_Path=" + pathText(host) + "\r\n")
                        .bytes);

    auto result = test::runChild(
        kCli, {"export", "--app-folder", pathText(app), "--day", "20261205", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_TRUE(
        std::filesystem::is_regular_file(host / "KSTR_DATA" / "2026" / "KSTR010_261205.CSV"));
    EXPECT_NE(fromCp932(test::readFile(app / "logs" / "Kestrova.log")).find(pathText(app)),
              std::string::npos);

    // The host folder named on the command line instead.
    std::filesystem::remove_all(host / "KSTR_DATA");
    result = test::runChild(kCli, {"export", "--app-folder", pathText(app), "--host-folder",
                                   pathText(host), "--day", "20261205", "--kinds", "020"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_TRUE(
        std::filesystem::is_regular_file(host / "KSTR_DATA" / "2026" / "KSTR020_261205.CSV"));
}

TEST_F(CliProgram, VersionIsTheLineOfTheVersionWindow) {
    const auto result = test::runChild(kCli, {"--version"});
    EXPECT_EQ(result.exitCode, kExitFinished);
    EXPECT_EQ(result.out, "Kestrova Ver. " KESTROVA_VERSION " C\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(CliProgram, ExportsDaysAndPrintsTheActivityLines) {
    const auto result = run({"--day", "20261205", "--day", "20261206", "--kinds", "010,470",
                             "--predict", "all", "--result", "001"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_EQ(result.err, "");  // not a terminal: no progress line

    const auto shown = lines(result.out);
    ASSERT_GE(shown.size(), 3u);
    const std::regex activity(R"(\d\d:\d\d:\d\d  .+)");
    for (const auto& line : shown) {
        EXPECT_TRUE(std::regex_match(line, activity)) << line;
    }
    EXPECT_EQ(shown.front().substr(10), "出力処理を開始しました。");
    EXPECT_EQ(shown.back().substr(10), "出力処理を終了しました。");
    EXPECT_NE(result.out.find("2026年12月06日 今週データを取得中..."), std::string::npos);

    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR470_261206.CSV"));
    EXPECT_FALSE(hostHas("KSTR_DATA/2026/KSTR020_261205.CSV"));
    EXPECT_FALSE(std::filesystem::is_empty(host_ / "MY_DATA" / "YOS_COM" / "2026"));
    EXPECT_FALSE(std::filesystem::is_empty(host_ / "MY_DATA" / "KEK_COM" / "2026"));

    const std::string log = fromCp932(test::readFile(app_ / "logs" / "Kestrova.log"));
    EXPECT_NE(log.find("[INFO] kestrova-cli:export --app-folder " + app_.string() +
                       " --day 20261205 --day 20261206"),
              std::string::npos);
    EXPECT_NE(log.find("出力処理を終了しました。"), std::string::npos);
}

TEST_F(CliProgram, PastDataStopsAtAMonthTheServerLacksAndSaysSoInItsExitCode) {
    // The server's newest month is January 2026, long before last month: a gap, not the end.
    const auto result = run({"--past", "2026", "--kinds", "010", "--host-folder", host_.string()});
    EXPECT_EQ(result.exitCode, kExitIncomplete) << result.err;
    EXPECT_NE(result.out.find("2026年01月 蓄積データを取得中..."), std::string::npos);
    EXPECT_NE(result.out.find("2026年02月のデータがサーバーにありません。"), std::string::npos);
    EXPECT_NE(result.out.find("2026年01月分までの蓄積データを出力しました。"), std::string::npos);
    EXPECT_EQ(server_.requestCount("/kestrova/tfdata2/TF2602.html"), 1u);
    EXPECT_EQ(server_.requestCount("/kestrova/tfdata2/TF2603.html"), 0u);
    EXPECT_FALSE(std::filesystem::is_empty(host_ / "KSTR_DATA" / "2026"));
}

TEST_F(CliProgram, AServerFaultAbortsWithExitCode3) {
    server_.addFault({.path = "/kestrova/tfdata2/TF261206.html", .status = 500});
    const auto result = run({"--day", "20261205", "--day", "20261206", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitAborted);
    EXPECT_EQ(lines(result.out).back().substr(10), "出力処理を中止しました。");
    EXPECT_TRUE(result.err.starts_with("通信エラー等でデータの取得ができませんでした。"))
        << result.err;
    // The day before the fault stays written.
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
}

TEST_F(CliProgram, AnUnreachableServerIsAWarningAndAnAbort) {
    server_.stop();
    const auto result = run({"--day", "20261205", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitAborted);
    EXPECT_TRUE(result.err.starts_with("警告: Get_TFData<<")) << result.err;
}

TEST_F(CliProgram, FilesThatCannotBeWrittenMakeTheFinishedRunExitWith4) {
    // A file where the prediction folder should be: no comment file can go there.
    std::filesystem::remove(host_ / "MY_DATA" / "YOS_COM");
    test::writeFile(host_ / "MY_DATA" / "YOS_COM", "");
    const auto result = run({"--day", "20261205", "--kinds", "010", "--predict", "001"});
    EXPECT_EQ(result.exitCode, kExitIncomplete) << result.out;
    const auto shown = lines(result.out);
    EXPECT_EQ(shown.back().substr(10), "出力処理を終了しました。");
    EXPECT_NE(result.out.find("書き込めなかったファイルがあります"), std::string::npos);
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
}

TEST_F(CliProgram, BadArgumentsExitWith2AndTouchNothing) {
    const auto result = run({"--day", "20261205", "--kinds", "999"});
    EXPECT_EQ(result.exitCode, kExitUsage);
    EXPECT_TRUE(result.err.starts_with("--kinds のコードが正しくありません: 999")) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(server_.requestCount("/kestrova/tfdata2/TF261205.html"), 0u);
    EXPECT_FALSE(std::filesystem::exists(host_ / "KSTR_DATA"));
}

TEST_F(CliProgram, ASecondRunIntoTheSameHostFolderIsRefusedAtOnce) {
    HostWriter first(host_);
    ASSERT_TRUE(first.lock());
    const auto result = run({"--day", "20261205", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitBusy);
    EXPECT_TRUE(
        result.err.starts_with("別の出力処理が同じ [TARGET frontier JV] のフォルダに出力中です。"))
        << result.err;
    // One activity line says the same, so the run's record shows why it did nothing.
    EXPECT_NE(result.out.find("別の出力処理が同じ"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("出力処理を開始しました。"), std::string::npos) << result.out;
    EXPECT_EQ(server_.requestCount("/kestrova/tfdata2/TF261205.html"), 0u);
}

TEST_F(CliProgram, AHostSettingThatIsNotAHostIsRefusedNotReplaced) {
    test::writeFile(app_ / "Kestrova.Ini",
                    "[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=" + server_.hostPort() +
                        "/x?y\r\n[USE_OPT1]\r\nTFJV_Path=" + host_.string() + "\r\n");
    const auto result = run({"--day", "20261205", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitUsage);
    EXPECT_NE(result.err.find("MemberHost の値が正しくありません"), std::string::npos)
        << result.err;
    EXPECT_NE(logText().find("MemberHost の値が正しくありません"), std::string::npos);
}

TEST_F(CliProgram, WritesBeyondTheFileSizeLimitAreFilesNotWritten) {
    if (!test::kFileSizeLimits) {
        GTEST_SKIP() << "Windows has no limit of the size of a process's files";
    }
    // The day's CSV is larger than 4 KB; the log and the output stay under it.
    const auto result = run({"--day", "20261205", "--kinds", "010"}, {.fileSizeLimit = 4096});
    EXPECT_EQ(result.exitCode, kExitIncomplete) << result.err;
    EXPECT_NE(result.out.find("書き込めなかったファイルがあります（1件）"), std::string::npos);
    EXPECT_NE(logText().find("ファイルサイズの上限を超えました"), std::string::npos);
    EXPECT_FALSE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(CliProgram, AClosedStandardOutputIsLoggedAndTheRunGoesOn) {
    const auto result = run({"--day", "20261205", "--kinds", "010"}, {.stdoutToClosedPipe = true});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
    const std::string log = logText();
    EXPECT_NE(log.find("標準出力に書き込めなくなりました"), std::string::npos);
    EXPECT_NE(log.find("出力処理を終了しました。"), std::string::npos);
}

TEST_F(CliProgram, WhateverTheServerSendsTheRunStaysSmall) {
    // 1 GB of repeated tables, and a cell of a gigabyte: each ends as a download failure.
    for (const sample::Fault& fault : {sample::Fault{.path = "/kestrova/tfdata2/TF2601.html",
                                      .kind = sample::FaultKind::Repeat,
                                      .times = 1000},
                                       sample::Fault{.path = "/kestrova/tfdata2/TF2601.html",
                                       .kind = sample::FaultKind::HugeCell,
                                       .bytes = std::size_t{1} << 30}}) {
        server_.clearFaults();
        server_.addFault(fault);
        const auto result = run({"--past", "2026", "--kinds", "all", "--predict", "all"});
        EXPECT_EQ(result.exitCode, kExitAborted) << result.err;
        EXPECT_NE(result.err.find("Get_TFData<<"), std::string::npos) << result.err;
        EXPECT_LT(result.peakMemory, std::uint64_t{96} << 20);
        EXPECT_EQ(result.out.find("件取得しました"), std::string::npos);
    }
}

TEST_F(CliProgram, DaysListsThisWeeksMeetingDaysWhoseFilesExist) {
    auto result = command({"days"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_EQ(result.out, "2026年12月05日  TF261205.html\n2026年12月06日  TF261206.html\n");

    server_.removeDataFile("TF261205.html");
    result = command({"days"});
    EXPECT_EQ(result.out, "2026年12月06日  TF261206.html\n");

    server_.removeDataFile("TF261206.html");
    result = command({"days"});
    EXPECT_EQ(result.exitCode, kExitFinished);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "今週の開催日データはありません。\n");
}

TEST_F(CliProgram, ASiteThatFailsBeforeAnyDayIsNotAWeekWithoutMeetings) {
    const auto unreachable = [&] {
        // Nothing listens on port 1.
        test::writeFile(app_ / "Kestrova.Ini",
                        "[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=" + server_.hostPort() +
                            "\r\nRaceAuthorityHost=http://127.0.0.1:1\r\n[USE_OPT1]\r\nTFJV_Path=" +
                            host_.string() + "\r\n");
    };
    const auto failing = [&] {
        server_.addFault(
            {.path = "/JRADB/accessD.html", .pageCode = "pw01dli00/F3", .status = 500});
    };
    for (const auto& breakSite :
         {std::function<void()>(failing), std::function<void()>(unreachable)}) {
        breakSite();
        auto result = command({"days"});
        EXPECT_EQ(result.exitCode, kExitDiscoveryFailed) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("警告: JRA のページ pw01dli00/F3 を取得できませんでした: "),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.err.find("今週の開催日データはありません"), std::string::npos);

        result = run({"--this-week", "--kinds", "010"});
        EXPECT_EQ(result.exitCode, kExitDiscoveryFailed) << result.err;
        EXPECT_NE(result.err.find("今週の開催日を調べられませんでした。"), std::string::npos);
        EXPECT_TRUE(hostFiles().empty());
        EXPECT_NE(logText().find("JRA のページ pw01dli00/F3 を取得できませんでした"),
                  std::string::npos);
    }
}

TEST_F(CliProgram, ADayPageThatFailsPartWayListsTheDaysFoundAndEndsWithProblems) {
    // Three venues a day: the fourth day page is the first of the Sunday, 2026-12-06.
    ASSERT_EQ(command({"days"}).exitCode, kExitFinished);
    const auto codes = server_.postedCodes("/JRADB/accessD.html");
    ASSERT_EQ(codes.size(), 7u);
    server_.addFault({.path = "/JRADB/accessD.html", .pageCode = codes[4], .status = 500});

    auto result = command({"days"});
    EXPECT_EQ(result.exitCode, kExitIncomplete) << result.err;
    EXPECT_EQ(result.out, "2026年12月05日  TF261205.html\n");
    EXPECT_NE(
        result.err.find("警告: JRA のページ " + codes[4] + " を取得できませんでした: 状態 500"),
        std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("今週の開催日の一部が抜けている可能性があります。"),
              std::string::npos);

    result = run({"--this-week", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitIncomplete) << result.err;
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
    EXPECT_FALSE(hostHas("KSTR_DATA/2026/KSTR010_261206.CSV"));
    EXPECT_NE(result.err.find(codes[4]), std::string::npos) << result.err;
}

TEST_F(CliProgram, ThisWeekWritesWhatTheDaysWouldWrite) {
    const std::vector<std::string> kinds = {"--kinds", "010,470", "--predict", "all"};
    auto args = kinds;
    args.insert(args.end(), {"--day", "20261205", "--day", "20261206"});
    ASSERT_EQ(run(args).exitCode, kExitFinished);
    const auto byDay = hostFiles();
    std::filesystem::remove_all(host_ / "KSTR_DATA");
    std::filesystem::remove_all(host_ / "MY_DATA" / "YOS_COM" / "2026");

    args = kinds;
    args.push_back("--this-week");
    const auto result = run(args);
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_EQ(hostFiles(), byDay);
    EXPECT_FALSE(byDay.empty());

    EXPECT_EQ(run({"--this-week", "--day", "20261205", "--kinds", "010"}).exitCode, kExitUsage);
}

TEST_F(CliProgram, RacePrintsThePagesTablesOrSaysThereIsNone) {
    // Race 11 at Nakayama on the 5th, meeting 5 day 3 in the sample calendar.
    const auto saved = temp_ / "odds.html";
    auto result = command({"race", "win", "2026120506050311", "--save", saved.string()});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    const auto shown = lines(result.out);
    ASSERT_GE(shown.size(), 9u);
    EXPECT_EQ(shown[0], "枠\t馬番\t馬名\t単勝\t複勝");
    EXPECT_NE(fromCp932(test::readFile(saved)).find("単勝"), std::string::npos);

    result = command({"race", "trio", "2026120506050399"});
    EXPECT_EQ(result.exitCode, kExitAborted);
    EXPECT_NE(result.err.find("ページが見つかりませんでした"), std::string::npos);
    EXPECT_EQ(command({"race", "odds", "2026120506050311"}).exitCode, kExitUsage);
    EXPECT_EQ(command({"race", "win", "20261205060503"}).exitCode, kExitUsage);
}

TEST_F(CliProgram, RacePrintsTablesAsTheyShowFrameImagesSpansAndTrifectaHeadings) {
    // The win table: one frame cell, an image, spans the horses of its frame.
    auto result = command({"race", "win", "2026120506050311"});
    ASSERT_EQ(result.exitCode, kExitFinished) << result.err;
    const std::regex horse(
        R"(枠[1-8](白|黒|赤|青|黄|緑|橙|桃)\t\d+\t[^\t]+\t[\d.]+\t[\d.]+-[\d.]+)");
    auto shown = lines(result.out);
    ASSERT_GE(shown.size(), 9u);
    std::set<std::string> frames;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_TRUE(std::regex_match(shown[i], horse)) << shown[i];
        frames.insert(shown[i].substr(0, shown[i].find('\t')));
    }
    EXPECT_LT(frames.size(), shown.size() - 1) << "some frame holds two horses";

    result = command({"race", "results", "2026120506050311"});
    shown = lines(result.out);
    ASSERT_GE(shown.size(), 9u);
    EXPECT_TRUE(std::regex_search(shown[1], std::regex("^1\t枠[1-8]\\S+\t\\d+\t"))) << shown[1];

    // Each trifecta table lists third places; its first and second stand on the line before.
    result = command({"race", "trifecta", "2026120506050311"});
    ASSERT_EQ(result.exitCode, kExitFinished) << result.err;
    shown = lines(result.out);
    const std::regex heading(R"(1着 (\d+) 2着 (\d+))");
    const std::regex third(R"((\d+)\t[\d.]+)");
    std::size_t tables = 0;
    std::smatch m;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (i == 0 || shown[i - 1].empty()) {
            ASSERT_TRUE(std::regex_match(shown[i], m, heading)) << shown[i];
            EXPECT_NE(m[1], m[2]);
            ++tables;
        } else if (!shown[i].empty()) {
            EXPECT_TRUE(std::regex_match(shown[i], third)) << shown[i];
        }
    }
    EXPECT_GE(tables, 3u * 7u);  // three favourites, each with every other horse second
}

TEST_F(CliProgram, SigtermStopsAfterTheFileBeingWrittenAndLeavesNothingHalfDone) {
    if (!test::stopSignalsReachChildren()) {
        GTEST_SKIP() << test::kNoStopSignals;
    }
    // The day file arrives slowly, so the signal meets the run inside the download.
    server_.addFault({.path = "/kestrova/tfdata2/TF261206.html",
                      .kind = sample::FaultKind::Trickle,
                      .delay = std::chrono::milliseconds(50),
                      .bytes = 1000});
    const auto result = run({"--day", "20261205", "--day", "20261206", "--kinds", "all"},
                            {.terminateAfter = std::chrono::milliseconds(1500)});
    EXPECT_EQ(result.exitCode, kExitAborted) << result.err;
    EXPECT_EQ(lines(result.out).back().substr(10), "出力処理を中止しました。");
    EXPECT_NE(logText().find("利用者の指示で出力処理を中止しました。"), std::string::npos);
    EXPECT_TRUE(temporaries().empty());
    // The 5th was written whole; nothing of the 6th.
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR470_261205.CSV"));
    EXPECT_FALSE(hostHas("KSTR_DATA/2026/KSTR010_261206.CSV"));
    // The lock went with the process.
    HostWriter next(host_);
    EXPECT_TRUE(next.lock());
}

TEST_F(CliProgram, TheDownloadCacheServesTheNextRunUnlessTurnedOff) {
    const std::vector<std::string> days = {"--day",    "20261205", "--day",
                                           "20261206", "--kinds",  "010"};
    const auto cacheFolder = app_ / "appdata" / "cache";
    ASSERT_EQ(run(days).exitCode, kExitFinished);
    EXPECT_TRUE(std::filesystem::exists(cacheFolder / "TF261205.html.cache"));
    ASSERT_EQ(run(days).exitCode, kExitFinished);
    EXPECT_EQ(server_.notModifiedCount("/kestrova/tfdata2/TF261205.html"), 1u);

    auto noCache = days;
    noCache.push_back("--no-cache");
    ASSERT_EQ(run(noCache).exitCode, kExitFinished);
    EXPECT_EQ(server_.notModifiedCount("/kestrova/tfdata2/TF261205.html"), 1u);

    const auto cleared = command({"cache", "--clear"});
    EXPECT_EQ(cleared.exitCode, kExitFinished);
    EXPECT_EQ(cleared.out, "キャッシュを空にしました（2件）。\n");
    EXPECT_TRUE(std::filesystem::is_empty(cacheFolder));

    // DataCache=0 in the settings: nothing kept.
    const std::string ini = test::readFile(app_ / "Kestrova.Ini");
    test::writeFile(app_ / "Kestrova.Ini", "[SYS_ENV]\r\nDataCache=0\r\n" + ini.substr(11));
    ASSERT_EQ(run(days).exitCode, kExitFinished);
    EXPECT_TRUE(std::filesystem::is_empty(cacheFolder));
}

TEST_F(CliProgram, CacheClearNamesWhatItCouldNotRemoveAndSaysSoInItsExitCode) {
    ASSERT_EQ(run({"--day", "20261205", "--kinds", "010"}).exitCode, kExitFinished);
    const auto cacheFolder = app_ / "appdata" / "cache";
    // Even root cannot remove a folder that is not empty.
    std::filesystem::create_directories(cacheFolder / "TF261206.html.cache" / "inside");
    const auto result = command({"cache", "--clear"});
    EXPECT_EQ(result.exitCode, kExitIncomplete);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "キャッシュを空にできませんでした（1件を削除、1件を削除できません）。\n  " +
                  (cacheFolder / "TF261206.html.cache").string() +
                  ": フォルダが空ではありません\n");
    EXPECT_FALSE(std::filesystem::exists(cacheFolder / "TF261205.html.cache"));
    EXPECT_NE(logText().find("TF261206.html.cache: フォルダが空ではありません"), std::string::npos);
}

TEST_F(CliProgram, RaceSavesOnlyIntoARegularFile) {
    // A rename would put a plain file in place of a device or pipe (as root, /dev/null).
    const auto fifo = temp_ / "pipe";
    if (!test::makeFifo(fifo)) {
        GTEST_SKIP() << test::kNoFifos;
    }
    ASSERT_TRUE(test::makeSymlink(fifo, temp_ / "link"));
    for (const auto& target : {fifo, temp_ / "link"}) {
        const auto result = command({"race", "win", "2026120506050311", "--save", target.string()});
        EXPECT_EQ(result.exitCode, kExitUsage) << result.err;
        EXPECT_EQ(result.err, "--save の保存先は通常のファイルではないため書き込みません: " +
                                  target.string() + "\n");
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(std::filesystem::is_symlink(temp_ / "link"));
    EXPECT_EQ(server_.bytesSent(), 0u);
}

TEST_F(CliProgram, OwnFilesThatCannotBeWrittenAreSaidOnceAndTheExportGoesOn) {
    // A file where the log's and the cache's folders belong: nobody, root included, writes
    // there, as in a read-only application folder.
    test::writeFile(app_ / "logs", "");
    test::writeFile(app_ / "appdata", "");
    auto result = run({"--day", "20261205", "--kinds", "010"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_TRUE(hostHas("KSTR_DATA/2026/KSTR010_261205.CSV"));
    const std::string notice = "ログを書き込めません。(" + (app_ / "logs").string() +
                               ": 同じ名前のファイルがあります)\n"
                               "ダウンロードのキャッシュを保存できません。(" +
                               (app_ / "appdata" / "cache").string();
    EXPECT_TRUE(result.err.starts_with(notice)) << result.err;
    EXPECT_EQ(result.err.find("このまま続けます。"), result.err.rfind("このまま続けます。"));

    // Without the cache only the log is named.
    result = run({"--day", "20261205", "--kinds", "010", "--no-cache"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_TRUE(result.err.starts_with("ログを書き込めません。")) << result.err;
    EXPECT_EQ(result.err.find("キャッシュ"), std::string::npos) << result.err;
}

TEST_F(CliProgram, ASettingsFileThatCannotBeReadIsRefusedBeforeAnyRequest) {
    // The built-in hosts are never taken instead of the configured ones; a FIFO is not
    // waited on.
    const auto ini = app_ / "Kestrova.Ini";
    std::filesystem::remove(ini);
    if (!test::makeFifo(ini)) {
        GTEST_SKIP() << test::kNoFifos;
    }
    const std::string refusal = "設定ファイルを読み込めませんでした。(" + ini.string() + ": ";
    for (const auto& result :
         {command({"days"}), command({"race", "win", "2026120506050311"}),
          run({"--day", "20261205", "--kinds", "010", "--host-folder", host_.string()})}) {
        EXPECT_EQ(result.exitCode, kExitUsage) << result.err;
        EXPECT_EQ(result.err, refusal + "通常のファイルではありません)\n");
    }
    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    const auto result = command({"days"});
    EXPECT_EQ(result.exitCode, kExitUsage) << result.err;
    EXPECT_EQ(result.err, refusal + "同じ名前のフォルダがあります)\n");
    EXPECT_EQ(server_.bytesSent(), 0u);
    EXPECT_NE(logText().find(refusal), std::string::npos);
}

TEST_F(CliProgram, ALargeSettingsFileCostsAboutItsOwnSize) {
    // 8 MB of empty lines before the settings: read once, not copied line by line.
    std::string settings;
    for (int i = 0; i < 4 << 20; ++i) {
        settings += "\r\n";
    }
    settings += test::readFile(app_ / "Kestrova.Ini");
    test::writeFile(app_ / "Kestrova.Ini", settings);
    settings = std::string();
    // The child's peak starts at this process's own on Linux, so a whole test program run
    // by hand would otherwise measure its earlier tests.
    const std::uint64_t ownPeak = test::ownPeakMemory();
    const auto result = command({"days"});
    EXPECT_EQ(result.exitCode, kExitFinished) << result.err;
    EXPECT_EQ(result.out, "2026年12月05日  TF261205.html\n2026年12月06日  TF261206.html\n");
    EXPECT_LT(result.peakMemory, std::max(std::uint64_t{48} << 20, ownPeak + (4 << 20)));
}

}  // namespace
}  // namespace kestrova::cli
