#pragma once

// Child processes for the tests and the benchmarks: no GoogleTest in here.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kestrova::test {

/// Where a child's standard output or error goes.
enum class ChildOutput {
    Inherited,
    Pipe,        ///< read by this process (ChildProcess::read, readLines)
    ClosedPipe,  ///< a pipe whose reading end is closed: every write fails
};

/// How a child starts, beyond its program and arguments.
struct ChildOptions {
    ChildOutput out = ChildOutput::Inherited;
    ChildOutput err = ChildOutput::Inherited;
    /// The file-size limit (RLIMIT_FSIZE) of the child in bytes, 0 for none; POSIX only
    /// (see kFileSizeLimits).
    std::uint64_t fileSizeLimit = 0;
};

/// Whether the system limits the size of the files a child writes (ChildOptions).
extern const bool kFileSizeLimits;

/// False where SIGINT and SIGTERM (on Windows a Ctrl+Break) cannot reach a child: Windows
/// without a console, as when Wine runs the tests.
bool stopSignalsReachChildren();
inline constexpr const char* kNoStopSignals =
    "no console here (Wine runs the tests without one): Ctrl+Break cannot reach a child";

/// How a child ended.
struct ChildEnd {
    int exitCode = -1;  ///< -1 when a signal ended it
    int signal = 0;     ///< the signal that ended it; 0 when it exited
    /// Peak resident memory, in bytes; on Linux never below the starting process's own
    /// peak, which the kernel carries over the child's exec.
    std::uint64_t peakMemory = 0;
};

/// This process's peak resident memory so far, in bytes.
std::uint64_t ownPeakMemory();

/// A started child process; one still running when it goes out of scope is killed and reaped.
class ChildProcess {
  public:
    /// Starts `args[0]` (searched on PATH when it names no folder) with the other arguments;
    /// throws std::runtime_error when it cannot.
    explicit ChildProcess(const std::vector<std::string>& args, const ChildOptions& options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    /// Sends `signal` unless the child has been reaped. On Windows SIGINT and SIGTERM are a
    /// Ctrl+Break to the child's console process group; any other signal ends it at once.
    void kill(int signal);
    /// Ends the child at once: SIGKILL, on Windows the same number.
    void killNow();
    /// Waits at most `timeout` for the end; nothing while the child still runs.
    std::optional<ChildEnd> waitFor(std::chrono::milliseconds timeout);
    ChildEnd wait();

    /// Reads what has come through the pipes, waiting at most `timeout` for something;
    /// false once every pipe is closed.
    bool read(std::chrono::milliseconds timeout);
    /// Reads until every pipe is closed or `timeout` passes.
    void readToEnd(std::chrono::milliseconds timeout);
    /// Standard output as read so far, after reading until it holds `lines` lines, its pipe
    /// closes or `timeout` passes.
    const std::string& readLines(int lines, std::chrono::milliseconds timeout);
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    std::optional<ChildEnd> reap(bool block);

    pid_t pid_ = 0;
    std::intptr_t process_ = 0;    ///< the process handle on Windows
    int killedBy_ = 0;             ///< the signal kill() ended it with on Windows
    std::optional<ChildEnd> end_;  ///< once reaped
    int outPipe_ = -1;             ///< a file descriptor (on Windows a C runtime one)
    int errPipe_ = -1;
    std::string out_;
    std::string err_;
};

/// What a child that ran to its end wrote, and how it ended.
struct ChildResult {
    int exitCode = -1;  ///< -1 when the child did not exit normally
    std::string out;
    std::string err;
    std::uint64_t peakMemory = 0;  ///< in bytes
};

/// How runChild runs a child, beyond its arguments.
struct RunOptions {
    std::chrono::milliseconds timeout{60'000};
    /// The file-size limit (RLIMIT_FSIZE) of the child in bytes, 0 for none.
    std::uint64_t fileSizeLimit = 0;
    /// Standard output is a pipe whose reading end is already closed.
    bool stdoutToClosedPipe = false;
    /// Sends SIGTERM this long after the start (0: never).
    std::chrono::milliseconds terminateAfter{0};
};

/// Runs `program` with `args` to its end, its standard output and error captured. A child
/// still running after the time-out is killed (exit code -1).
ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

/// The id of a process that has ended: no process runs under it.
pid_t endedProcessId();

}  // namespace kestrova::test
