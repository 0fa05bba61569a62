#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>

namespace kestrova::cli {

/// Width of the terminal on standard error; nullopt when standard error is not a terminal.
std::optional<std::size_t> stderrTerminalColumns();

/// The folder of the running executable.
std::filesystem::path executableFolder();

/// The per-user data folder the window uses when its own folder cannot be written:
/// $XDG_DATA_HOME/Kestrova, else ~/.local/share/Kestrova.
std::filesystem::path userDataFolder();

/// Ctrl-C (SIGINT) and SIGTERM ask a running export to stop after the file being written;
/// a second one ends the program at once.
void installStopSignals();
/// True once a stop signal arrived.
bool stopSignalled();

}  // namespace kestrova::cli
