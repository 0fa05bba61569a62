#include <sstream>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "cli/cli_command.h"
#include "cli/schedule.h"
#include "services/app_settings.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace kestrova::cli {
namespace {

using namespace std::chrono;

/// Words a folder name may hold that systemd or the shell would otherwise take apart.
const std::vector<std::string> kAwkwardFolders = {
    "/mnt/競馬 share/TFJV",   "/srv/it's 100% done", R"(/srv/back\slash\%x)",
    "/srv/$HOME and ${PATH}", R"(/srv/"quoted")",    "/srv/semi;colon & amp|pipe",
    R"(/srv/two\\back\)",
};

TEST(ScheduleQuoting, ExecStartQuotesWhatSystemdWouldSplitOrExpand) {
    const WeeklyJob job{"/usr/bin/kestrova-cli",
                        {"export", "--host-folder", "/mnt/競馬 share/TFJV", "--this-week"}};
    EXPECT_EQ(systemdCommandLine(job),
              R"(/usr/bin/kestrova-cli export --host-folder "/mnt/競馬 share/TFJV" --this-week)");

    // Specifiers and variables are doubled; quotes and backslashes are escaped.
    const WeeklyJob awkward{"/opt/my apps/kestrova-cli",
                            {"/srv/it's 100% $HOME", R"(/srv/"q"\x)", "50%"}};
    EXPECT_EQ(systemdCommandLine(awkward),
              R"("/opt/my apps/kestrova-cli" "/srv/it's 100%% $$HOME" "/srv/\"q\"\\x" 50%%)");
}

/// What cron hands to /bin/sh from the command part of a crontab line (crontab(5)): an
/// unescaped "%" ends the command and "\\%" is a "%". A backslash before another one is
/// dropped by Debian's cron and kept by cronie; before anything else both keep it.
std::string commandAsCronRunsIt(std::string_view line, bool debian) {
    std::string command;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            if (next != '%' && !(debian && next == '\\')) {
                command += '\\';
            }
            command += next;
        } else if (line[i] == '%') {
            break;
        } else {
            command += line[i];
        }
    }
    return command;
}

/// systemd and cron, and the folder names written for them, are of POSIX systems.
constexpr bool kPosix = std::filesystem::path::preferred_separator == '/';
constexpr const char* kNotPosix = "no systemd, cron or /bin/sh on Windows";

TEST(ScheduleQuoting, TheCrontabCommandGivesTheShellEveryFolderWhole) {
    if (!kPosix) {
        GTEST_SKIP() << kNotPosix;
    }
    // printf stands in for kestrova-cli: it prints each argument it gets on a line of its own.
    WeeklyJob job{"printf", {R"([%s]\n)"}};
    std::string expected;
    for (const auto& folder : kAwkwardFolders) {
        job.arguments.push_back(folder);
        expected += "[" + folder + "]\n";
    }
    const std::string lines = crontabLines(job, 17);
    const std::string line = lines.substr(0, lines.find('\n'));
    ASSERT_TRUE(line.starts_with("17 20 * * 5 ")) << line;
    for (const bool debian : {true, false}) {
        const std::string command = commandAsCronRunsIt(line.substr(12), debian);
        const auto result = test::runChild("/bin/sh", {"-c", command});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, expected) << command;
    }
}

TEST(ScheduleQuoting, LineBreaksInAFolderCannotBeScheduled) {
    EXPECT_FALSE(unschedulableArgument({"/usr/bin/kestrova-cli", kAwkwardFolders}));
    EXPECT_EQ(unschedulableArgument({"/usr/bin/kestrova-cli", {"--host-folder", "/a\nb"}}),
              "改行などの制御文字を含むフォルダ名は登録できません: /a\nb");
}

