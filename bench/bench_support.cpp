#include "bench_support.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "export/data_kinds.h"

namespace kestrova::bench {

namespace {

/// The host and port of the server's "listening on http://127.0.0.1:PORT" line, waiting at
/// most 10 s for it.
std::string readHostPort(test::ChildProcess& server) {
    const std::string text = server.readLines(1, std::chrono::seconds(10));
    if (text.find('\n') == std::string::npos) {
        throw std::runtime_error("the sample server did not report its port: " + text);
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
    : child_(withPort(program, extra), {.out = test::ChildOutput::Pipe}),
      hostPort_(readHostPort(child_)) {}

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

CurlPass fetchWithCurl(const std::vector<std::string>& urls, bool compressed) {
    std::vector<std::string> args{"curl", "-s", "-w", "%{http_code} %{size_download}\\n"};
    if (compressed) {
        args.push_back("--compressed");
    }
    for (const auto& url : urls) {
        args.insert(args.end(), {"-o", "/dev/null", url});
    }
    const auto start = Clock::now();
    test::ChildProcess curl(args, {.out = test::ChildOutput::Pipe});
    curl.readToEnd(std::chrono::hours(1));
    const int exitCode = curl.wait().exitCode;
    CurlPass pass;
    pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (exitCode != 0) {
        throw std::runtime_error("curl failed with exit code " + std::to_string(exitCode));
    }
    std::istringstream in(curl.out());
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
