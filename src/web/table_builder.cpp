#include "web/table_builder.h"

#include <algorithm>

#include "web/html_text.h"
#include "web/row_space_filter.h"

namespace kestrova {
namespace {

enum class Tag { Other, Table, Row, Cell, Section, LineBreak, Block, Hidden };

Tag classifyByLength(std::string_view name) {
    switch (name.size()) {
        case 1:
            return name == "p" ? Tag::Block : Tag::Other;
        case 2:
            if (name == "td" || name == "th") {
                return Tag::Cell;
            }
            if (name == "tr") {
                return Tag::Row;
            }
            if (name == "br") {
                return Tag::LineBreak;
            }
            if (name == "li" || name == "dd" || name == "dt" || name == "dl" || name == "ul" ||
                name == "ol" || name == "hr" ||
                (name[0] == 'h' && name[1] >= '1' && name[1] <= '6')) {
                return Tag::Block;
            }
            return Tag::Other;
        case 3:
            return (name == "div" || name == "pre" || name == "nav") ? Tag::Block : Tag::Other;
        case 4:
            return (name == "form" || name == "main" || name == "menu") ? Tag::Block : Tag::Other;
        case 5:
            if (name == "table") {
                return Tag::Table;
            }
            if (name == "thead" || name == "tbody" || name == "tfoot") {
                return Tag::Section;
            }
            if (name == "title" || name == "style") {
                return Tag::Hidden;
            }
            return name == "aside" ? Tag::Block : Tag::Other;
        case 6:
            if (name == "script") {
                return Tag::Hidden;
            }
            return (name == "center" || name == "header" || name == "footer" || name == "figure")
                       ? Tag::Block
                       : Tag::Other;
        case 7:
            return (name == "address" || name == "article" || name == "section" ||
                    name == "details")
                       ? Tag::Block
                       : Tag::Other;
        case 8:
            if (name == "noscript" || name == "template") {
                return Tag::Hidden;
            }
            return name == "fieldset" ? Tag::Block : Tag::Other;
        case 10:
            return (name == "blockquote" || name == "figcaption") ? Tag::Block : Tag::Other;
        default:
            return Tag::Other;
    }
}

/// Called for every element of the page: the cells and rows that make up nearly all of a
/// data page are told apart without measuring the name.
Tag classify(const char* name) {
    if (name[0] == 't' && name[1] != '\0' && name[2] == '\0') {
        if (name[1] == 'd' || name[1] == 'h') {
            return Tag::Cell;
        }
        if (name[1] == 'r') {
            return Tag::Row;
        }
    }
    return classifyByLength(name);
}

}  // namespace

TableBuilder::TableBuilder(TableRowSink& sink, std::size_t maxRowText)
    : sink_(sink), maxRowText_(maxRowText) {}

void TableBuilder::startElement(const char* name) {
    const int depth = ++depth_;
    if (depth > kMaxDepth) {
        throw HtmlError("ページの要素の入れ子が深すぎます。");
    }
    if (hiddenDepth_ != 0) {
        return;
    }
    const Tag tag = classify(name);
    if (untrackedDepth_ != 0 && tag != Tag::Hidden && tag != Tag::LineBreak && tag != Tag::Block) {
        return;
    }
    switch (tag) {
        case Tag::Table:
            openTable(depth);
            break;
        case Tag::Row:
            if (!tables_.empty()) {
                openRow(depth);
            }
            break;
        case Tag::Cell:
            if (!tables_.empty()) {
                openCell(depth);
            }
            break;
        case Tag::Section:
            if (!tables_.empty()) {
                startSection(name, depth);
            }
            break;
        case Tag::LineBreak:
            lineBreak();
            break;
        case Tag::Block:
            requestInnermost(Separator::LineBreak);
            break;
        case Tag::Hidden:
            hiddenDepth_ = depth;
            break;
        case Tag::Other:
            break;
    }
}

void TableBuilder::endElement(const char* name) {
    const int depth = depth_;
    depth_ = std::max(0, depth_ - 1);
    if (hiddenDepth_ != 0) {
        if (depth == hiddenDepth_) {
            hiddenDepth_ = 0;
        }
        return;
    }
    if (untrackedDepth_ != 0) {
        if (depth == untrackedDepth_) {
            untrackedDepth_ = 0;
        } else if (classify(name) == Tag::Block) {
            requestInnermost(Separator::LineBreak);
        }
        return;
    }
    if (tables_.empty()) {
        return;
    }
    OpenTable& table = tables_.back();
    switch (classify(name)) {
        case Tag::Table:
            while (!tables_.empty() && tables_.back().depth >= depth) {
                // Tables inside this one that are still open lacked their own end tag.
                closeInnermostTable(tables_.back().depth == depth);
            }
            break;
        case Tag::Row:
            if (table.rowOpen && table.rowDepth == depth) {
                closeRow();
            }
            break;
        case Tag::Cell:
            if (table.cellOpen && table.cellDepth == depth) {
                closeCell();
            }
            break;
        case Tag::Section:
            endSection(depth);
            break;
        case Tag::Block:
            requestInnermost(Separator::LineBreak);
            break;
        default:
            break;
    }
}

void TableBuilder::text(std::string_view utf8) {
    if (hiddenDepth_ != 0 || !inCell()) {
        return;
    }
    // Cells the markup filter joined into one text come apart here.
    for (std::size_t cellBreak = utf8.find(kCellBreak); cellBreak != std::string_view::npos;
         cellBreak = utf8.find(kCellBreak)) {
        cellText(utf8.substr(0, cellBreak));
        const int depth = tables_.back().cellDepth;
        closeCell();
        openCell(depth);
        utf8.remove_prefix(cellBreak + kCellBreak.size());
    }
    cellText(utf8);
}

void TableBuilder::cellText(std::string_view utf8) {
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        if (isHtmlSpace(utf8[pos])) {
            while (pos < utf8.size() && isHtmlSpace(utf8[pos])) {
                ++pos;
            }
            requestInnermost(Separator::Space);
            continue;
        }
        const std::size_t start = pos;
        while (pos < utf8.size() && !isHtmlSpace(utf8[pos])) {
            ++pos;
        }
        appendContent(utf8.substr(start, pos - start));
    }
}

