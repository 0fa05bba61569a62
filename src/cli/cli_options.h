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
};

/// `export` as given on the command line, duplicates removed.
struct ExportRequest {
    std::optional<std::filesystem::path> appFolder;
    std::optional<std::filesystem::path> hostFolder;
    /// Start years of --past; more than one is refused by the selection check.
    std::vector<int> pastYears;
    /// Meeting days of --day (yyyymmdd), ascending as the window lists them.
    std::vector<std::string> days;
    /// Index codes of --kinds in the order of the data-kind list.
    std::vector<std::string> indexCodes;
    /// The ten comment entries: even = --predict, odd = --result.
    std::array<bool, kCommentEntryCount> commentEntries{};
};

enum class CommandKind { Help, Export, Error };

struct ParsedCommand {
    CommandKind kind = CommandKind::Help;
    /// What was understood so far; also filled on Error, so the log can still be found.
    ExportRequest request;
    /// Japanese message when kind is Error.
    std::string error;
};

/// Parses the arguments after the program name. `today` bounds the --past years.
ParsedCommand parseCommandLine(std::span<const std::string_view> args,
                               std::chrono::year_month_day today);

/// The selection as the window's lst_ThisW would hold it: the month template of each
/// --past year ("TFyymm.html") and the day page of each --day ("TFyymmdd.html").
SelectionCheckInput selectionCheckInput(const ExportRequest& request);

}  // namespace kestrova::cli
