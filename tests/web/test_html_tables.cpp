#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <ranges>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "web/html_tables.h"

namespace kestrova {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

std::string fixture(std::string_view name) {
    return test::readFile(std::filesystem::path(KESTROVA_TEST_DATA) / "html" / name);
}

std::vector<Rows> tablesIn(std::string_view page, std::string_view contentType = {}) {
    std::vector<Rows> result;
    for (const HtmlTable& table : readTables(page, contentType)) {
        result.push_back(table.rows);
    }
    return result;
}

/// Everything the reader tells its sink, in order, with the row numbers it gave.
struct Recorder : TableRowSink {
    void onTableStart(std::size_t table) override {
        events.push_back("table " + std::to_string(table));
    }
    void onRow(std::size_t table, std::size_t row,
               std::span<const std::string_view> cells) override {
        std::string event = "row " + std::to_string(table) + "/" + std::to_string(row) + ":";
        for (const std::string_view cell : cells) {
            event.append(cell).push_back('|');
        }
        events.push_back(event);
        if (onEvent) {
            onEvent(table, row);
        }
    }
    std::vector<std::string> events;
    std::function<void(std::size_t, std::size_t)> onEvent;
};

/// Feeds `page` in pieces whose sizes `nextSize` picks.
std::vector<std::string> eventsFedInPieces(std::string_view page, std::string_view contentType,
                                           const std::function<std::size_t()>& nextSize) {
    Recorder recorder;
    HtmlTableReader reader(recorder);
    reader.onResponseStart(200, contentType);
    while (!page.empty()) {
        const std::string_view piece = page.substr(0, nextSize());
        reader.onBody(piece);
        page.remove_prefix(piece.size());
    }
    reader.finish();
    return recorder.events;
}

std::vector<std::string> eventsFedWhole(std::string_view page, std::string_view contentType = {}) {
    return eventsFedInPieces(page, contentType, [&] { return page.size(); });
}

const Rows kHorseTable = {
    {"馬名", "印", "備考"},
    {"ソダシ", "◎", "ｶﾀｶﾅ①～－"},
    {"表彰", "○", "ﾃﾞｰﾀ"},
};

TEST(HtmlTables, ListsHeadBodyAndDirectRowsInOrderAndFooterRowsLast) {
    EXPECT_THAT(
        tablesIn(fixture("sections.html")),
        ElementsAre(Rows{{"キー", "値"}, {"a", "1"}, {"b", "2"}, {"c", "3"}, {"合計", "3"}}));
}

TEST(HtmlTables, NumbersNestedTablesInDocumentOrderAndKeepTheirRowsApart) {
    const auto tables = tablesIn(fixture("nested.html"));
    ASSERT_EQ(tables.size(), 4u);
    EXPECT_THAT(
        tables[0],
        ElementsAre(Row{"outer 0,0", "before\r\nin 0,0\tin 0,1\r\nin 1,0\r\ndeep\tin 1,2\r\nafter"},
                    Row{"outer 1,0"}));
    EXPECT_THAT(tables[1],
                ElementsAre(Row{"in 0,0", "in 0,1"}, Row{"in 1,0\r\ndeep", "", "in 1,2"}));
    EXPECT_THAT(tables[2], ElementsAre(Row{"deep"}));
    EXPECT_THAT(tables[3], ElementsAre(Row{"second"}));
}

TEST(HtmlTables, ImpliedEndTagsGiveTheRowsABrowserBuilds) {
    EXPECT_THAT(tablesIn(fixture("implied_ends.html")),
                ElementsAre(Rows{{"a1", "a2"}, {"b1", "b2", "b3"}}, Rows{{"x", "y"}, {"z"}},
                            Rows{{"h", "para\r\ntwo"}}, Rows{{"1"}, {"2"}}, Rows{{"last"}}));
}

TEST(HtmlTables, TableStartedBetweenRowsFollowsTheOpenTableInsteadOfNesting) {
    EXPECT_THAT(tablesIn("<table><tr><td>a</td></tr><table><tr><td>b</td></tr></table>"),
                ElementsAre(Rows{{"a"}}, Rows{{"b"}}));
}

TEST(HtmlTables, LayoutOfTheMarkupDoesNotChangeTheRows) {
    // The same table written compactly, one cell a line, and with the end tags left out.
    const Rows expected = {{"a", "b c", "", "d"}, {"e", "f", "g", "h\r\ni"}};
    EXPECT_THAT(tablesIn("<table><tr><td>a</td><td>b c</td><td></td><th>d</th></tr>"
                         "<tr><td>e</td><td><b>f</b></td><td><div>g</td><td>h<br>i</td></tr>"
                         "</table>"),
                ElementsAre(expected));
    EXPECT_THAT(tablesIn("<TABLE>\r\n <TR>\r\n  <TD>a</TD>\r\n  <TD>\r\n b\r\n c\r\n </TD>\r\n"
                         "  <TD> </TD>\r\n  <TH>d</TH>\r\n </TR>\r\n <TR>\r\n  <TD>e</TD>\r\n"
                         "  <TD><B>f</B></TD>\r\n  <TD><DIV>g</TD>\r\n  <TD>h<BR>i</TD>\r\n"
                         " </TR >\r\n</TABLE>"),
                ElementsAre(expected));
    EXPECT_THAT(tablesIn("<table><tr><td>a<td>b c<td><th>d<tr><td>e<td><b>f</b><td><div>g<td>h<br>i"
                         "</table>"),
                ElementsAre(expected));
    // Text between a cell's end and the next cell belongs to no cell.
    EXPECT_THAT(tablesIn("<table><tr><td>a</td> stray <td>b</td></tr></table>"),
                ElementsAre(Rows{{"a", "b"}}));
}

TEST(HtmlTables, EmptyRowsAndCellsCount) {
    EXPECT_THAT(tablesIn("<table><tr></tr><tr><td></td><td> </td><th>h</th></tr></table>"),
                ElementsAre(Rows{{}, {"", "", "h"}}));
}

TEST(HtmlTables, RowsReachTheSinkBeforeTheirTableCloses) {
    Recorder recorder;
    HtmlTableReader reader(recorder);
    reader.onResponseStart(200, "text/html; charset=utf-8");
    reader.onBody("<table><tr><td>a</td></tr><tr><td>b</td><td>c<table><tr><td>n");
    EXPECT_THAT(recorder.events, ElementsAre("table 0", "row 0/0:a|", "table 1"));
    reader.onBody("</td></tr></table></td></tr><tr>");
    EXPECT_THAT(recorder.events,
                ElementsAre("table 0", "row 0/0:a|", "table 1", "row 1/0:n|", "row 0/1:b|c\r\nn|"));
    reader.onBody("<td>open");
    reader.finish();
    EXPECT_EQ(recorder.events.back(), "row 0/2:open|");
}

TEST(HtmlTables, CellTextIsWhatABrowserShows) {
    const auto tables = tablesIn(
        "<table><tr>"
        "<td>  a   b\n\t c  </td>"
        "<td>x<br>y</td>"
        "<td> x <br> y<br/></td>"
        "<td> &amp;&lt;&gt;&quot;&#x41;&#66;&copy; </td>"
        "<td>&nbsp;</td>"
        "<td>a&nbsp; &nbsp;b</td>"
        "<td><b>bo</b>ld <i> it </i>!</td>"
        "<td>a<b>b</b> c</td>"
        "<td><div>one</div> <div>two</div>three</td>"
        "<td>full\u3000width</td>"
        "</tr></table>");
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_THAT(tables[0], ElementsAre(Row{"a b c", "x\r\ny", "x\r\ny\r\n", "&<>\"AB\u00A9",
                                           "\u00A0", "a\u00A0 \u00A0b", "bold it !", "ab c",
                                           "one\r\ntwo\r\nthree", "full\u3000width"}));
}

TEST(HtmlTables, TextOfHiddenElementsIsLeftOut) {
    const auto tables = tablesIn(
        "<html><head><title>t</title><style>td { color: red }</style></head><body><table><tr>"
        "<td>a<script>document.write(\"<td>no</td>\");</script>b</td>"
        "<td><style>td{}</style>c</td>"
        "<td><noscript>n</noscript>d</td>"
        "<td><template><tr><td>t</td></tr></template>e</td>"
        "</tr></table>");
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_THAT(tables[0], ElementsAre(Row{"ab", "c", "d", "e"}));
}

TEST(HtmlTables, PageWithoutHtmlElementHasItsTablesRead) {
    // The html element is implied: the page does not end where its first element closes.
    for (const std::string_view start :
         {"<head><title>t</title></head>", "<title>t</title>", "<style>p{}</style>\n",
          "<meta charset=\"utf-8\"><p>x</p>"}) {
        EXPECT_THAT(tablesIn(std::string(start) + "<table><tr><td>a</td><td>b</td></tr></table>"),
                    ElementsAre(Rows{{"a", "b"}}))
            << start;
    }
}

TEST(HtmlTables, PageWithoutTablesGivesNone) {
    EXPECT_THAT(tablesIn("<html><body><p>404 Not Found</p><td>stray</td></body></html>"),
                IsEmpty());
    EXPECT_THAT(tablesIn(""), IsEmpty());
}

TEST(HtmlTables, ReadsEveryEncodingDeclarationTheSameWay) {
    struct Case {
        const char* file;
        const char* contentType;
    };
    for (const Case& c :
         {Case{"cp932_meta.html", "text/html"}, Case{"cp932_http_equiv.html", ""},
          Case{"cp932_plain.html", "text/html; charset=Shift_JIS"}, Case{"cp932_plain.html", ""},
          Case{"cp932_late_japanese.html", "text/html"}, Case{"utf8_meta.html", ""},
          Case{"utf8_plain.html", "text/html"},
          Case{"utf8_bom.html", "text/html; charset=Shift_JIS"}}) {
        EXPECT_THAT(tablesIn(fixture(c.file), c.contentType), ElementsAre(kHorseTable))
            << c.file << " / " << c.contentType;
    }
}

TEST(HtmlTables, HttpCharsetOutranksTheMetaOfThePage) {
    // The page says Shift_JIS, the server says UTF-8: the server is right.
    const std::string page =
        "<meta charset=\"Shift_JIS\"><table><tr><td>\xE9\xA6\xAC</td></tr></table>";
    EXPECT_THAT(tablesIn(page, "text/html; charset=UTF-8"), ElementsAre(Rows{{"馬"}}));
}

TEST(HtmlTables, MalformedBytesBecomeReplacementCharactersAndReadingGoesOn) {
    const std::string cp932 =
        "<meta charset=shift_jis><table><tr><td>\x94\x6E\xFF\xFD</td></tr><tr><td>\x82\xA0</td>"
        "</tr></table>";
    EXPECT_THAT(tablesIn(cp932), ElementsAre(Rows{{"馬\uFFFD\uFFFD"}, {"あ"}}));
    const std::string utf8 =
        "<meta charset=utf-8><table><tr><td>a\xC0\x80z\xE9\xA6</td></tr><tr><td>b</td></tr>"
        "</table>";
    EXPECT_THAT(tablesIn(utf8), ElementsAre(Rows{{"a\uFFFD\uFFFDz\uFFFD"}, {"b"}}));
}

TEST(HtmlTables, RowsDoNotDependOnHowTheBodyIsSplit) {
    std::mt19937 random(20240501);
    for (const char* file : {"sections.html", "nested.html", "implied_ends.html", "cp932_meta.html",
                             "cp932_plain.html", "cp932_late_japanese.html", "utf8_bom.html"}) {
        const std::string page = fixture(file);
        const auto whole = eventsFedWhole(page);
        ASSERT_GT(whole.size(), 2u) << file;
        EXPECT_EQ(eventsFedInPieces(page, {}, [] { return 1; }), whole) << file;
        std::uniform_int_distribution<std::size_t> size(1, 700);
        EXPECT_EQ(eventsFedInPieces(page, {}, [&] { return size(random); }), whole) << file;
    }
}

TEST(HtmlTables, RowsOfPlainCellsKeepEveryCellWhateverTheirMarkup) {
    // Plain cells are joined before the parser sees them; attributes, entities, th, empty
    // cells and the page's own U+FDD0, also written as a character reference in any spelling,
    // must still come out as a browser shows them (U+FDD0 as U+FFFD).
    const std::vector<std::pair<std::string, std::string>> references = {
        {"&#xFDD0;", "\xEF\xBF\xBD"},      {"&#64976;", "\xEF\xBF\xBD"},
        {"&#x000fdd0;", "\xEF\xBF\xBD"},   {"x&#XfDd0 y", "x\xEF\xBF\xBD y"},
        {"&#0064976", "\xEF\xBF\xBD"},     {"&#x41;&#66", "AB"},
        {"&#x1F40E;", "\xF0\x9F\x90\x8E"}, {"&#xFDD01;", "\xF3\xBD\xB4\x81"},
        {"&amp;#xFDD0;", "&#xFDD0;"}};
    std::string page = "<table>";
    Rows expected;
    for (int r = 0; r < 40; ++r) {
        page += "<tr>\n";
        Row row;
        for (int c = 0; c < 30; ++c) {
            switch ((r + c) % 7) {
                case 6: {
                    const auto& [markup, text] = references[(r * 30 + c) % references.size()];
                    page += "<td>" + markup + "</td>";
                    row.push_back(text);
                    break;
                }
                case 0:
                    page += "<td>" + std::to_string(c) + "</td>\n";
                    row.push_back(std::to_string(c));
                    break;
                case 1:
                    page += "<td class=\"v\" align=right>&lt;&amp;&gt; x</td>";
                    row.push_back("<&> x");
                    break;
                case 2:
                    page += "<th>  \xEF\xB7\x90 </th>  ";
                    row.push_back("\xEF\xBF\xBD");
                    break;
                case 3:
                    page += "<td></td>";
                    row.push_back("");
                    break;
                case 4:
                    page += "<td>\xE2\x97\x8E</td>\r\n";
                    row.push_back("\xE2\x97\x8E");
                    break;
                default:
                    page += "<TD>a&nbsp;b</TD>";
                    row.push_back(
                        "a\xC2\xA0"
                        "b");
                    break;
            }
        }
        page += "</tr>";
        expected.push_back(std::move(row));
    }
    page += "</table>";
    EXPECT_THAT(tablesIn(page, "text/html; charset=utf-8"), ElementsAre(expected));
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> size(1, 64);
    EXPECT_EQ(eventsFedInPieces(page, "text/html; charset=utf-8", [&] { return size(random); }),
              eventsFedWhole(page, "text/html; charset=utf-8"));
}

TEST(HtmlTables, MalformedRowsReadAsTheParserReadsThem) {
    // Broken rows come apart as the parser takes them apart, with the row filter or without.
    EXPECT_THAT(tablesIn("<table<td></td><td>", "text/html; charset=UTF-8"),
                ElementsAre(Rows{{""}}));
    EXPECT_THAT(tablesIn("<table><td></td></tr>d", "text/html; charset=UTF-8"),
                ElementsAre(Rows{{""}}));
    EXPECT_THAT(tablesIn("<table><th>n</td> i", "text/html; charset=UTF-8"),
                ElementsAre(Rows{{"n i"}}));
    EXPECT_THAT(tablesIn("<table><tr><th>a</th><td>b</td>&nbsp;<td>c</td></tr></table>",
                         "text/html; charset=UTF-8"),
                ElementsAre(Rows{{"a", "b", "c"}}));
    // A ">" in a quoted value, a comment and "<td/>" are not where cells start or end.
    EXPECT_THAT(tablesIn("<table><tr><td title=\"x><td>\">a</td><td>b<!-- </td><td> --></td>"
                         "<td/>c<td>d</td></tr></table>",
                         "text/html; charset=UTF-8"),
                ElementsAre(Rows{{"a", "b", "", "d"}}));
    EXPECT_THAT(tablesIn("<table><th></th><th/>x", "text/html; charset=UTF-8"),
                ElementsAre(Rows{{"", ""}}));
}

TEST(HtmlTables, LoneAmpersandAtThePageEndReadsAsTheParserReadsIt) {
    // The parser drops a last "&" right after a tag and keeps it after text, so the row
    // filter must not change what stands before it.
    constexpr std::string_view kUtf8 = "text/html; charset=UTF-8";
    EXPECT_THAT(tablesIn("<table><tr><td>x</td><td>&", kUtf8), ElementsAre(Rows{{"x", ""}}));
    EXPECT_THAT(tablesIn("<table><tr><td>x</td><td> &", kUtf8), ElementsAre(Rows{{"x", "&"}}));
    EXPECT_THAT(tablesIn("<table><tr><td>x</td>\r\n<td>\r\n&", kUtf8),
                ElementsAre(Rows{{"x", "&"}}));
    EXPECT_THAT(tablesIn("<table><tr><td> &", kUtf8), ElementsAre(Rows{{"&"}}));
    EXPECT_THAT(tablesIn("<table><tr><td>x&", kUtf8), ElementsAre(Rows{{"x&"}}));
    // The same when the white space and the "&" arrive in different pieces.
    const std::string_view page = "<table><tr><td>x</td><td> &";
    for (std::size_t cut = page.size() - 3; cut < page.size(); ++cut) {
        EXPECT_THAT(eventsFedInPieces(page, kUtf8,
                                      [&, first = true]() mutable {
                                          const std::size_t size = first ? cut : page.size();
                                          first = false;
                                          return size;
                                      }),
                    ElementsAre("table 0", "row 0/0:x|&|"))
            << "cut at " << cut;
    }
}

TEST(HtmlTables, TagSoupNeverBreaksTheReader) {
    // Random fragments of table markup: whatever the parser makes of them, it must not crash
    // and must give the same rows however the bytes arrive.
    constexpr std::string_view kFragments =
        "<table><tr><td>|<table>|</table>|<tr>|</tr>|<td>|</td>|<th>|<tbody>|</tbody>|<tfoot>|"
        "</tfoot>|<thead>|<b>|</b>|<div>|</div>|<br>|<p>|text| |\t|&amp;|&nbsp;|&#|<|>|</|"
        "<script>|</script>|<!--|-->|\"|<td colspan=\"|\x82\xA0|\xE3\x81\x82|\xFF|"
        "<meta charset=|<style>|</style>|<caption>|<template>|</template>|<noscript>|"
        "</td> \r\n|</TD>|<TR>|</th>|<td\t|</tr >";
    std::vector<std::string_view> fragments;
    for (const auto fragment : std::views::split(kFragments, '|')) {
        fragments.emplace_back(fragment.begin(), fragment.end());
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, fragments.size() - 1);
    std::uniform_int_distribution<std::size_t> size(1, 40);
    int roundsWithRows = 0;
    for (int round = 0; round < 300; ++round) {
        std::string page;
        for (int i = 0; i < 60; ++i) {
            page += fragments[pick(random)];
        }
        const auto whole = eventsFedWhole(page);
        EXPECT_EQ(eventsFedInPieces(page, {}, [&] { return size(random); }), whole) << page;
        roundsWithRows += std::any_of(whole.begin(), whole.end(), [](const std::string& event) {
            return event.starts_with("row");
        });
    }
    EXPECT_GT(roundsWithRows, 40);
}

TEST(HtmlTables, SinkExceptionLeavesOnBodyAndStopsTheReader) {
    Recorder recorder;
    recorder.onEvent = [](std::size_t, std::size_t row) {
        if (row == 1) {
            throw std::runtime_error("sink full");
        }
    };
    HtmlTableReader reader(recorder);
    reader.onResponseStart(200, "text/html; charset=utf-8");
    EXPECT_THROW(
        {
            try {
                reader.onBody("<table><tr><td>0</td></tr><tr><td>1</td></tr><tr><td>2</td></tr>");
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "sink full");
                throw;
            }
        },
        std::runtime_error);
    reader.onBody("<tr><td>3</td></tr></table>");
    reader.finish();
    EXPECT_THAT(recorder.events, ElementsAre("table 0", "row 0/0:0|", "row 0/1:1|"));
}

