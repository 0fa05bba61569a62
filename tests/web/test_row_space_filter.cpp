#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "web/row_space_filter.h"

namespace kestrova {
namespace {

const std::string kBreak(kCellBreak);

std::string filtered(std::string_view page) {
    RowSpaceFilter filter;
    std::string text(page);
    filter.filter(text);
    filter.finish(text);
    return text;
}

std::string filteredInTwo(std::string_view page, std::size_t cut) {
    RowSpaceFilter filter;
    std::string first(page.substr(0, cut));
    std::string second(page.substr(cut));
    filter.filter(first);
    filter.filter(second);
    std::string rest;
    filter.finish(rest);
    return first + second + rest;
}

TEST(RowSpaceFilter, JoinsPlainCellsAndDropsWhatTheParserWouldImply) {
    EXPECT_EQ(filtered("<tr>\r\n  <td>a</td>\r\n  <td>b</td>\r\n</tr>\r\n<p>"),
              "<tr><td>a" + kBreak + "b</tr><p>");
    // After other markup the filter assumes nothing: only a new cell's start is sure.
    EXPECT_EQ(filtered("<tr><td><b>x</b></td> <td>y</td><th>z</th></tr>"),
              "<tr><td><b>x</b></td> <td>y<th>z</th></tr>");
    // Cells of two kinds are never joined: the parser would not end the first one.
    EXPECT_EQ(filtered("<tr><th>a</th><td>b</td>&nbsp;<td>c</td></tr>"),
              "<tr><th>a<td>b</td>&nbsp;<td>c</tr>");
    // An end tag that ends nothing keeps the white space after it.
    EXPECT_EQ(filtered("<td>a</td></tr> b"), "<td>a</td></tr> b");
    // Text between cells is row content no cell holds; it is not joined into a cell.
    EXPECT_EQ(filtered("<td>a</td>text<td>b</td>"), "<td>a</td>text<td>b</td>");
    // "<th/>" ends at once: what follows it is no cell's text.
    EXPECT_EQ(filtered("<tr><th>a</th><th/>b"), "<tr><th>a<th/>b");
    // Tags that only look like cell tags pass untouched.
    EXPECT_EQ(filtered("<td>a</td><tdx><track></td>"), "<td>a</td><tdx><track></td>");
}

TEST(RowSpaceFilter, TagCutByThePieceEndIsHeldForTheNextPiece) {
    // Inside "<td>" the filter cannot tell a cell from other markup yet: it waits.
    const std::string page = "<tr><td>1</td><td>2</td></tr>";
    const std::string whole = filtered(page);
    for (const std::size_t cut : {1u, 2u, 3u, 5u, 6u, 7u}) {
        EXPECT_EQ(filteredInTwo(page, cut), whole) << "cut at " << cut;
    }
    // A piece that ends right after a cell's end tag cannot know what follows: the tag stays,
    // which the parser reads the same way.
    EXPECT_EQ(filteredInTwo(page, 14), "<tr><td>1</td><td>2</tr>");
}

TEST(RowSpaceFilter, LongTagCutByThePieceEndPassesWhole) {
    const std::string tag = "<td title=\"" + std::string(400, 'x') + "\">";
    const std::string page = "<tr>" + tag + "a</td></tr>";
    const std::string text = filteredInTwo(page, 100);
    EXPECT_NE(text.find(tag), std::string::npos);
    EXPECT_NE(text.find("a"), std::string::npos);
    // Cut inside a quoted value that holds markup: nothing in the value is taken for a tag.
    const std::string value = std::string(300, 'x') + "> <td>   kept";
    const std::string quoted = "<tr><td title=\"" + value + "\">a</td></tr>";
    EXPECT_NE(filteredInTwo(quoted, quoted.find("kept") + 2).find(value), std::string::npos);
}

TEST(RowSpaceFilter, PageOwnCellBreakCharacterNeverSplitsACell) {
    EXPECT_EQ(filtered("<td>a" + kBreak + "b</td>"),
              "<td>a\xEF\xBF\xBD"
              "b</td>");
    // Also right after a held tag.
    EXPECT_EQ(filteredInTwo("<td>a</td><td" + kBreak + "b</td>", 12),
              "<td>a</td><td\xEF\xBF\xBD"
              "b</td>");
}

}  // namespace
}  // namespace kestrova
