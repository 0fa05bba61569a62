// What starting and reading a child does the same way on every system.
#include "support/child_process.h"

#include <algorithm>
#include <csignal>

namespace kestrova::test {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

}  // namespace

void ChildProcess::readToEnd(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (auto left = timeout; left.count() > 0;
         left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now())) {
        if (!read(left)) {
            return;
        }
    }
}

const std::string& ChildProcess::readLines(int lines, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (outPipe_ >= 0 && std::count(out_.begin(), out_.end(), '\n') < lines) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        read(left);
    }
    return out_;
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
    std::vector<std::string> command{program};
    command.insert(command.end(), args.begin(), args.end());
    ChildProcess child(
        command, {.out = options.stdoutToClosedPipe ? ChildOutput::ClosedPipe : ChildOutput::Pipe,
                  .err = ChildOutput::Pipe,
                  .fileSizeLimit = options.fileSizeLimit});
    const auto started = Clock::now();
    const auto deadline = started + options.timeout;
    bool terminated = false;
    std::optional<ChildEnd> end;
    while (!(end = child.waitFor(milliseconds(0)))) {
        if (Clock::now() > deadline) {
            child.killNow();
            end = child.wait();
            break;
        }
        if (!terminated && options.terminateAfter.count() > 0 &&
            Clock::now() - started >= options.terminateAfter) {
            child.kill(SIGTERM);
            terminated = true;
        }
        child.read(milliseconds(10));
    }
    child.readToEnd(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
    return {.exitCode = end->signal != 0 ? -1 : end->exitCode,
            .out = child.out(),
            .err = child.err(),
            .peakMemory = end->peakMemory};
}

}  // namespace kestrova::test
