// Page generation of the sample server: every month file from 2010-01 to a newest month,
// generated, rendered and encoded as the server does it. The server must produce a month
// page well within 50 ms so that downloads through it are limited by the client.
//
//   bench_sample_pages [--newest YYYY-MM] [--seed N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <time.h>

#include "data_paths.h"
#include "sample_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int newestYear = 2026;
    int newestMonth = 11;
    std::uint32_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--newest" && i + 1 < argc &&
            std::sscanf(argv[++i], "%4d-%2d", &newestYear, &newestMonth) == 2) {
            continue;
        }
        if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<std::uint32_t>(std::stoul(argv[++i]));
            continue;
        }
        std::fprintf(stderr, "usage: bench_sample_pages [--newest YYYY-MM] [--seed N]\n");
        return 2;
    }

    double totalCpu = 0, maxCpu = 0, totalWall = 0, maxWall = 0;
    std::size_t bytes = 0, pages = 0;
    for (int year = 2010; year <= newestYear; ++year) {
        for (int month = 1; month <= (year == newestYear ? newestMonth : 12); ++month) {
            const kestrova::sample::DataFileName name{year, month, 0};
            const kestrova::sample::PageStyle style = kestrova::sample::styleOf(name);
            const double cpu0 = threadCpuMs();
            const auto wall0 = Clock::now();
            const std::string page =
                kestrova::sample::renderMonthPage(year, month, seed, style.charset, style.layout);
            const double wall =
                std::chrono::duration<double, std::milli>(Clock::now() - wall0).count();
            const double cpu = threadCpuMs() - cpu0;
            totalCpu += cpu;
            totalWall += wall;
            maxCpu = std::max(maxCpu, cpu);
            maxWall = std::max(maxWall, wall);
            bytes += page.size();
            ++pages;
        }
    }
    std::printf("%zu month pages, %.1f MB in all, %.2f MB a page\n", pages, bytes / 1e6,
                bytes / 1e6 / static_cast<double>(pages));
    std::printf("cpu  per page: mean %.1f ms, max %.1f ms\n", totalCpu / static_cast<double>(pages),
                maxCpu);
    std::printf("wall per page: mean %.1f ms, max %.1f ms\n",
                totalWall / static_cast<double>(pages), maxWall);
    return 0;
}
