#pragma once

// The weekly export as a systemd user timer, or as crontab lines where no user manager runs.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"

namespace kestrova::cli {

/// The name of the service and timer units in the user's systemd folder.
inline constexpr std::string_view kScheduleUnitName = "kestrova-export";

/// The weekly job: kestrova-cli's absolute path and the arguments after it, UTF-8.
struct WeeklyJob {
    std::string program;
    std::vector<std::string> arguments;
};

/// The arguments of the weekly `export --this-week` for `request`: its folders as given
/// (callers make them absolute), the index kinds and comment marks as "all" where every one
/// is chosen, else as codes.
std::vector<std::string> weeklyExportArguments(const ExportRequest& request);

/// Why `job` cannot be written into a unit file or a crontab line (a line break or another
/// control character in an argument), or nothing.
std::optional<std::string> unschedulableArgument(const WeeklyJob& job);

/// The command line of `job` as ExecStart= of a unit reads it: quoted, with "%" and "$"
/// doubled so that neither a specifier nor a variable is expanded.
std::string systemdCommandLine(const WeeklyJob& job);

/// The command of `job` as a crontab line runs it: quoted for /bin/sh, and every "%", which
/// cron turns into a line break, escaped.
std::string cronCommand(const WeeklyJob& job);

/// kestrova-export.service: one export run, its output in the journal.
std::string serviceUnitText(const WeeklyJob& job);

/// kestrova-export.timer: Friday evening and Saturday morning, runs missed while the machine
/// was off made up at the next start, each run delayed at random so that the users of the
/// member server do not all arrive in the same second.
std::string timerUnitText();

/// The crontab lines of the same times. Cron has no random delay: `minute` (0..59), drawn
/// once per user, spreads the users instead.
std::string crontabLines(const WeeklyJob& job, int minute);

/// What the schedule command reaches outside the program; tests give their own.
struct ScheduleSystem {
    /// The user's systemd unit folder: $XDG_CONFIG_HOME/systemd/user, ~/.config/systemd/user.
    std::filesystem::path unitFolder;
    /// A systemd user manager runs for this user.
    bool userManager = false;
    /// Runs "systemctl --user" with `arguments`; true when it succeeded.
    std::function<bool(std::string_view arguments)> systemctl;
    /// The minute of the crontab lines.
    int cronMinute = 0;
    /// Windows: schedules belong to its Task Scheduler, which the command only points to.
    bool taskScheduler = false;
};

/// This user's: the unit folder, whether the manager answers, systemctl itself.
ScheduleSystem thisUsersScheduleSystem();

}  // namespace kestrova::cli
