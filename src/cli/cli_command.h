#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string_view>

#include "cli/cli_options.h"
#include "cli/schedule.h"
#include "services/app_folder.h"

namespace kestrova::cli {

/// Where kestrova-cli runs: its streams, its folder and the date.
struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    /// Terminal width behind `err`; nullopt draws no progress line.
    std::optional<std::size_t> progressColumns;
    /// The application folder when --app-folder is not given (the window's: the executable's
    /// folder, or the per-user folder where that cannot be written). Asked only then: finding
    /// it may test a folder by writing into it.
    std::function<AppFolder()> defaultAppFolder;
    std::chrono::year_month_day today;
    /// The folder of kestrova-cli, named in the log when the per-user folder stands in for it,
    /// and the program a scheduled job runs.
    std::filesystem::path executableFolder;
    /// Where `schedule` installs the weekly job; asked only by that command.
    std::function<ScheduleSystem()> scheduleSystem;
};

/// The whole program after main(): parses `args` (without the program name), runs the
/// command and returns the exit code.
int runCli(std::span<const std::string_view> args, const CliEnvironment& env);

/// `export` with parsed arguments: selection check, settings, host folder, the run; with
/// --this-week the days the window would offer.
int runExport(const ExportRequest& request, const CliEnvironment& env);

/// `days`: this week's meeting days whose day files exist, one a line.
int runDays(const ExportRequest& request, const CliEnvironment& env);

/// `schedule`: installs the weekly `export --this-week` of `request` as a systemd user timer
/// (or, without a user manager, prints its crontab lines), removes it or shows it.
int runSchedule(ScheduleAction action, const ExportRequest& request, const CliEnvironment& env);

/// `race`: the result or odds page of one race, its tables as tab-separated text.
int runRace(const ExportRequest& request, const RaceRequest& race, const CliEnvironment& env);

}  // namespace kestrova::cli
