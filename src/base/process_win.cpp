#include "base/process.h"

namespace kestrova {

void ignoreSignalsThatEndWrites() {
    // Nothing to do: Windows has neither signal, a write to a closed pipe or beyond a quota
    // fails as an ordinary write (ERROR_NO_DATA, ERROR_DISK_FULL).
}

}  // namespace kestrova
