// A past-data export over a simulated real line: the sample server limited to 12.5 MB/s
// (100 Mbit/s) shared by all connections, with 20 ms before each answer. Three passes in one
// run over the same months (January of --from through the newest month, all index kinds
// and all comments):
//   curl   fetching the files uncompressed one after another, as the plain transfer of the
//          original program moves them;
//   first  the export with an empty download cache (compressed transfer);
//   again  the same export once more (conditional requests, the cache's copies).
// The server keeps every page generated and compressed after a warm-up pass, so generation
// stays out of the figures. Bytes are the server's body bytes on the wire.
//
//   bench_link [--newest YYYY-MM] [--from YEAR] [--rate BYTES] [--latency MS] [--server PATH]

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/ss_logging.h"
#include "bench_support.h"
#include "export/data_file_names.h"
#include "export/data_kinds.h"
#include "export/export_run.h"
#include "export/export_state.h"
#include "services/app_log.h"
#include "services/core_context.h"
#include "services/data_cache.h"
#include "web/http_request.h"
#include "web/member_server.h"

namespace {

using namespace kestrova::bench;

struct Options {
    int newestYear = 0;
    int newestMonth = 0;
    int fromYear = 2024;
    long rate = 12'500'000;
    long latencyMs = 20;
    fs::path server = KESTROVA_SAMPLE_SERVER_EXE;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    options.newestYear = local.tm_mon == 0 ? local.tm_year + 1899 : local.tm_year + 1900;
    options.newestMonth = local.tm_mon == 0 ? 12 : local.tm_mon;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--newest" && hasValue) {
            if (std::sscanf(argv[++i], "%4d-%2d", &options.newestYear, &options.newestMonth) != 2) {
                throw std::invalid_argument("--newest wants YYYY-MM");
            }
        } else if (arg == "--from" && hasValue) {
            options.fromYear = std::atoi(argv[++i]);
        } else if (arg == "--rate" && hasValue) {
            options.rate = std::atol(argv[++i]);
        } else if (arg == "--latency" && hasValue) {
            options.latencyMs = std::atol(argv[++i]);
        } else if (arg == "--server" && hasValue) {
            options.server = argv[++i];
        } else {
            throw std::invalid_argument(
                "usage: bench_link [--newest YYYY-MM] [--from YEAR] [--rate BYTES] "
                "[--latency MS] [--server PATH]");
        }
    }
    return options;
}

/// The server's count of body bytes sent so far.
std::uint64_t bytesSent(const std::string& hostPort) {
    kestrova::HttpRequest request = kestrova::CreateHttpRequest();
    request.Open("GET", "http://" + hostPort + "/sample-server/bytes-sent");
    request.send({}, kestrova::BodyLimit(std::size_t{1} << 30, "ページ"));
    return std::stoull(request.responseBody());
}

struct Pass {
    double seconds = 0;
    std::uint64_t bytes = 0;
};

int run(const Options& options) {
    HostFolder host;
    char newest[16];
    std::snprintf(newest, sizeof newest, "%04d-%02d", options.newestYear, options.newestMonth);
    const auto files = monthFiles(options.fromYear, options.newestYear, options.newestMonth);
    const ServerProcess server(
        options.server,
        {"--newest", newest, "--rate", std::to_string(options.rate), "--latency",
         std::to_string(options.latencyMs), "--cache-pages", std::to_string(files.size() + 4)});
    const std::string& hostPort = server.hostPort();
    const kestrova::MemberServer memberServer(hostPort, "10");
    std::vector<std::string> urls;
    for (const auto& file : files) {
        urls.push_back(memberServer.dataFileUrl(file));
    }
    std::cout << "server " << hostPort << ", " << options.rate << " bytes/s, " << options.latencyMs
              << " ms; " << files.size() << " month files " << files.front() << " .. "
              << files.back() << std::endl;
    const CurlPass warmUp = fetchWithCurl(urls, true);
    std::cout << "warm-up (compressed): " << warmUp.bodyBytes << " bytes in " << warmUp.seconds
              << " s" << std::endl;

    auto before = bytesSent(hostPort);
    const CurlPass curl = fetchWithCurl(urls);
    const Pass plain{curl.seconds, bytesSent(hostPort) - before};

    const kestrova::SsLogging log = kestrova::makeAppLog(host.path());
    QuietUi ui;
    kestrova::CoreContext ctx(log, ui, memberServer);
    const kestrova::ExportJob job{.selection = everythingFrom(options.fromYear, options.newestYear,
                                                              options.newestMonth, host.path()),
                                  .appFolder = host.path() / "app",
                                  .useCache = true,
                                  .confirm = false};

    const auto timed = [&] {
        const auto start = Clock::now();
        const auto sentBefore = bytesSent(hostPort);
        PhaseTimer phases;
        const auto result = kestrova::runExportJob(ctx, job, &phases);
        printPhases(phases);
        if (!result.complete()) {
            throw std::runtime_error("the export did not finish cleanly; last line: " + ui.last +
                                     "\n" + ui.messages);
        }
        return Pass{std::chrono::duration<double>(Clock::now() - start).count(),
                    bytesSent(hostPort) - sentBefore};
    };
    const Pass first = timed();
    const std::size_t written =
        countFiles(host.path() / "MY_DATA") + countFiles(host.path() / "KSTR_DATA");
    const Pass again = timed();

    const auto line = [](const char* name, const Pass& pass) {
        std::printf("%-6s %7.2f s  %10.1f MB moved\n", name, pass.seconds,
                    static_cast<double>(pass.bytes) / kMiB);
    };
    line("curl", plain);
    line("first", first);
    line("again", again);
    std::printf(
        "files written each export: %zu; targets: first <= 0.35 x curl, again <= 0.2 x "
        "curl; first %.2f, again %.2f of curl\n",
        written, first.seconds / plain.seconds, again.seconds / plain.seconds);
    std::printf("link: curl %.2f s, first %.2f s, again %.2f s\n", plain.seconds, first.seconds,
                again.seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parseOptions(argc, argv));
    } catch (const std::exception& error) {
        std::cerr << "bench_link: " << error.what() << "\n";
        return 1;
    }
}