/// runCli's schedule command with a user manager that records what it is asked.
class Schedule : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kPosix) {
            GTEST_SKIP() << kNotPosix;
        }
        std::filesystem::create_directories(app_);
        std::filesystem::create_directories(host_);
        test::writeFile(host_ / "TFJV.EXE", "");
    }

    int run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        args.insert(args.begin(), "schedule");
        std::vector<std::string_view> views(args.begin(), args.end());
        const CliEnvironment env{out_,
                                 err_,
                                 std::nullopt,
                                 [this] {
                                     return AppFolder{app_, true};
                                 },
                                 2026y / December / 6d,
                                 "/usr/bin",
                                 [this] { return system(); }};
        return runCli(views, env);
    }

    ScheduleSystem system() {
        return {units_, userManager_,
                [this](std::string_view arguments) {
                    calls_.emplace_back(arguments);
                    return systemctlWorks_;
                },
                17};
    }

    std::string log() const { return fromCp932(test::readFile(app_ / "logs" / "Kestrova.log")); }
    std::string unit(std::string_view suffix) const {
        return test::readFile(units_ / ("kestrova-export" + std::string(suffix)));
    }
    bool anyUnit() const {
        return std::filesystem::exists(units_ / "kestrova-export.service") ||
               std::filesystem::exists(units_ / "kestrova-export.timer");
    }

    test::TempDir temp_;
    std::filesystem::path app_ = temp_ / "app";
    std::filesystem::path host_ = temp_.path() / pathFromUtf8("競馬 share") / "TFJV";
    std::filesystem::path units_ = temp_ / "config" / "systemd" / "user";
    bool userManager_ = true;
    bool systemctlWorks_ = true;
    std::vector<std::string> calls_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(Schedule, InstallWritesTheUnitsAndEnablesTheTimer) {
    ASSERT_EQ(run({"--this-week", "--kinds", "all", "--predict", "003,001", "--host-folder",
                   pathText(host_)}),
              kExitFinished)
        << err_.str();
    const std::string service = unit(".service");
    EXPECT_NE(service.find("\nType=oneshot\n"), std::string::npos);
    EXPECT_NE(service.find("\nExecStart=/usr/bin/kestrova-cli export --app-folder " +
                           pathText(app_) + " --host-folder \"" + pathText(host_) +
                           "\" --this-week --kinds all --predict 001,003\n"),
              std::string::npos)
        << service;
    const std::string timer = unit(".timer");
    for (const char* line :
         {"OnCalendar=Fri *-*-* 20:00:00", "OnCalendar=Sat *-*-* 07:00:00", "Persistent=true",
          "RandomizedDelaySec=30min", "WantedBy=timers.target"}) {
        EXPECT_NE(timer.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"daemon-reload", "enable --now kestrova-export.timer"}));
    EXPECT_NE(out_.str().find("タイマーを有効にしました。"), std::string::npos);
    EXPECT_NE(log().find("kestrova-cli:schedule: kestrova-export.timer を有効にしました。"),
              std::string::npos);

    // Shown as installed, with the manager's own view after the files.
    calls_.clear();
    EXPECT_EQ(run({"--show"}), kExitFinished);
    EXPECT_NE(out_.str().find(service), std::string::npos);
    EXPECT_NE(out_.str().find(timer), std::string::npos);
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"list-timers --all --no-pager kestrova-export.timer"}));

    // Removed: stopped first, then the files, then the manager told.
    calls_.clear();
    EXPECT_EQ(run({"--remove"}), kExitFinished);
    EXPECT_FALSE(anyUnit());
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"disable --now kestrova-export.timer", "daemon-reload"}));
}

TEST_F(Schedule, TheHostFolderOfTheSettingsIsLeftToTheSettingsAndRelativeFoldersMadeWhole) {
    test::writeFile(settingsFile(app_),
                    toCp932("[USE_OPT1]\r\nTFJV_Path=" + pathText(host_) + "\r\n").bytes);
    ASSERT_EQ(run({"--this-week", "--result", "all", "--no-cache"}), kExitFinished) << err_.str();
    EXPECT_NE(unit(".service")
                  .find("ExecStart=/usr/bin/kestrova-cli export --app-folder " + pathText(app_) +
                        " --this-week --result all --no-cache\n"),
              std::string::npos);

    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(temp_.path());
    const int code = run({"--this-week", "--kinds", "010", "--host-folder",
                          pathText(host_.lexically_relative(temp_.path()))});
    std::filesystem::current_path(here);
    ASSERT_EQ(code, kExitFinished) << err_.str();
    EXPECT_NE(unit(".service").find(" --host-folder \"" + pathText(host_) + "\" "),
              std::string::npos);
}