TEST(HtmlTables, SinkExceptionAtTheImpliedEndLeavesFinish) {
    Recorder recorder;
    recorder.onEvent = [](std::size_t, std::size_t) { throw std::logic_error("no rows wanted"); };
    HtmlTableReader reader(recorder);
    reader.onBody("<table><tr><td>unclosed");
    EXPECT_THROW(reader.finish(), std::logic_error);
}

TEST(HtmlTables, CellOfSeveralMegabytesIsReadWhole) {
    const std::string big(6u << 20, 'x');
    const std::string page = "<table><tr><td>" + big + "</td><td>next</td></tr></table>";
    std::size_t rows = 0;
    struct Sink : TableRowSink {
        void onRow(std::size_t, std::size_t, std::span<const std::string_view> cells) override {
            sizes.clear();
            for (const std::string_view cell : cells) {
                sizes.push_back(cell.size());
            }
            ++*rows;
        }
        std::vector<std::size_t> sizes;
        std::size_t* rows = nullptr;
    } sink;
    sink.rows = &rows;
    HtmlTableReader reader(sink);
    for (std::size_t pos = 0; pos < page.size(); pos += 64 * 1024) {
        reader.onBody(std::string_view(page).substr(pos, 64 * 1024));
    }
    reader.finish();
    EXPECT_EQ(rows, 1u);
    EXPECT_THAT(sink.sizes, ElementsAre(big.size(), 4u));
}

