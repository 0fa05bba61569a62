// End-to-end past-data export against the sample server on loopback: every month from
// January of the start year to the newest month, all index kinds and all comments.
//
// The server runs as a separate process, so its CPU and memory stay out of the figures.
// Every file is fetched once with curl first: that warms the server's page cache (the
// export must not pay for page generation) and counts the HTML body bytes. Then the export
// runs in this process, then curl fetches the same files again for comparison.
//
// The run deletes its ~94,000 files at the end. On ext4 a run started within a few minutes of
// that pays for the inode allocator skipping recently freed inodes; leave a pause between runs.
//
// --again exports a second time over the files of the first run, as a weekly re-export does,
// and prints that run's times too (the last line stays the first run's).
//
//   bench_export [--newest YYYY-MM] [--from YEAR] [--again] [--server PATH]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/ss_logging.h"
#include "base/user_interface.h"
#include "export/data_file_names.h"
#include "export/data_kinds.h"
#include "export/export_run.h"
#include "export/export_state.h"
#include "services/core_context.h"
#include "web/member_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kMiB = 1024.0 * 1024.0;

struct Options {
    int newestYear = 2026;
    int newestMonth = 11;
    int fromYear = 2010;
    bool again = false;  ///< export a second time over the first run's files
    fs::path server = KESTROVA_SAMPLE_SERVER_EXE;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--newest" && hasValue) {
            const std::string value = argv[++i];
            if (std::sscanf(value.c_str(), "%4d-%2d", &options.newestYear, &options.newestMonth) !=
                    2 ||
                options.newestMonth < 1 || options.newestMonth > 12) {
                throw std::invalid_argument("--newest wants YYYY-MM");
            }
        } else if (arg == "--from" && hasValue) {
            options.fromYear = std::atoi(argv[++i]);
        } else if (arg == "--again") {
            options.again = true;
        } else if (arg == "--server" && hasValue) {
            options.server = argv[++i];
        } else {
            throw std::invalid_argument(
                "usage: bench_export [--newest YYYY-MM] [--from YEAR] [--again] [--server PATH]");
        }
    }
    if (options.fromYear < 2010 || options.fromYear > options.newestYear) {
        throw std::invalid_argument("--from must lie between 2010 and the newest year");
    }
    return options;
}

/// A child process; killed and reaped when it goes out of scope.
class Child {
  public:
    /// Starts `args` (searched on PATH) with standard output going to `outFd`.
    Child(const std::vector<std::string>& args, int outFd) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
        std::vector<std::string> text = args;
        std::vector<char*> argv;
        for (auto& arg : text) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            throw std::runtime_error("cannot start " + args[0]);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            wait();
        }
    }

    /// Waits for the end; the exit code, or -1 after a signal.
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = 0;
};

/// A pipe whose ends close themselves.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error("no pipe");
        }
    }
    ~Pipe() {
        for (const int fd : fds) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    void closeWriteEnd() {
        close(fds[1]);
        fds[1] = -1;
    }
};

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

std::vector<std::string> monthFiles(const Options& options) {
    std::vector<std::string> files;
    for (int year = options.fromYear; year <= options.newestYear; ++year) {
        const int lastMonth = year == options.newestYear ? options.newestMonth : 12;
        for (int month = 1; month <= lastMonth; ++month) {
            char name[32];
            std::snprintf(name, sizeof name, "TF%02d%02d.html", year % 100, month);
            files.emplace_back(name);
        }
    }
    return files;
}

struct CurlPass {
    double seconds = 0;
    std::uint64_t bodyBytes = 0;
};

