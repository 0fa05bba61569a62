#include <csignal>

#include "base/process.h"

namespace kestrova {

void ignoreSignalsThatEndWrites() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace kestrova
