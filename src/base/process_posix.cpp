#include <cerrno>
#include <csignal>
#include <unistd.h>

#include "base/process.h"

namespace kestrova {

void ignoreSignalsThatEndWrites() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

unsigned long currentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

bool processRuns(unsigned long id) {
    const auto pid = static_cast<pid_t>(id);
    if (pid <= 0 || static_cast<unsigned long>(pid) != id) {
        return false;
    }
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace kestrova
