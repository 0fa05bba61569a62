#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "support/child_process.h"

extern char** environ;

namespace kestrova::test {

const bool kFileSizeLimits = true;

bool stopSignalsReachChildren() {
    return true;
}

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// A pipe whose ends close themselves unless taken.
class Pipe {
  public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0) {
            throw std::runtime_error("no pipe");
        }
    }
    ~Pipe() {
        for (const int fd : fds_) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    int takeReadEnd() { return std::exchange(fds_[0], -1); }

  private:
    int fds_[2] = {-1, -1};
};

/// Sets up `target` (1 or 2) of the child as `output` says; the pipe stays open in `pipe`.
void redirect(posix_spawn_file_actions_t& actions, int target, ChildOutput output,
              std::optional<Pipe>& pipe) {
    if (output == ChildOutput::Inherited) {
        return;
    }
    pipe.emplace();
    // dup2 clears close-on-exec on the copy; both ends of the pipe itself close on exec.
    posix_spawn_file_actions_adddup2(&actions, pipe->writeEnd(), target);
}

/// Appends what `fd` holds to `text`; false at its end, when it has been closed.
bool readSome(int& fd, std::string& text) {
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    if (got < 0 && errno == EINTR) {
        return true;
    }
    close(fd);
    fd = -1;
    return false;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args, const ChildOptions& options) {
    if (args.empty()) {
        throw std::runtime_error("no program to start");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::optional<Pipe> out;
    std::optional<Pipe> err;
    redirect(actions, STDOUT_FILENO, options.out, out);
    redirect(actions, STDERR_FILENO, options.err, err);
    std::vector<std::string> text = args;
    std::vector<char*> argv;
    for (auto& arg : text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    // The child inherits the limit; this process writes no file while it is lowered.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (options.fileSizeLimit != 0) {
        rlimit lowered = saved;
        lowered.rlim_cur = options.fileSizeLimit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    setrlimit(RLIMIT_FSIZE, &saved);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    if (options.out == ChildOutput::Pipe) {
        outPipe_ = out->takeReadEnd();
    }
    if (options.err == ChildOutput::Pipe) {
        errPipe_ = err->takeReadEnd();
    }
}

ChildProcess::~ChildProcess() {
    if (!end_) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    for (const int fd : {outPipe_, errPipe_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void ChildProcess::kill(int signal) {
    if (!end_) {
        ::kill(pid_, signal);
    }
}

std::optional<ChildEnd> ChildProcess::reap(bool block) {
    if (end_) {
        return end_;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid_, &status, block ? 0 : WNOHANG, &usage) != pid_) {
        return std::nullopt;
    }
    ChildEnd& end = end_.emplace();
    if (WIFEXITED(status)) {
        end.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    end.peakMemory = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes
    return end_;
}

std::optional<ChildEnd> ChildProcess::waitFor(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (auto end = reap(false)) {
            return end;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
}

ChildEnd ChildProcess::wait() {
    return *reap(true);
}

bool ChildProcess::read(milliseconds timeout) {
    pollfd pipes[2];
    nfds_t count = 0;
    for (const int fd : {outPipe_, errPipe_}) {
        if (fd >= 0) {
            pipes[count++] = {fd, POLLIN, 0};
        }
    }
    if (count == 0) {
        return false;
    }
    if (poll(pipes, count, static_cast<int>(timeout.count())) > 0) {
        for (nfds_t i = 0; i < count; ++i) {
            if (pipes[i].revents != 0) {
                const bool isOut = pipes[i].fd == outPipe_;
                readSome(isOut ? outPipe_ : errPipe_, isOut ? out_ : err_);
            }
        }
    }
    return true;
}

void ChildProcess::killNow() {
    kill(SIGKILL);
}

pid_t endedProcessId() {
    ChildProcess child({"true"});
    child.wait();
    return child.pid();
}

std::uint64_t ownPeakMemory() {
    rusage own{};
    getrusage(RUSAGE_SELF, &own);
    return static_cast<std::uint64_t>(own.ru_maxrss) * 1024;  // kilobytes
}

}  // namespace kestrova::test
