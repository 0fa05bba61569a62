#pragma once

#include <filesystem>

#include "base/ss_logging.h"

namespace kestrova {

/// LogInit: the program's log writer, "Kestrova.log" in the "logs" folder of `appFolder`, at
/// information level, rotated at 3 MB with five old files kept. The window and the command
/// line write the same file, so a scheduled run's history sits beside the window's.
SsLogging makeAppLog(const std::filesystem::path& appFolder);

}  // namespace kestrova
