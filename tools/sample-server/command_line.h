#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sample_server.h"

namespace kestrova::sample {

/// What the kestrova-sample-server program was asked to do.
struct CommandLine {
    ServerOptions server;
    std::vector<Fault> faults;
    bool https = false;
    bool printIni = false;
    bool help = false;
};

/// Parses the program's arguments (without the program name); throws std::invalid_argument
/// with a message naming the bad argument.
CommandLine parseCommandLine(const std::vector<std::string_view>& args);

/// "PATH[@CODE]=KIND[:ARGS]": status:CODE, slow:MS, stall:BYTES:MS, cut:BYTES, oversized:ROWS,
/// notables, nocodes, unclosed, duplicate[:N], unknowncode, reverseddays, redirect:STATUS,
/// repeat:TIMES, hugecell:BYTES, truncate:BYTES, trickle:BYTES:MS, badencoding[:CODING].
Fault parseFault(std::string_view option);

/// A Kestrova.Ini that points the program at a server on `hostPort`.
std::string sampleIni(const std::string& hostPort, bool https);

extern const char* const kUsage;

}  // namespace kestrova::sample