TEST(HtmlTables, HostilePagesEndInAnErrorNotACrash) {
    const std::string huge(33u << 20, 'y');
    EXPECT_THROW(readTables("<table><tr><td>" + huge + "<td>"), HtmlError);
    EXPECT_THROW(readTables("<table><tr><td title=\"" + huge), HtmlError);
    std::string manyCells = "<table><tr>";
    for (int i = 0; i < 20000; ++i) {
        manyCells += "<td>";
    }
    EXPECT_THROW(readTables(manyCells), HtmlError);
    // Footer rows wait for the table's end, so their number is limited as well.
    std::string longFooter = "<table><tfoot>";
    for (int i = 0; i < 1100000; ++i) {
        longFooter += "<tr>";
    }
    EXPECT_THROW(readTables(longFooter), HtmlError);
}

TEST(HtmlTables, DeepNestingIsReadWithoutCrashingOrStalling) {
    std::string tables;
    for (int i = 0; i < 40; ++i) {
        tables += "<table><tr><td>";
    }
    const auto read = readTables(tables + "core<div><span>end");
    // Nesting is followed to a fixed depth; below it the text still reaches the deepest
    // table that is followed.
    ASSERT_GT(read.size(), 20u);
    EXPECT_LT(read.size(), 40u);
    ASSERT_EQ(read.back().rows.size(), 1u);
    EXPECT_EQ(read.back().rows[0][0], "core\r\nend");

    // Each end tag costs the parser a walk over the open elements: a page of deep nesting and
    // stray end tags must stop early instead of running for hours.
    std::string deep = "<table><tr><td>";
    for (int i = 0; i < 200000; ++i) {
        deep += "<div>";
    }
    for (int i = 0; i < 200000; ++i) {
        deep += "</span>";
    }
    EXPECT_THROW(readTables(deep), HtmlError);
}

}  // namespace
}  // namespace kestrova
