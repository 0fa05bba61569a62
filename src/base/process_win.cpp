#include <windows.h>

#include "base/process.h"

namespace kestrova {

void ignoreSignalsThatEndWrites() {
    // Nothing to do: Windows has neither signal, a write to a closed pipe or beyond a quota
    // fails as an ordinary write (ERROR_NO_DATA, ERROR_DISK_FULL).
}

unsigned long currentProcessId() {
    return GetCurrentProcessId();
}

bool processRuns(unsigned long pid) {
    if (pid == GetCurrentProcessId()) {
        return true;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        // Another user's process may not be opened, but it runs.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace kestrova
