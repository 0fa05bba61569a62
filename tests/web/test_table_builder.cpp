#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "web/html_tables.h"
#include "web/row_space_filter.h"
#include "web/table_builder.h"

namespace kestrova {
namespace {

/// Rows as "table/row:cell|cell|", tables as "table n".
struct Events : TableRowSink {
    void onTableStart(std::size_t table) override {
        list.push_back("table " + std::to_string(table));
    }
    void onRow(std::size_t table, std::size_t row,
               std::span<const std::string_view> cells) override {
        std::string event = std::to_string(table) + "/" + std::to_string(row) + ":";
        for (const std::string_view cell : cells) {
            event.append(cell).push_back('|');
        }
        list.push_back(event);
    }
    std::vector<std::string> list;
};

void openCell(TableBuilder& builder) {
    builder.startElement("table");
    builder.startElement("tr");
    builder.startElement("td");
}

TEST(TableBuilder, ElementsNestAsDeepAsTheLimitAndNoDeeper) {
    Events events;
    TableBuilder builder(events);
    openCell(builder);  // three levels
    for (int depth = 4; depth <= TableBuilder::kMaxDepth; ++depth) {
        builder.startElement("span");
    }
    builder.text("deep");
    EXPECT_THROW(builder.startElement("span"), HtmlError);

    Events fine;
    TableBuilder shallow(fine);
    openCell(shallow);
    for (int depth = 4; depth <= TableBuilder::kMaxDepth; ++depth) {
        shallow.startElement("span");
    }
    shallow.text("deep");
    shallow.finish();
    EXPECT_EQ(fine.list, (std::vector<std::string>{"table 0", "0/0:deep|"}));
}

TEST(TableBuilder, RowTakesTheLimitOfCellsAndNotOneMore) {
    Events events;
    TableBuilder builder(events);
    builder.startElement("table");
    builder.startElement("tr");
    for (std::size_t i = 0; i < TableBuilder::kMaxCellsPerRow; ++i) {
        builder.startElement("td");
        builder.endElement("td");
    }
    EXPECT_THROW(builder.startElement("td"), HtmlError);
}

TEST(TableBuilder, TablesNestedTooDeepBecomeTextOfTheEnclosingCell) {
    Events events;
    TableBuilder builder(events);
    for (std::size_t level = 0; level < TableBuilder::kMaxNesting; ++level) {
        openCell(builder);
    }
    builder.text("inner");
    openCell(builder);  // one too many: not a table of its own
    builder.text("x");
    builder.startElement("td");
    builder.text("y");
    builder.finish();

    std::size_t tables = 0;
    for (const auto& event : events.list) {
        tables += event.starts_with("table ");
    }
    EXPECT_EQ(tables, TableBuilder::kMaxNesting);
    // Its text is kept, without the separators of a table.
    const std::string innermost = std::to_string(TableBuilder::kMaxNesting - 1) + "/0:";
    EXPECT_EQ(events.list[TableBuilder::kMaxNesting], innermost + "innerxy|");
}

TEST(TableBuilder, CellBreaksInTextSplitCellsAndTrimTheirEdges) {
    const std::string br(kCellBreak);
    Events events;
    TableBuilder builder(events);
    openCell(builder);
    builder.text(" a " + br + "  b  c" + br);
    builder.text(br + "d");
    builder.finish();
    EXPECT_EQ(events.list, (std::vector<std::string>{"table 0", "0/0:a|b c||d|"}));
}

TEST(TableBuilder, RowTextBeyondItsLimitIsRefused) {
    Events events;
    TableBuilder builder(events);
    openCell(builder);
    builder.text(std::string(TableBuilder::kMaxRowText - 1, 'x'));
    builder.text("y");
    EXPECT_THROW(builder.text("z"), HtmlError);
}

}  // namespace
}  // namespace kestrova
