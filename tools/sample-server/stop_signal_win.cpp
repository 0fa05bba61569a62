#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include "stop_signal.h"

namespace kestrova::sample {

namespace {

HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD) {
    SetEvent(stopEvent);
    // Closing the console ends the process once this returns: give the server a moment.
    Sleep(1000);
    return TRUE;
}

}  // namespace

void holdStopSignals() {
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void waitForStopSignal() {
    WaitForSingleObject(stopEvent, INFINITE);
}

void writeOutputUnchanged() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace kestrova::sample
