#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "web/html_tables.h"

namespace kestrova {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows gridOf(std::string_view page, std::size_t table = 0) {
    return readTableGrids(page).at(table).rows;
}

TEST(TableGrid, ACellSpanningRowsOrColumnsStandsInEveryPlaceItCovers) {
    // The win table's frame cell spans the horses of its frame.
    EXPECT_EQ(gridOf("<table><tr><th>枠<th>馬番<th>単勝"
                     "<tr><td rowspan=\"2\">1<td>1<td>4.9"
                     "<tr><td>2<td>6.9"
                     "<tr><td rowspan=2>2<td>3<td>2.0"
                     "<tr><td>4<td>7.7</table>"),
              (Rows{{"枠", "馬番", "単勝"},
                    {"1", "1", "4.9"},
                    {"1", "2", "6.9"},
                    {"2", "3", "2.0"},
                    {"2", "4", "7.7"}}));
    // Both at once, a span in the middle and one at the right edge.
    EXPECT_EQ(gridOf("<table><tr><td colspan=2 rowspan=2>a<td>b<td rowspan=3>c"
                     "<tr><td>d<tr><td>e<td>f<td>g</table>"),
              (Rows{{"a", "a", "b", "c"}, {"a", "a", "d", "c"}, {"e", "f", "g", "c"}}));
    // Spans end with their row group; 0 runs to its end; short rows are padded.
    EXPECT_EQ(gridOf("<table><thead><tr><th rowspan=5>h<th>x</thead>"
                     "<tbody><tr><td rowspan=0>r<td>1<tr><td>2<tr><td>3</tbody>"
                     "<tfoot><tr><td>f</tfoot></table>"),
              (Rows{{"h", "x"}, {"r", "1"}, {"r", "2"}, {"r", "3"}, {"f", ""}}));
    // The header comes first and the footer last, wherever they are written.
    EXPECT_EQ(gridOf("<table><tfoot><tr><td>f</tfoot><tbody><tr><td>b</tbody>"
                     "<thead><tr><th>h</thead></table>"),
              (Rows{{"h"}, {"b"}, {"f"}}));
}

TEST(TableGrid, CellsShowTheirImagesAltTextOnOneLine) {
    EXPECT_EQ(gridOf("<table><tr>"
                     "<td class=waku><img src=\"/JRADB/img/waku/5.png\" alt=\"枠5黄\"></td>"
                     "<td> 12 <br>(3) </td>"
                     "<td><div>1着</div><p>2着 <b>4</b>5</p></td>"
                     "<td><script>x()</script><img src=a.png>&nbsp;</td>"
                     "<td>外<img alt=\"印\">内</td></table>"),
              (Rows{{"枠5黄", "12 (3)", "1着 2着 45", "\u00A0", "外 印 内"}}));
    // The data-file reader keeps reading the same cell as empty.
    EXPECT_EQ(readTables("<table><tr><td><img alt=\"枠5黄\"></table>").at(0).rows.at(0).at(0), "");
}

TEST(TableGrid, TheBlockBeforeATableIsItsHeading) {
    const std::string page =
        "<h2>3連単</h2>"
        "<div class=\"unit\"><div class=\"p_line\"><div>1着 <span>4</span></div>"
        "<div>2着 <span>1</span></div></div>\n"
        "<table><tr><th>2<td>253.1</table></div>"
        "<div class=\"unit\"><div class=\"p_line\">1着 4 2着 2</div>"
        "<div class=\"odds\"><table><tr><th>1<td>84.1</table></div></div>"
        "<table><tr><td>after a table</table>";
    const auto grids = readTableGrids(page);
    ASSERT_EQ(grids.size(), 3u);
    EXPECT_EQ(grids[0].heading, "1着 4 2着 1");
    EXPECT_EQ(grids[0].rows, (Rows{{"2", "253.1"}}));
    // Climbs the wrappers the table opens.
    EXPECT_EQ(grids[1].heading, "1着 4 2着 2");
    // Text that comes before another table is that table's, not this one's.
    EXPECT_EQ(grids[2].heading, "");
}

TEST(TableGrid, SpansThatWouldFillMillionsOfPlacesEndTheReading) {
    std::string page = "<table>";
    for (int row = 0; row < 100; ++row) {
        page += "<tr><td colspan=1000 rowspan=65534>x";
    }
    page += "</table>";
    EXPECT_THROW(readTableGrids(page), HtmlError);
    // One wide row over many empty ones: every short row is padded to its width.
    std::string wide = "<table><tr><td colspan=1000>x";
    for (int row = 0; row < 2000; ++row) {
        wide += "<tr>";
    }
    EXPECT_THROW(readTableGrids(wide + "</table>"), HtmlError);
    // The spans a browser allows, no more: 1000 columns.
    EXPECT_EQ(gridOf("<table><tr><td colspan=99999>x</table>").at(0).size(), 1000u);
}

}  // namespace
}  // namespace kestrova
