#pragma once

namespace kestrova::sample {

/// From now on SIGINT and SIGTERM (on Windows Ctrl+C, Ctrl+Break and closing the console)
/// end waitForStopSignal() instead of the program. Call before any thread starts.
void holdStopSignals();

/// Returns once a stop signal arrived.
void waitForStopSignal();

/// Standard output and error write bytes as given (Windows would write CR LF for LF).
void writeOutputUnchanged();

}  // namespace kestrova::sample
