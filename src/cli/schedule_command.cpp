#include <exception>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/ss_logging.h"
#include "base/text.h"
#include "cli/cli_command.h"
#include "export/host_folder.h"
#include "export/selection_check.h"
#include "services/app_log.h"
#include "services/app_settings.h"
#include "services/ini_file.h"

namespace kestrova::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTag = "kestrova-cli:schedule";

/// The schedule command's files and what it says.
class Scheduler {
  public:
    Scheduler(const CliEnvironment& env, const fs::path& appFolder)
        : env_(env),
          appFolder_(fs::absolute(appFolder)),
          log_(makeAppLog(appFolder_)),
          system_(env.scheduleSystem()),
          service_(system_.unitFolder / (std::string(kScheduleUnitName) + ".service")),
          timer_(system_.unitFolder / (std::string(kScheduleUnitName) + ".timer")) {}

    int install(const ExportRequest& request) {
        const SelectionCheckResult check = lst_ThisW_Chk(selectionCheckInput(request));
        if (!check.ok) {
            return refuse(check.message);
        }
        ExportRequest weekly = request;
        weekly.appFolder = appFolder_;
        if (weekly.hostFolder) {
            weekly.hostFolder = fs::absolute(*weekly.hostFolder);
        }
        // The job runs unattended: a folder it could never write is said now, not in a log
        // nobody reads.
        const fs::path hostFolder = weekly.hostFolder.value_or(
            pathFromUtf8(IniSnapshot(settingsFile(appFolder_)).text("USE_OPT1", "TFJV_Path")));
        if (const auto problem = hostFolderProblem(hostFolder)) {
            return refuse(*problem);
        }
        const WeeklyJob job{pathText(env_.executableFolder / "kestrova-cli"),
                            weeklyExportArguments(weekly)};
        if (const auto problem = unschedulableArgument(job)) {
            return refuse(*problem);
        }
        if (!system_.userManager) {
            env_.err
                << "systemd のユーザーマネージャーが動いていないため、タイマーは登録しません。\n"
                   "crontab -e で次の行を追加して下さい（金曜夜と土曜朝）:\n"
                << std::flush;
            env_.out << crontabLines(job, system_.cronMinute) << std::flush;
            log_.InfoLog(std::string(kTag) +
                         ": systemd のユーザーマネージャーがないため crontab の行を表示しました: " +
                         cronCommand(job));
            return kExitFinished;
        }
        fs::create_directories(system_.unitFolder);
        writeFileAtomically(service_, serviceUnitText(job));
        writeFileAtomically(timer_, timerUnitText());
        env_.out << "毎週の出力を登録しました（金曜 20:00 と土曜 07:00、最大 30 分の遅れ）:\n  "
                 << pathText(service_) << "\n  " << pathText(timer_) << "\n"
                 << std::flush;
        log_.InfoLog(std::string(kTag) + ": " + pathText(timer_) +
                     " を登録しました: " + systemdCommandLine(job));
        if (!systemctl("daemon-reload") || !systemctl("enable --now " + timerName())) {
            return kExitIncomplete;
        }
        env_.out << "タイマーを有効にしました。予定: systemctl --user list-timers " << timerName()
                 << "\n記録: journalctl --user -u " << kScheduleUnitName << std::endl;
        log_.InfoLog(std::string(kTag) + ": " + timerName() + " を有効にしました。");
        return kExitFinished;
    }

    int remove() {
        if (!installed()) {
            env_.out << "登録されている毎週の出力（" << timerName() << "）はありません。\n";
            if (!system_.userManager) {
                env_.out << "crontab に追加した行は crontab -e で削除して下さい。\n";
            }
            env_.out << std::flush;
            log_.InfoLog(std::string(kTag) + ": 登録はありません。");
            return kExitFinished;
        }
        // Stopped before its files go, so that the manager does not keep a unit it can no
        // longer find.
        bool managed = !system_.userManager || systemctl("disable --now " + timerName());
        fs::remove(timer_);
        fs::remove(service_);
        managed = (!system_.userManager || systemctl("daemon-reload")) && managed;
        env_.out << "毎週の出力の登録を削除しました:\n  " << pathText(service_) << "\n  "
                 << pathText(timer_) << std::endl;
        log_.InfoLog(std::string(kTag) + ": " + timerName() + " を削除しました。");
        return managed ? kExitFinished : kExitIncomplete;
    }

