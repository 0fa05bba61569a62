#include "bench_support.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "export/data_kinds.h"

extern char** environ;

namespace kestrova::bench {

Child::Child(const std::vector<std::string>& args, int outFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    std::vector<std::string> text = args;
    std::vector<char*> argv;
    for (auto& arg : text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    pid_ = pid;
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        wait();
    }
}

int Child::wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Pipe::Pipe() {
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipe");
    }
}

Pipe::~Pipe() {
    for (const int fd : fds) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void Pipe::closeWriteEnd() {
    close(fds[1]);
    fds[1] = -1;
}

namespace {

/// Reads the server's "listening on http://127.0.0.1:PORT" line, waiting at most 10 s.
std::string readHostPort(int fd) {
    std::string text;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (text.find('\n') == std::string::npos) {
        pollfd wait{fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
            throw std::runtime_error("the sample server did not report its port");
        }
        char buffer[256];
        const auto got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            throw std::runtime_error("the sample server ended: " + text);
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string line = text.substr(0, text.find('\n'));
    const auto scheme = line.find("://");
    if (line.rfind("listening on ", 0) != 0 || scheme == std::string::npos) {
        throw std::runtime_error("unexpected server line: " + line);
    }
    return line.substr(scheme + 3);
}

std::vector<std::string> withPort(const fs::path& program, const std::vector<std::string>& extra) {
    std::vector<std::string> args{program.string(), "--port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

}  // namespace

ServerProcess::ServerProcess(const fs::path& program, const std::vector<std::string>& extra)
    : child_(withPort(program, extra), out_.fds[1]) {
    out_.closeWriteEnd();
    hostPort_ = readHostPort(out_.fds[0]);
}

std::vector<std::string> monthFiles(int fromYear, int newestYear, int newestMonth) {
    std::vector<std::string> files;
    for (int year = fromYear; year <= newestYear; ++year) {
        const int lastMonth = year == newestYear ? newestMonth : 12;
        for (int month = 1; month <= lastMonth; ++month) {
            char name[32];
            std::snprintf(name, sizeof name, "TF%02d%02d.html", year % 100, month);
            files.emplace_back(name);
        }
    }
    return files;
}

CurlPass fetchWithCurl(const std::vector<std::string>& urls, const fs::path& scratch,
                       bool compressed) {
    std::vector<std::string> args{"curl", "-s", "-w", "%{http_code} %{size_download}\\n"};
    if (compressed) {
        args.push_back("--compressed");
    }
    for (const auto& url : urls) {
        args.insert(args.end(), {"-o", "/dev/null", url});
    }
    const fs::path report = scratch / "curl.txt";
    const int fd = open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot write " + report.string());
    }
    const auto start = Clock::now();
    Child curl(args, fd);
    const int exitCode = curl.wait();
    CurlPass pass;
    pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    if (exitCode != 0) {
        throw std::runtime_error("curl failed with exit code " + std::to_string(exitCode));
    }
    std::ifstream in(report);
    int status = 0;
    std::uint64_t bytes = 0;
    std::size_t answers = 0;
    while (in >> status >> bytes) {
        if (status != 200) {
            throw std::runtime_error("curl got status " + std::to_string(status));
        }
        pass.bodyBytes += bytes;
        ++answers;
    }
    if (answers != urls.size()) {
        throw std::runtime_error("curl reported " + std::to_string(answers) + " answers");
    }
    return pass;
}

HostFolder::HostFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("kestrova-bench-" + std::to_string(random()));
    fs::create_directories(path_ / "MY_DATA" / "YOS_COM");
    fs::create_directories(path_ / "MY_DATA" / "KEK_COM");
    std::ofstream(path_ / "TFJV.EXE").flush();
}

HostFolder::~HostFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::size_t countFiles(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

void printPhases(const PhaseTimer& phases) {
    std::printf("  fetching (download and parse): %.2f s wall, %.2f s CPU\n", phases.fetching.wall,
                phases.fetching.cpu);
    std::printf("  writing the day files:         %.2f s wall, %.2f s CPU\n", phases.writing.wall,
                phases.writing.cpu);
}

double peakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;  // kB
        }
    }
    return 0;
}

ExportSelection everythingFrom(int fromYear, int newestYear, int newestMonth,
                               const fs::path& hostFolder) {
    ExportSelection selection;
    const std::chrono::year_month newest =
        std::chrono::year(newestYear) / std::chrono::month(static_cast<unsigned>(newestMonth));
    const std::chrono::year_month next = newest + std::chrono::months(1);
    selection.today = next / std::chrono::day(1);
    selection.ThisWeekMode = 0;
    selection.StartYear = std::to_string(100 + fromYear % 100).substr(1);
    for (std::size_t i = 0; i < kIndexKindCount; ++i) {
        selection.indexCodes.emplace_back(DataKindCodes[kFirstIndexKind + i]);
    }
    selection.commentEntries.fill(true);
    selection.hostFolder = hostFolder;
    return selection;
}

}  // namespace kestrova::bench
