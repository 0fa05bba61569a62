#pragma once

#include "sample_server.h"

namespace kestrova::test {

/// A started sample server whose week is 2026-12-05 (Saturday) and -06 and whose newest month
/// is 2026-11, whatever today's date. Declared before a context that takes its port.
struct FixedWeekServer : sample::SampleServer {
    FixedWeekServer() : SampleServer(options()) { start(); }

    static sample::ServerOptions options() {
        sample::ServerOptions o;
        o.newestYear = 2026;
        o.newestMonth = 11;
        o.weekDays = {"20261205", "20261206"};
        return o;
    }
};

}  // namespace kestrova::test
