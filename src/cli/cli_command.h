#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string_view>

#include "cli/cli_options.h"

namespace kestrova::cli {

/// Where kestrova-cli runs: its streams, its folder and the date.
struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    /// Terminal width behind `err`; nullopt draws no progress line.
    std::optional<std::size_t> progressColumns;
    /// The application folder when --app-folder is not given.
    std::filesystem::path executableFolder;
    std::chrono::year_month_day today;
};

/// The whole program after main(): parses `args` (without the program name), runs the
/// command and returns the exit code.
int runCli(std::span<const std::string_view> args, const CliEnvironment& env);

/// `export` with parsed arguments: selection check, settings, host folder, the run.
int runExport(const ExportRequest& request, const CliEnvironment& env);

}  // namespace kestrova::cli
