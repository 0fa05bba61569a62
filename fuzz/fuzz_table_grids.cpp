// The table grid reader of race pages on hostile pages: whatever the markup, it must not
// crash, and every grid keeps its promises.
//
// Input: byte 0 picks the Content-Type (low three bits); the rest is the page.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/errors.h"
#include "fuzz_checks.h"
#include "web/html_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;
    using fuzz::check;
    if (size < 1) {
        return 0;
    }
    const std::string_view contentType = fuzz::kContentTypes[data[0] & 7];
    const std::string_view page(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        for (const TableGrid& grid : readTableGrids(page, contentType)) {
            check(fuzz::isUtf8(grid.heading), "a heading is not valid UTF-8", grid.heading);
            check(grid.heading.find('\n') == std::string::npos, "a heading spans lines",
                  grid.heading);
            for (const auto& row : grid.rows) {
                check(row.size() == grid.rows.front().size(), "the rows of a grid differ in width");
                for (const auto& cell : row) {
                    check(fuzz::isUtf8(cell), "a cell is not valid UTF-8", cell);
                }
            }
        }
    } catch (const Error&) {
        // HtmlError for a grid beyond its limits, or an encoding the system cannot read.
    }
    return 0;
}
