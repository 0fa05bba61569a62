#pragma once

#include "sample_server.h"

namespace kestrova::sample {

/// The sample server whose newest month is 2025-06 and whose week is 2025-06-07 and -08.
inline ServerOptions juneOptions() {
    ServerOptions options;
    options.newestYear = 2025;
    options.newestMonth = 6;
    options.weekDays = {"20250607", "20250608"};
    return options;
}

}  // namespace kestrova::sample
