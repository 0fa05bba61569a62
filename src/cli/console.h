#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrova::cli {

/// Width of the terminal on standard error; nullopt when standard error is not a terminal.
std::optional<std::size_t> stderrTerminalColumns();

/// The folder of the running executable.
std::filesystem::path executableFolder();

/// The program's arguments as UTF-8 (Windows hands them over in UTF-16), without the
/// program's name. Also readies the standard streams on Windows: the console shows UTF-8,
/// and "\n" stays "\n" as on other systems.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// The per-user data folder the window uses when its own folder cannot be written:
/// $XDG_DATA_HOME/Kestrova, else ~/.local/share/Kestrova; on Windows
/// %LOCALAPPDATA%\Kestrova.
std::filesystem::path userDataFolder();

/// Ctrl-C (SIGINT) and SIGTERM ask a running export to stop after the file being written;
/// a second one ends the program at once. On Windows: Ctrl+C, Ctrl+Break and closing the
/// console.
void installStopSignals();
/// True once a stop signal arrived.
bool stopSignalled();

}  // namespace kestrova::cli