void TableBuilder::finish() {
    while (!tables_.empty()) {
        closeInnermostTable(false);
    }
}

void TableBuilder::openTable(int depth) {
    // A table cannot sit directly in a table or row: the open one ends and this one follows it.
    if (!tables_.empty() && !tables_.back().cellOpen) {
        closeInnermostTable(false);
    }
    if (tables_.size() >= kMaxNesting) {
        untrackedDepth_ = depth;
        return;
    }
    requestInnermost(Separator::LineBreak);
    OpenTable& table = tables_.emplace_back();
    table.number = tableCount_++;
    table.depth = depth;
    sink_.onTableStart(table.number);
}

void TableBuilder::closeInnermostTable(bool byEndTag) {
    if (tables_.back().rowOpen) {
        closeRow();
    }
    deliverFooterRows(tables_.back());
    const std::size_t number = tables_.back().number;
    tables_.pop_back();
    sink_.onTableEnd(number, byEndTag && !ending_);
    requestInnermost(Separator::LineBreak);
}

void TableBuilder::startSection(std::string_view name, int depth) {
    // A new row group ends the open row, wherever the parser put the tag.
    OpenTable& table = tables_.back();
    if (table.rowOpen) {
        closeRow();
    }
    table.footDepth = name == "tfoot" ? depth : 0;
}

void TableBuilder::endSection(int depth) {
    OpenTable& table = tables_.back();
    // Only a row group of the innermost table ends its row, not one left over from a table
    // already closed inside the open cell or row.
    const bool insideCell = table.cellOpen && depth > table.cellDepth;
    const bool insideRow = table.rowOpen && table.rowDepth != 0 && depth > table.rowDepth;
    if (depth <= table.depth || insideCell || insideRow) {
        return;
    }
    if (table.rowOpen) {
        closeRow();
    }
    if (depth == table.footDepth) {
        table.footDepth = 0;
    }
}

void TableBuilder::openRow(int depth) {
    OpenTable& table = tables_.back();
    if (table.rowOpen) {
        closeRow();
    }
    table.rowOpen = true;
    table.rowDepth = depth;
    table.rowInFoot = table.footDepth != 0;
}