TEST_F(Schedule, WithoutAUserManagerTheCrontabLinesArePrintedAndNothingIsInstalled) {
    userManager_ = false;
    ASSERT_EQ(run({"--this-week", "--kinds", "010", "--host-folder", pathText(host_)}),
              kExitFinished);
    const std::string command = "/usr/bin/kestrova-cli export --app-folder " + pathText(app_) +
                                " --host-folder '" + pathText(host_) + "' --this-week --kinds 010";
    EXPECT_EQ(out_.str(), "17 20 * * 5 " + command + "\n17 7 * * 6 " + command + "\n");
    EXPECT_NE(err_.str().find("crontab -e"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(units_));
    EXPECT_TRUE(calls_.empty());
    EXPECT_NE(log().find("crontab の行を表示しました: " + command), std::string::npos);
}

TEST_F(Schedule, RemoveAndShowWithNothingInstalledSaySoAndTouchNothing) {
    for (const bool manager : {true, false}) {
        userManager_ = manager;
        EXPECT_EQ(run({"--remove"}), kExitFinished);
        EXPECT_TRUE(
            out_.str().starts_with("登録されている毎週の出力（kestrova-export.timer）は"
                                   "ありません。\n"))
            << out_.str();
        EXPECT_EQ(out_.str().find("crontab -e") != std::string::npos, !manager);
        EXPECT_EQ(run({"--show"}), kExitFinished);
        EXPECT_EQ(out_.str().find("crontab -l") != std::string::npos, !manager);
    }
    EXPECT_TRUE(calls_.empty());
    EXPECT_FALSE(std::filesystem::exists(units_));
}

TEST_F(Schedule, RefusesWhatTheWeeklyRunCouldNeverDoBeforeWritingAnything) {
    // Not this week's days.
    EXPECT_EQ(run({"--day", "20261205", "--kinds", "010"}), kExitUsage);
    // Nothing chosen to write.
    EXPECT_EQ(run({"--this-week", "--host-folder", pathText(host_)}), kExitUsage);
    EXPECT_NE(err_.str().find("が未選択です。"), std::string::npos) << err_.str();
    // No host program in the folder, or no folder at all.
    EXPECT_EQ(run({"--this-week", "--kinds", "010", "--host-folder", pathText(temp_.path())}),
              kExitUsage);
    EXPECT_EQ(run({"--this-week", "--kinds", "010"}), kExitUsage);
    EXPECT_EQ(run({"--remove", "--show"}), kExitUsage);
    EXPECT_FALSE(std::filesystem::exists(units_));
    EXPECT_TRUE(calls_.empty());
}

TEST_F(Schedule, AManagerThatRefusesIsReportedWithExitCode4) {
    systemctlWorks_ = false;
    EXPECT_EQ(run({"--this-week", "--kinds", "010", "--host-folder", pathText(host_)}),
              kExitIncomplete);
    EXPECT_NE(err_.str().find("systemctl --user daemon-reload に失敗しました。"),
              std::string::npos);
    EXPECT_NE(
        log().find("kestrova-cli:schedule<<systemctl --user daemon-reload に失敗しました。>>"),
        std::string::npos);
    EXPECT_TRUE(anyUnit());  // installed, to be enabled by hand
}

TEST(ScheduleOnWindows, PointsToTheTaskSchedulerAndWritesNoUnit) {
    // Crontab lines or systemd units would mean nothing there.
    test::TempDir temp;
    const std::filesystem::path app = temp / "app";
    std::filesystem::create_directories(app);
    std::ostringstream out;
    std::ostringstream err;
    bool asked = false;
    const CliEnvironment env{out,
                             err,
                             std::nullopt,
                             [&] {
                                 return AppFolder{app, true};
                             },
                             2026y / December / 6d,
                             temp / "bin",
                             [&] {
                                 ScheduleSystem system;
                                 system.unitFolder = temp / "units";
                                 system.systemctl = [&](std::string_view) { return asked = true; };
                                 system.taskScheduler = true;
                                 return system;
                             }};
    for (const std::vector<std::string_view>& args :
         {std::vector<std::string_view>{"schedule", "--this-week", "--kinds", "all"},
          {"schedule", "--remove"},
          {"schedule", "--show"}}) {
        err.str("");
        EXPECT_EQ(runCli(args, env), kExitUsage);
        EXPECT_NE(err.str().find("schtasks /Create"), std::string::npos) << err.str();
        EXPECT_NE(err.str().find(pathText(temp / "bin" / "kestrova-cli.exe")), std::string::npos);
    }
    EXPECT_TRUE(out.str().empty());
    EXPECT_FALSE(asked);
    EXPECT_FALSE(std::filesystem::exists(temp / "units"));
}

}  // namespace
}  // namespace kestrova::cli
