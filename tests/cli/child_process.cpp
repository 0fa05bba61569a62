#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/temp_dir.h"

extern char** environ;

namespace kestrova::test {

ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& scratch, const ChildOptions& options) {
    const auto outFile = scratch / "child.out";
    const auto errFile = scratch / "child.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeEnds[2] = {-1, -1};
    if (options.stdoutToClosedPipe) {
        if (pipe(pipeEnds) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> argvText{program.string()};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvText) {
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
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    setrlimit(RLIMIT_FSIZE, &saved);
    posix_spawn_file_actions_destroy(&actions);
    if (options.stdoutToClosedPipe) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
    }
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program.string());
    }

    ChildResult result;
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + options.timeout;
    bool terminated = false;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            status = -1;
            break;
        }
        if (!terminated && options.terminateAfter.count() > 0 &&
            std::chrono::steady_clock::now() - started >= options.terminateAfter) {
            kill(pid, SIGTERM);
            terminated = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.peakMemory = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes
    if (status != -1 && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = options.stdoutToClosedPipe ? "" : readFile(outFile);
    result.err = readFile(errFile);
    return result;
}

}  // namespace kestrova::test