    int show() {
        if (!installed()) {
            env_.out << "登録されている毎週の出力（" << timerName() << "）はありません。\n";
            if (!system_.userManager) {
                env_.out << "systemd のユーザーマネージャーが動いていません。crontab の行は "
                            "crontab -l で確認できます。\n";
            }
            env_.out << std::flush;
            return kExitFinished;
        }
        for (const fs::path& file : {service_, timer_}) {
            env_.out << "== " << pathText(file) << "\n" << readUnit(file);
        }
        env_.out << std::flush;
        if (system_.userManager) {
            // Its own output: the next and the last run.
            systemctl("list-timers --all --no-pager " + timerName());
        }
        return kExitFinished;
    }

    bool onlyTaskScheduler() const { return system_.taskScheduler; }

    /// Windows: the Task Scheduler's command for the weekly export, with this program's path.
    int pointToTaskScheduler() {
        const std::string program = pathText(env_.executableFolder / "kestrova-cli.exe");
        env_.err << "Windows では schedule は使えません。タスク スケジューラーに登録して下さい"
                    "（コマンド プロンプトで、毎週金曜 20:00 の例）:\n"
                    "  schtasks /Create /TN \"Kestrova weekly export\" /SC WEEKLY /D FRI /ST 20:00 "
                    "/TR \"\\\""
                 << program << "\\\" export --this-week --kinds all --predict all --result all\"\n"
                 << std::flush;
        log_.WarnLog(std::string(kTag) + "<<Windows ではタスク スケジューラーを案内しました。>>");
        return kExitUsage;
    }

    /// Anything a unit file's write or removal threw.
    int failed(const std::exception& error) {
        const std::string description = describeError(error);
        env_.err << description << std::endl;
        log_.ErrorLog(errorText(kTag, description));
        return kExitFailure;
    }

  private:
    static std::string timerName() { return std::string(kScheduleUnitName) + ".timer"; }

    bool installed() const {
        std::error_code error;
        return fs::exists(service_, error) || fs::exists(timer_, error);
    }

    static std::string readUnit(const fs::path& file) {
        std::string text;
        if (const auto error = readRegularFile(file, text)) {
            return error == std::errc::no_such_file_or_directory
                       ? "（ありません）\n"
                       : "（読めません: " + fileErrorReason(error) + "）\n";
        }
        return text;
    }

    bool systemctl(const std::string& arguments) {
        env_.out << std::flush;
        if (system_.systemctl(arguments)) {
            return true;
        }
        const std::string message = "systemctl --user " + arguments + " に失敗しました。";
        env_.err << message << std::endl;
        log_.WarnLog(std::string(kTag) + "<<" + message + ">>");
        return false;
    }

    int refuse(std::string_view message) {
        env_.err << replaceAll(message, "\r\n", "\n") << std::endl;
        log_.WarnLog(std::string(kTag) + "<<" + replaceAll(message, "\r\n", " ") + ">>");
        return kExitUsage;
    }

    const CliEnvironment& env_;
    fs::path appFolder_;
    SsLogging log_;
    ScheduleSystem system_;
    fs::path service_;
    fs::path timer_;
};

}  // namespace

int runSchedule(ScheduleAction action, const ExportRequest& request, const CliEnvironment& env) {
    Scheduler scheduler(env,
                        request.appFolder ? *request.appFolder : env.defaultAppFolder().folder);
    if (scheduler.onlyTaskScheduler()) {
        return scheduler.pointToTaskScheduler();
    }
    try {
        switch (action) {
            case ScheduleAction::Remove:
                return scheduler.remove();
            case ScheduleAction::Show:
                return scheduler.show();
            case ScheduleAction::Install:
                break;
        }
        return scheduler.install(request);
    } catch (const std::exception& error) {
        return scheduler.failed(error);
    }
}

}  // namespace kestrova::cli
