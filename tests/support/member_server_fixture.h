#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ss_logging.h"
#include "sample_server.h"
#include "services/core_context.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kestrova::test {

/// A started sample server, a trace-level log in a temporary folder, a recording UI and a
/// core context that reaches the server over plain http.
class MemberServerFixture : public ::testing::Test {
  protected:
    MemberServerFixture();

    std::string logText() const;
    /// The messages of the trace lines, in order.
    std::vector<std::string> traced() const;

    struct RunningServer : sample::SampleServer {
        RunningServer() { start(); }
    };

    TempDir logDir;
    SsLogging log;
    RecordingUi ui;
    RunningServer server;
    CoreContext ctx{log, ui, MemberServer(server.hostPort(), "10")};
};

}  // namespace kestrova::test
