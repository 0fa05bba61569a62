// Reading a month data page through HtmlTableReader: the sample server's month page (CP932
// with a Shift_JIS meta tag, about 4000 records of 120 columns), fed in 64 KB pieces as the
// network delivers it, every row copied into a compact store the way the download keeps its
// records table (grown by the first run, reused by the others). Reports the best of several
// runs and the memory the reading needed beyond what the process held before (the page is
// held before). Speed is page bytes over the reading thread's CPU time: on an idle machine
// that is the wall time, on a shared build machine it leaves out the time other processes
// held the cores. 1 MB = 1,048,576 bytes.
//
//   bench_html_tables [--runs N]
//
// Targets on the 2-core build machine: at least 60 MB/s, under 32 MB peak. For scale, the
// same page through libxml2 alone (its own decoding, callbacks that do nothing) is shown
// too: on a busy machine both figures drop together.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <time.h>
#include <vector>

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include "base/text.h"
#include "sample_data.h"
#include "web/html_tables.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMB = 1024.0 * 1024.0;
constexpr std::size_t kPiece = 64 * 1024;

/// The rows of the first table: one text buffer, cell ends and row ends as offsets.
class CompactRows : public kestrova::TableRowSink {
  public:
    void onRow(std::size_t table, std::size_t, std::span<const std::string_view> cells) override {
        if (table != 0) {
            return;
        }
        for (const std::string_view cell : cells) {
            text_.append(kestrova::trimSpaces(cell));
            cellEnds_.push_back(static_cast<std::uint32_t>(text_.size()));
        }
        rowEnds_.push_back(static_cast<std::uint32_t>(cellEnds_.size()));
    }

    /// Empties the store and keeps its capacity, as the records table does between files.
    void clear() {
        text_.clear();
        cellEnds_.clear();
        rowEnds_.clear();
    }

    std::size_t rows() const { return rowEnds_.size(); }
    std::size_t cells(std::size_t row) const {
        return rowEnds_[row] - (row == 0 ? 0 : rowEnds_[row - 1]);
    }
    std::string_view cell(std::size_t row, std::size_t column) const {
        const std::size_t index = (row == 0 ? 0 : rowEnds_[row - 1]) + column;
        const std::size_t begin = index == 0 ? 0 : cellEnds_[index - 1];
        return std::string_view(text_).substr(begin, cellEnds_[index] - begin);
    }

  private:
    std::string text_;
    std::vector<std::uint32_t> cellEnds_;
    std::vector<std::uint32_t> rowEnds_;
};

/// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(std::string_view field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':') {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

/// Resets the peak resident size to the current one; false where the kernel does not allow it.
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Run {
    double seconds = 0;     ///< wall clock
    double cpuSeconds = 0;  ///< this thread's CPU time
    double peakMB = 0;
};

Run readOnce(std::string_view page, CompactRows& rows, bool peakResettable) {
    malloc_trim(0);
    const long before = statusKb("VmRSS");
    if (peakResettable) {
        resetPeak();
    }
    const auto start = Clock::now();
    const double cpuStart = threadCpuSeconds();
    kestrova::HtmlTableReader reader(rows);
    reader.onResponseStart(200, "text/html");
    for (std::size_t pos = 0; pos < page.size(); pos += kPiece) {
        reader.onBody(page.substr(pos, kPiece));
    }
    reader.finish();
    const double cpuSeconds = threadCpuSeconds() - cpuStart;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds, cpuSeconds, static_cast<double>(statusKb("VmHWM") - before) / 1024.0};
}

/// CPU seconds of libxml2's push parser alone on the page, its own CP932 decoding and SAX
/// callbacks that do nothing: the floor under the reader, measured under the same load.
double bareParserSeconds(std::string_view page) {
    htmlSAXHandler sax{};
    sax.startElement = [](void*, const xmlChar*, const xmlChar**) {};
    sax.endElement = [](void*, const xmlChar*) {};
    sax.characters = [](void*, const xmlChar*, int) {};
    const double cpuStart = threadCpuSeconds();
    const htmlParserCtxtPtr parser =
        htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
    htmlCtxtUseOptions(parser, HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                   HTML_PARSE_IGNORE_ENC);
    xmlSwitchToEncoding(parser, xmlFindCharEncodingHandler("CP932"));
    for (std::size_t pos = 0; pos < page.size(); pos += kPiece) {
        const std::string_view piece = page.substr(pos, kPiece);
        htmlParseChunk(parser, piece.data(), static_cast<int>(piece.size()), 0);
    }
    htmlParseChunk(parser, nullptr, 0, 1);
    htmlFreeParserCtxt(parser);
    return threadCpuSeconds() - cpuStart;
}

/// Cells that differ from what the generator put in; the header row is checked by its key.
std::size_t mismatches(const CompactRows& rows, const kestrova::sample::DataFile& file) {
    std::size_t wrong = rows.cell(0, 0) == file.headerCell ? 0 : 1;
    for (std::size_t r = 0; r < file.records.size(); ++r) {
        const auto& cells = file.records[r].cells;
        if (r + 1 >= rows.rows() || rows.cells(r + 1) != cells.size()) {
            ++wrong;
            continue;
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            wrong += rows.cell(r + 1, c) == kestrova::trimSpaces(cells[c]) ? 0 : 1;
        }
    }
    return wrong;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    if (argc == 3 && std::string_view(argv[1]) == "--runs") {
        runs = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: bench_html_tables [--runs N]\n");
        return 2;
    }

    const kestrova::sample::DataFile file = kestrova::sample::generateMonth(2018, 1);
    const std::string page =
        kestrova::sample::renderDataPage(file, kestrova::sample::Charset::Cp932);
    std::printf("month page: %zu records, %.2f MB CP932\n", file.records.size(),
                static_cast<double>(page.size()) / kMB);

    const bool peakResettable = resetPeak();
    if (!peakResettable) {
        std::printf("peak memory cannot be reset here: only the first run's peak is measured\n");
    }
    // One store for all runs: the first run grows it (and its peak counts the store), later
    // runs reuse it like the download reuses its records table.
    CompactRows rows;
    std::optional<Run> best;
    double worstPeak = 0;
    for (int i = 0; i < runs; ++i) {
        rows.clear();
        const Run run = readOnce(page, rows, peakResettable);
        if (i == 0) {
            const std::size_t wrong = mismatches(rows, file);
            std::printf("rows read: %zu, cells differing from the generator: %zu\n", rows.rows(),
                        wrong);
            if (wrong != 0 || rows.rows() != file.records.size() + 1) {
                std::fprintf(stderr, "the page was not read correctly\n");
                return 1;
            }
        }
        if (peakResettable || i == 0) {
            worstPeak = std::max(worstPeak, run.peakMB);
        }
        std::printf("run %d: wall %.1f ms, cpu %.1f ms, %.1f MB/s, %.1f MB peak\n", i + 1,
                    run.seconds * 1e3, run.cpuSeconds * 1e3,
                    static_cast<double>(page.size()) / kMB / run.cpuSeconds, run.peakMB);
        if (!best || run.cpuSeconds < best->cpuSeconds) {
            best = run;
        }
    }
    double bare = bareParserSeconds(page);
    for (int i = 1; i < runs; ++i) {
        bare = std::min(bare, bareParserSeconds(page));
    }
    std::printf("libxml2 alone, no-op callbacks: %.1f MB/s\n",
                static_cast<double>(page.size()) / kMB / bare);
    std::printf("html tables: %.1f MB/s, %.1f MB peak\n",
                static_cast<double>(page.size()) / kMB / best->cpuSeconds, worstPeak);
    return 0;
}
