#pragma once

namespace kestrova {

/// A write to a closed pipe or beyond the file-size limit ends the process by a signal on
/// POSIX systems, with no log line and a temporary file left behind. Made into ordinary
/// write failures (EPIPE, EFBIG), which the writers report. Call once at program start.
void ignoreSignalsThatEndWrites();

/// This process's number.
unsigned long currentProcessId();

/// Whether the process of that number runs, this one included (another user's counts too).
bool processRuns(unsigned long id);

}  // namespace kestrova
