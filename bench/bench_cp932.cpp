// CP932 conversion throughput on the shapes the export writes: CSV lines of mostly ASCII,
// lines with some Japanese, and whole files. Exits 1 when a floor is missed; the floors
// leave room for a busy two-core machine (a quiet one runs three to five times faster).
#include <chrono>
#include <cstdio>
#include <string>

#include "base/cp932.h"

namespace {

using kestrova::fromCp932;
using kestrova::toCp932;

template <typename Work>
double megabytesPerSecond(std::size_t bytes, Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<double>(bytes) / elapsed.count() / 1e6;
}

bool report(const char* what, double rate, double floor) {
    std::printf("%-34s %8.1f MB/s (floor %.0f)\n", what, rate, floor);
    return rate >= floor;
}

}  // namespace

int main() {
    constexpr int kLines = 1'000'000;
    const std::string ascii = "2018120806050311,01,85.3,72.1,64.0,55.5,12,3,4,5,6,7,8,9,10\r\n";
    const std::string mixed = "2018120806050311,01,85.3,◎,放牧先（ランク）,12,3,4,5,6,7,8\r\n";
    std::size_t sink = 0;

    bool ok = true;
    ok &= report("ASCII lines, one call each",
                 megabytesPerSecond(ascii.size() * kLines,
                                    [&] {
                                        for (int i = 0; i < kLines; ++i) {
                                            sink += toCp932(ascii).bytes.size();
                                        }
                                    }),
                 300);
    ok &= report("Japanese lines, one call each",
                 megabytesPerSecond(mixed.size() * kLines,
                                    [&] {
                                        for (int i = 0; i < kLines; ++i) {
                                            sink += toCp932(mixed).bytes.size();
                                        }
                                    }),
                 30);

    std::string file;
    for (int i = 0; i < kLines; ++i) {
        file += mixed;
    }
    std::string encoded;
    ok &= report("one 70 MB text to CP932",
                 megabytesPerSecond(file.size(), [&] { encoded = toCp932(file).bytes; }), 40);
    ok &=
        report("one 70 MB text from CP932",
               megabytesPerSecond(encoded.size(), [&] { sink += fromCp932(encoded).size(); }), 15);
    return ok && sink > 0 ? 0 : 1;
}
