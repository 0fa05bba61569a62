#pragma once

#include "sample_server.h"

namespace kestrova::test {

/// A started sample server whose week is 2026-12-05 (Saturday) and -06, whatever today's date.
/// Declared before a context that takes its port.
struct FixedWeekServer : sample::SampleServer {
    FixedWeekServer() : FixedWeekServer(options()) {}
    explicit FixedWeekServer(const sample::ServerOptions& serverOptions)
        : SampleServer(serverOptions) {
        start();
    }

    /// The fixed week, with the newest month 2026-11 unless told otherwise.
    static sample::ServerOptions options(int newestYear = 2026, int newestMonth = 11) {
        sample::ServerOptions o;
        o.newestYear = newestYear;
        o.newestMonth = newestMonth;
        o.weekDays = {"20261205", "20261206"};
        return o;
    }
};

}  // namespace kestrova::test
