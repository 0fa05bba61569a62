#include <algorithm>
#include <chrono>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

/// The kestrova-sample-server program as a child process with its standard output on a pipe.
class ServerProcess {
  public:
    explicit ServerProcess(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) {
            throw std::runtime_error("no pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        args.insert(args.begin(), KESTROVA_SAMPLE_SERVER_EXE);
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const int rc =
            posix_spawn(&pid_, KESTROVA_SAMPLE_SERVER_EXE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
        if (rc != 0) {
            pid_ = 0;
            throw std::runtime_error("cannot start the sample server");
        }
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    /// Standard output until `lines` lines arrived, the pipe closed or 10 s passed.
    std::string read(int lines) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::count(text_.begin(), text_.end(), '\n') < lines &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd wait{out_, POLLIN, 0};
            if (poll(&wait, 1, 100) <= 0) {
                continue;
            }
            char buf[512];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            text_.append(buf, static_cast<std::size_t>(n));
        }
        return text_;
    }

    /// The exit code after `signal` (0: none sent); -1 when it did not end within 10 s.
    int end(int signal) {
        if (signal != 0) {
            kill(pid_, signal);
        }
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

  private:
    pid_t pid_ = 0;
    int out_ = -1;
    std::string text_;
};

int portOf(const std::string& line) {
    return std::stoi(line.substr(line.rfind(':') + 1));
}

TEST(SampleServerProgram, ServesUntilTerminatedAndPrintsItsSettings) {
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