/// One curl process fetching every file in turn over one connection, bodies to /dev/null.
CurlPass fetchWithCurl(const std::vector<std::string>& urls, const fs::path& scratch) {
    std::vector<std::string> args{"curl", "-s", "-w", "%{http_code} %{size_download}\\n"};
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

/// Counts what the run shows; prints nothing while it runs.
class QuietUi : public kestrova::UserInterface {
  public:
    void clearActivity() override {}
    void addActivity(std::string_view line) override {
        ++lines;
        last = line;
    }
    kestrova::Answer question(std::string_view) override { return kestrova::Answer::No; }
    void info(std::string_view text) override { messages += std::string(text) + "\n"; }
    void warning(std::string_view text) override { messages += std::string(text) + "\n"; }

    long lines = 0;
    std::string last;
    std::string messages;
};

/// Splits the run's wall time into fetching (download and parse) and writing the day files.
class PhaseTimer : public kestrova::ExportProgress {
  public:
    void runStarted(std::size_t) override { switchTo(&other); }
    void fileStarted(std::string_view, std::size_t) override { switchTo(&fetching); }
    void dayStarted(std::string_view) override { switchTo(&writing); }
    void dayFinished(std::string_view, std::int64_t) override { switchTo(&other); }
    void runEnded(kestrova::ExportOutcome) override { switchTo(&other); }

    struct Phase {
        double wall = 0;
        double cpu = 0;
    };
    Phase fetching;
    Phase writing;
    Phase other;

  private:
    static double cpuSeconds() {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }

    void switchTo(Phase* phase) {
        const auto now = Clock::now();
        const double cpu = cpuSeconds();
        current_->wall += std::chrono::duration<double>(now - since_).count();
        current_->cpu += cpu - cpuSince_;
        current_ = phase;
        since_ = now;
        cpuSince_ = cpu;
    }

    Phase* current_ = &other;
    Clock::time_point since_ = Clock::now();
    double cpuSince_ = cpuSeconds();
};

struct TimedExport {
    kestrova::ExportOutcome outcome = kestrova::ExportOutcome::NotStarted;
    double seconds = 0;
    PhaseTimer phases;
};

TimedExport timedExport(kestrova::CoreContext& ctx, kestrova::ExportState& state,
                        const kestrova::ExportSelection& selection) {
    TimedExport timed;
    const auto start = Clock::now();
    timed.outcome = kestrova::TFJV_CsvOut(ctx, state, selection, &timed.phases);
    timed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return timed;
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

/// A fresh host folder with the host program's comment folders; removed at the end.
class HostFolder {
  public:
    HostFolder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("kestrova-bench-" + std::to_string(random()));
        fs::create_directories(path_ / "MY_DATA" / "YOS_COM");
        fs::create_directories(path_ / "MY_DATA" / "KEK_COM");
        std::ofstream(path_ / "TFJV.EXE").flush();
    }
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;
    ~HostFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

std::size_t countFiles(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

int run(const Options& options) {
    HostFolder host;
    char newest[16];
    std::snprintf(newest, sizeof newest, "%04d-%02d", options.newestYear, options.newestMonth);

    Pipe serverOut;
    Child server({options.server.string(), "--port", "0", "--newest", newest}, serverOut.fds[1]);
    serverOut.closeWriteEnd();
    const std::string hostPort = readHostPort(serverOut.fds[0]);
    const kestrova::MemberServer memberServer(hostPort, "10");

    const auto files = monthFiles(options);
    std::vector<std::string> urls;
    for (const auto& file : files) {
        urls.push_back(memberServer.dataFileUrl(file));
    }
    std::cout << "server " << hostPort << ", " << files.size() << " month files " << files.front()
              << " .. " << files.back() << std::endl;
    const CurlPass warmUp = fetchWithCurl(urls, host.path());
    std::cout << "warm-up: " << warmUp.bodyBytes << " bytes of HTML" << std::endl;

    // The log as the programs configure it: every activity line is copied there.
    kestrova::SsLogging log;
    log.FileName = "Kestrova.log";
    log.LogFilePath = host.path() / "logs";
    log.LogFileHistorys = 5;
    QuietUi ui;
    kestrova::CoreContext ctx(log, ui, memberServer);
    kestrova::ExportState state;
    state.MonthFileTemplates = kestrova::makeMonthFileTemplates(options.newestYear);
    kestrova::ExportSelection selection;
    selection.ThisWeekMode = 0;
    selection.StartYear = std::to_string(100 + options.fromYear % 100).substr(1);
    for (std::size_t i = 0; i < kestrova::kIndexKindCount; ++i) {
        selection.indexCodes.emplace_back(kestrova::DataKindCodes[kestrova::kFirstIndexKind + i]);
    }
    selection.commentEntries.fill(true);
    selection.hostFolder = host.path();

    const TimedExport first = timedExport(ctx, state, selection);
    const double peak = peakMemoryMiB();
    if (first.outcome != kestrova::ExportOutcome::Finished || state.FilesFailed != 0) {
        std::cerr << "the export did not finish cleanly (" << state.FilesFailed
                  << " files failed); last line: " << ui.last << "\n"
                  << ui.messages;
        return 1;
    }
    const std::size_t written =
        countFiles(host.path() / "MY_DATA") + countFiles(host.path() / "KSTR_DATA");

    const CurlPass curl = fetchWithCurl(urls, host.path());
    const double throughput = static_cast<double>(warmUp.bodyBytes) / kMiB / first.seconds;

    std::printf("HTML downloaded: %.1f MB (%llu bytes) in %zu files\n",
                static_cast<double>(warmUp.bodyBytes) / kMiB,
                static_cast<unsigned long long>(warmUp.bodyBytes), files.size());
    std::printf("files written: %zu (%lld counted by the run), activity lines: %ld\n", written,
                static_cast<long long>(state.FilesWritten), ui.lines);
    std::printf("export: %.2f s wall; curl: %.2f s wall for the same files\n", first.seconds,
                curl.seconds);
    printPhases(first.phases);
    const auto& phases = first.phases;
    const double exportCpu = phases.fetching.cpu + phases.writing.cpu + phases.other.cpu;
    std::printf("  CPU of the export: %.2f s, %.1f MB per CPU second\n", exportCpu,
                static_cast<double>(warmUp.bodyBytes) / kMiB / exportCpu);
    if (options.again) {
        const TimedExport second = timedExport(ctx, state, selection);
        std::printf("again over the first run's files: %.2f s wall%s\n", second.seconds,
                    second.outcome == kestrova::ExportOutcome::Finished ? "" : " (not finished)");
        printPhases(second.phases);
    }
    std::printf("targets: >= 40 MB/s, < 96 MB peak (MB = 1024 * 1024 bytes)\n");
    std::printf("export: %.1f MB/s, %.1f MB peak, curl ratio %.2f\n", throughput, peak,
                first.seconds / curl.seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parseOptions(argc, argv));
    } catch (const std::exception& error) {
        std::cerr << "bench_export: " << error.what() << "\n";
        return 1;
    }
}
