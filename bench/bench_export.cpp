// End-to-end past-data export against the sample server on loopback: every month from
// January of the start year to the newest month, all index kinds and all comments.
//
// The server runs as a separate process, so its CPU and memory stay out of the figures.
// Every file is fetched once with curl first: that warms the server's page cache (the
// export must not pay for page generation) and counts the HTML body bytes. The export asks
// for plain answers: this is the reading and writing; bench_link measures the link. Then the export
// runs in this process, then curl fetches the same files again for comparison.
//
// The run deletes its ~94,000 files at the end. On ext4 a run started within a few minutes of
// that pays for the inode allocator skipping recently freed inodes; leave a pause between runs.
//
// --again exports a second time over the files of the first run, as a weekly re-export does,
// and prints that run's times too (the last line stays the first run's).
//
// --defaults runs the export as the programs do by default: compressed answers (the server
// keeps its pages compressed, so that it does not compress each anew) and a download cache.
// bench_window compares the window with this.
//
//   bench_export [--newest YYYY-MM] [--from YEAR] [--again] [--defaults] [--server PATH]

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
#include "bench_support.h"
#include "export/data_file_names.h"
#include "export/data_kinds.h"
#include "export/export_run.h"
#include "export/export_state.h"
#include "services/app_log.h"
#include "services/core_context.h"
#include "services/data_cache.h"
#include "web/member_server.h"

namespace {

using namespace kestrova::bench;

struct Options {
    int newestYear = 2026;
    int newestMonth = 11;
    int fromYear = 2010;
    bool again = false;     ///< export a second time over the first run's files
    bool defaults = false;  ///< compressed answers and a download cache
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
        } else if (arg == "--defaults") {
            options.defaults = true;
        } else if (arg == "--server" && hasValue) {
            options.server = argv[++i];
        } else {
            throw std::invalid_argument(
                "usage: bench_export [--newest YYYY-MM] [--from YEAR] [--again] [--defaults] "
                "[--server PATH]");
        }
    }
    if (options.fromYear < 2010 || options.fromYear > options.newestYear) {
        throw std::invalid_argument("--from must lie between 2010 and the newest year");
    }
    return options;
}

struct TimedExport {
    kestrova::ExportResult result;
    double seconds = 0;
    PhaseTimer phases;
};

TimedExport timedExport(kestrova::CoreContext& ctx, const kestrova::ExportJob& job) {
    TimedExport timed;
    const auto start = Clock::now();
    timed.result = kestrova::runExportJob(ctx, job, &timed.phases);
    timed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return timed;
}

int run(const Options& options) {
    HostFolder host;
    char newest[16];
    std::snprintf(newest, sizeof newest, "%04d-%02d", options.newestYear, options.newestMonth);

    const auto files = monthFiles(options.fromYear, options.newestYear, options.newestMonth);
    std::vector<std::string> serverArgs{"--newest", newest};
    if (options.defaults) {
        serverArgs.insert(serverArgs.end(), {"--cache-pages", std::to_string(files.size() + 4)});
    }
    const ServerProcess server(options.server, serverArgs);
    const std::string hostPort = server.hostPort();
    const kestrova::MemberServer memberServer(hostPort, "10");

    std::vector<std::string> urls;
    for (const auto& file : files) {
        urls.push_back(memberServer.dataFileUrl(file));
    }
    std::cout << "server " << hostPort << ", " << files.size() << " month files " << files.front()
              << " .. " << files.back() << std::endl;
    if (options.defaults) {
        fetchWithCurl(urls, true);
    }
    const CurlPass warmUp = fetchWithCurl(urls);
    std::cout << "warm-up: " << warmUp.bodyBytes << " bytes of HTML" << std::endl;
    if (options.defaults) {
        std::cout << "compressed answers and a download cache, as the programs run by default"
                  << std::endl;
    }

    // The log as the programs configure it: every activity line is copied there.
    const kestrova::SsLogging log = kestrova::makeAppLog(host.path());
    QuietUi ui;
    // Plain answers unless asked: this measures reading and writing; bench_link the link.
    kestrova::HttpOptions http;
    http.offerCompression = options.defaults;
    kestrova::CoreContext ctx(log, ui, memberServer, http);
    const kestrova::ExportJob job{.selection = everythingFrom(options.fromYear, options.newestYear,
                                                              options.newestMonth, host.path()),
                                  .appFolder = host.path(),
                                  .useCache = options.defaults,
                                  .confirm = false};

    const TimedExport first = timedExport(ctx, job);
    const double peak = peakMemoryMiB();
    if (!first.result.complete()) {
        std::cerr << "the export did not finish cleanly (" << first.result.filesFailed
                  << " files failed); last line: " << ui.last << "\n"
                  << ui.messages;
        return 1;
    }
    const std::size_t written =
        countFiles(host.path() / "MY_DATA") + countFiles(host.path() / "KSTR_DATA");

    const CurlPass curl = fetchWithCurl(urls);
    const double throughput = static_cast<double>(warmUp.bodyBytes) / kMiB / first.seconds;

    std::printf("HTML downloaded: %.1f MB (%llu bytes) in %zu files\n",
                static_cast<double>(warmUp.bodyBytes) / kMiB,
                static_cast<unsigned long long>(warmUp.bodyBytes), files.size());
    std::printf("files written: %zu (%lld counted by the run), activity lines: %ld\n", written,
                static_cast<long long>(first.result.filesWritten), ui.lines);
    std::printf("export: %.2f s wall; curl: %.2f s wall for the same files\n", first.seconds,
                curl.seconds);
    printPhases(first.phases);
    const auto& phases = first.phases;
    const double exportCpu = phases.fetching.cpu + phases.writing.cpu + phases.other.cpu;
    std::printf("  CPU of the export: %.2f s, %.1f MB per CPU second\n", exportCpu,
                static_cast<double>(warmUp.bodyBytes) / kMiB / exportCpu);
    if (options.again) {
        const TimedExport second = timedExport(ctx, job);
        std::printf(
            "again over the first run's files: %.2f s wall%s\n", second.seconds,
            second.result.outcome == kestrova::ExportOutcome::Finished ? "" : " (not finished)");
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