void TableBuilder::closeRow() {
    OpenTable& table = tables_.back();
    if (table.cellOpen) {
        closeCell();
    }
    table.rowOpen = false;
    if (table.rowInFoot) {
        keepFooterRow(table);
    } else {
        views_.clear();
        for (const CellSpan& cell : table.cells) {
            views_.emplace_back(text_.data() + cell.begin, cell.end - cell.begin);
        }
        table.cells.clear();
        sink_.onRow(table.number, table.rowsDone++, views_);
    }
    if (tables_.size() == 1) {
        // Nothing outside this row refers to its text any more.
        text_.clear();
        pending_ = Separator::None;
    }
}

void TableBuilder::keepFooterRow(OpenTable& table) {
    for (const CellSpan& cell : table.cells) {
        if (table.footText.size() + (cell.end - cell.begin) > maxRowText_) {
            throw HtmlError("ページの表のフッター行の文字が多すぎます。");
        }
        const std::size_t begin = table.footText.size();
        table.footText.append(text_, cell.begin, cell.end - cell.begin);
        table.footCells.push_back({begin, table.footText.size()});
    }
    // Empty cells and rows cost no text, so they are counted too.
    if (table.footCells.size() + table.footRowEnds.size() >= kMaxFooterEntries) {
        throw HtmlError("ページの表のフッター行が多すぎます。");
    }
    table.footRowEnds.push_back(table.footCells.size());
    table.cells.clear();
}

void TableBuilder::deliverFooterRows(OpenTable& table) {
    std::size_t first = 0;
    for (const std::size_t end : table.footRowEnds) {
        views_.clear();
        for (std::size_t i = first; i < end; ++i) {
            const CellSpan& cell = table.footCells[i];
            views_.emplace_back(table.footText.data() + cell.begin, cell.end - cell.begin);
        }
        first = end;
        sink_.onRow(table.number, table.rowsDone++, views_);
    }
}

void TableBuilder::openCell(int depth) {
    OpenTable& table = tables_.back();
    if (table.cellOpen) {
        closeCell();
    }
    if (!table.rowOpen) {
        openRow(0);
    }
    if (table.cells.size() >= kMaxCellsPerRow) {
        throw HtmlError("ページの表の 1 行にセルが多すぎます。");
    }
    if (tables_.size() > 1) {
        requestSeparator(table.cells.empty() ? Separator::LineBreak : Separator::Tab,
                         tables_.size() - 2);
    }
    table.cellOpen = true;
    table.cellDepth = depth;
    table.cellBegin = text_.size();
}

void TableBuilder::closeCell() {
    OpenTable& table = tables_.back();
    if (pending_ != Separator::None && pendingLevel_ == tables_.size() - 1) {
        pending_ = Separator::None;  // white space or a line at the end of the cell
    }
    table.cells.push_back({table.cellBegin, text_.size()});
    table.cellOpen = false;
}

void TableBuilder::requestSeparator(Separator separator, std::size_t level) {
    const OpenTable& table = tables_[level];
    // Nothing separates from an empty cell; a space never follows a line break or tab.
    if (!table.cellOpen || text_.size() == table.cellBegin) {
        return;
    }
    if (separator == Separator::Space && (text_.back() == '\n' || text_.back() == '\t')) {
        return;
    }
    pending_ = std::max(pending_, separator);
    pendingLevel_ = level;
}

void TableBuilder::requestInnermost(Separator separator) {
    if (inCell()) {
        requestSeparator(separator, tables_.size() - 1);
    }
}

void TableBuilder::lineBreak() {
    if (!inCell()) {
        return;
    }
    if (pending_ == Separator::Space) {
        pending_ = Separator::None;
    }
    appendContent("\r\n");
}

void TableBuilder::appendContent(std::string_view content) {
    if (pending_ != Separator::None) {
        emitSeparator();
    }
    if (text_.size() + content.size() > maxRowText_) {
        throw HtmlError("ページの表の 1 行の文字が多すぎます。");
    }
    text_.append(content);
}

void TableBuilder::emitSeparator() {
    switch (pending_) {
        case Separator::None:
            return;
        case Separator::Space:
            text_.push_back(' ');
            break;
        case Separator::Tab:
            text_.push_back('\t');
            break;
        case Separator::LineBreak:
            text_.append("\r\n");
            break;
    }
    pending_ = Separator::None;
    // Cells opened since the separator was asked for are still empty: they begin after it.
    for (std::size_t level = pendingLevel_ + 1; level < tables_.size(); ++level) {
        if (tables_[level].cellOpen) {
            tables_[level].cellBegin = text_.size();
        }
    }
}

}  // namespace kestrova
