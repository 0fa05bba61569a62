#include <csignal>
#include <pthread.h>

#include "stop_signal.h"

namespace kestrova::sample {

namespace {

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void holdStopSignals() {
    // Taken with sigwait on the main thread; the server threads never see them.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void waitForStopSignal() {
    const sigset_t signals = stopSignals();
    int received = 0;
    sigwait(&signals, &received);
}

void writeOutputUnchanged() {}

}  // namespace kestrova::sample
