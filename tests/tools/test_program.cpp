#include <chrono>
#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "support/child_process.h"
#include "tls_server.h"

namespace {

using namespace std::chrono_literals;
using kestrova::test::ChildOutput;
using kestrova::test::ChildProcess;

/// The kestrova-sample-server program as a child process with its standard output on a pipe.
class ServerProcess {
  public:
    explicit ServerProcess(std::vector<std::string> args)
        : child_(withProgram(std::move(args)), {.out = ChildOutput::Pipe}) {}

    /// Standard output until `lines` lines arrived, the pipe closed or 10 s passed.
    std::string read(int lines) { return child_.readLines(lines, 10s); }

    /// The exit code after `signal` (0: none sent); -1 when it did not end within 10 s.
    int end(int signal) {
        if (signal != 0) {
            child_.kill(signal);
        }
        const auto end = child_.waitFor(10s);
        if (!end) {
            return -1;
        }
        return end->signal != 0 ? 128 + end->signal : end->exitCode;
    }

  private:
    static std::vector<std::string> withProgram(std::vector<std::string> args) {
        args.insert(args.begin(), KESTROVA_SAMPLE_SERVER_EXE);
        return args;
    }

    ChildProcess child_;
};

int portOf(const std::string& line) {
    return std::stoi(line.substr(line.rfind(':') + 1));
}

TEST(SampleServerProgram, ServesUntilTerminatedAndPrintsItsSettings) {
    if (!kestrova::test::stopSignalsReachChildren()) {
        GTEST_SKIP() << kestrova::test::kNoStopSignals;
    }
    ServerProcess server({"--port", "0", "--print-ini", "--newest", "2025-06", "--fault",
                          "/kestrova/tfdata2/TF2506.html=status:503", "--fault",
                          "/JRADB/accessD.html@pw01dli00/F3=redirect:302"});
    const std::string out = server.read(6);
    ASSERT_TRUE(out.starts_with("listening on http://127.0.0.1:")) << out;
    const std::string first = out.substr(0, out.find('\n'));
    const int port = portOf(first);
    EXPECT_NE(out.find("REVNIW=10\r\nMemberHost=127.0.0.1:" + std::to_string(port)),
              std::string::npos);
    EXPECT_NE(out.find("RaceAuthorityHost=http://127.0.0.1:" + std::to_string(port) + "\r\n"),
              std::string::npos);

    httplib::Client c("127.0.0.1", port);
    auto mast = c.Get("/kestrova/data/MAST.html");
    ASSERT_TRUE(mast);
    EXPECT_EQ(mast->status, 200);
    auto faulty = c.Get("/kestrova/tfdata2/TF2506.html");
    ASSERT_TRUE(faulty);
    EXPECT_EQ(faulty->status, 503);
    auto newer = c.Get("/kestrova/tfdata2/TF2507.html");
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->status, 404);
    auto moved =
        c.Post("/JRADB/accessD.html", "cname=pw01dli00%2FF3", "application/x-www-form-urlencoded");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->status, 302);
    auto cards = c.Post("/moved/JRADB/accessD.html", "cname=pw01dli00%2FF3",
                        "application/x-www-form-urlencoded");
    ASSERT_TRUE(cards);
    EXPECT_EQ(cards->status, 200);

    EXPECT_EQ(server.end(SIGTERM), 0);
}

TEST(SampleServerProgram, EndsCleanlyOnInterruptOverTls) {
    if (!kestrova::sample::tlsAvailable()) {
        GTEST_SKIP() << kestrova::sample::kNoTlsServer;
    }
    if (!kestrova::test::stopSignalsReachChildren()) {
        GTEST_SKIP() << kestrova::test::kNoStopSignals;
    }
    ServerProcess server({"--https"});
    const std::string out = server.read(1);
    ASSERT_TRUE(out.starts_with("listening on https://127.0.0.1:")) << out;
    EXPECT_EQ(server.end(SIGINT), 0);
}

TEST(SampleServerProgram, RefusesBadOptions) {
    ServerProcess bad({"--fault", "nonsense"});
    EXPECT_EQ(bad.end(0), 2);
    ServerProcess help({"--help"});
    EXPECT_NE(help.read(1).find("usage: kestrova-sample-server"), std::string::npos);
    EXPECT_EQ(help.end(0), 0);
}

}  // namespace
