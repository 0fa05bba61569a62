#pragma once

// What the benchmarks share: the sample server as a child process, curl passes, a quiet UI
// and a scratch host folder.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/user_interface.h"
#include "export/export_run.h"
#include "support/child_process.h"

namespace kestrova::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr double kMiB = 1024.0 * 1024.0;

/// The sample server program on a free loopback port, with `extra` options.
class ServerProcess {
  public:
    ServerProcess(const fs::path& program, const std::vector<std::string>& extra);
    const std::string& hostPort() const { return hostPort_; }

  private:
    test::ChildProcess child_;
    std::string hostPort_;
};

/// "TFyymm.html" of every month from January of `fromYear` to the newest month.
std::vector<std::string> monthFiles(int fromYear, int newestYear, int newestMonth);

struct CurlPass {
    double seconds = 0;
    std::uint64_t bodyBytes = 0;  ///< as received, compressed or not
};

/// One curl process fetching every file in turn over one connection, bodies to /dev/null.
/// `compressed` offers gzip as the exporter does.
CurlPass fetchWithCurl(const std::vector<std::string>& urls, bool compressed = false);

/// Counts what the run shows; prints nothing while it runs.
class QuietUi : public UserInterface {
  public:
    void clearActivity() override {}
    void addActivity(std::string_view line) override {
        ++lines;
        last = line;
    }
    Answer question(std::string_view) override { return Answer::No; }
    void info(std::string_view text) override { messages += std::string(text) + "\n"; }
    void warning(std::string_view text) override { messages += std::string(text) + "\n"; }

    long lines = 0;
    std::string last;
    std::string messages;
};

/// Splits the run's wall time into fetching (download and parse) and writing the day files.
class PhaseTimer : public ExportProgress {
  public:
    void runStarted(std::size_t) override { switchTo(&other); }
    void fileStarted(std::string_view, std::size_t) override { switchTo(&fetching); }
    void dayStarted(std::string_view) override { switchTo(&writing); }
    void dayFinished(std::string_view, std::int64_t) override { switchTo(&other); }
    void runEnded(const ExportResult&) override { switchTo(&other); }

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

/// Prints the two phases of a timer, indented.
void printPhases(const PhaseTimer& phases);

/// A fresh host folder with the host program's comment folders; removed at the end.
class HostFolder {
  public:
    HostFolder();
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;
    ~HostFolder();
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

/// A past-data export of everything: every month from January of `fromYear` up to the
/// newest month the server has (the run's day is the first of the month after it), every
/// index kind and every comment, into `hostFolder`.
ExportSelection everythingFrom(int fromYear, int newestYear, int newestMonth,
                               const fs::path& hostFolder);

/// Regular files below `folder`.
std::size_t countFiles(const fs::path& folder);

/// The peak resident memory of this process, in MiB.
double peakMemoryMiB();

}  // namespace kestrova::bench
