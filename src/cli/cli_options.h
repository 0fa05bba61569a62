#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/data_kinds.h"
#include "export/selection_check.h"

namespace kestrova::cli {

/// Exit codes of kestrova-cli.
enum ExitCode : int {
    kExitFinished = 0,    ///< "出力処理を終了しました。"
    kExitFailure = 1,     ///< the run broke off without its closing line
    kExitUsage = 2,       ///< bad arguments, refused selection, host folder not usable
    kExitAborted = 3,     ///< "出力処理を中止しました。"
    kExitIncomplete = 4,  ///< finished with problems: files not written, data missing
    kExitBusy = 5,        ///< another run is writing into the host folder
    /// days, export --this-week: the racing authority's pages failed before any meeting day
    /// was learnt, so "no meeting this week" cannot be told
    kExitDiscoveryFailed = 6,
};

/// `export` as given on the command line, duplicates removed.
struct ExportRequest {
    std::optional<std::filesystem::path> appFolder;
    std::optional<std::filesystem::path> hostFolder;
    /// Start years of --past; more than one is refused by the selection check.
    std::vector<int> pastYears;
    /// Meeting days of --day (yyyymmdd), ascending as the window lists them.
    std::vector<std::string> days;
    /// --this-week: this week's meeting days, as the window offers them.
    bool thisWeek = false;
    /// --no-cache: every file downloaded whole, nothing kept for the next run.
    bool noCache = false;
    /// Index codes of --kinds in the order of the data-kind list.
    std::vector<std::string> indexCodes;
    /// The ten comment entries: even = --predict, odd = --result.
    std::array<bool, kCommentEntryCount> commentEntries{};
};

/// `race`: one race's result or odds page from the racing authority's site.
struct RaceRequest {
    std::string page;     ///< results, win, bracket, quinella, wide, exacta, trio, trifecta
    std::string raceKey;  ///< 16 digits
    std::optional<std::filesystem::path> saveTo;  ///< --save: the page as the site sent it
};

enum class CommandKind { Help, Version, Export, Days, Race, ClearCache, Schedule, Error };

/// `schedule`: --this-week with the export's options installs the weekly job, --remove
/// removes it, --show shows it.
enum class ScheduleAction { Install, Remove, Show };

struct ParsedCommand {
    CommandKind kind = CommandKind::Help;
    /// What was understood so far; also filled on Error, so the log can still be found.
    /// Its application folder serves every command.
    ExportRequest request;
    RaceRequest race;
    ScheduleAction schedule = ScheduleAction::Install;
    /// Japanese message when kind is Error.
    std::string error;
};

/// The page names of `race`.
inline constexpr std::array<std::string_view, 8> kRacePages = {
    "results", "win", "bracket", "quinella", "wide", "exacta", "trio", "trifecta"};

/// Parses the arguments after the program name. `today` bounds the --past years.
ParsedCommand parseCommandLine(std::span<const std::string_view> args,
                               std::chrono::year_month_day today);

/// The selection as the window's lst_ThisW would hold it: the month template of each
/// --past year ("TFyymm.html") and the day page of each --day ("TFyymmdd.html"); with
/// --this-week, a day page standing for the days still to be learnt.
SelectionCheckInput selectionCheckInput(const ExportRequest& request);

}  // namespace kestrova::cli
