#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "web/html_tables.h"

namespace kestrova {

/// Builds tables, rows and cell texts from a stream of element events, as a browser's DOM
/// and innerText would give them, and hands every finished row to the sink. Element names
/// are lower-case. The element stream may be one that an HTML4 parser repaired: end events
/// are matched by depth, so an end that belongs to something already closed is ignored.
///
/// Cell text: runs of HTML white space become one space and vanish at the cell's edges and
/// next to line breaks; <br> is CR LF; block elements (div, p, li, ...) start a new line;
/// title, script, style, noscript and template add nothing. A nested table's text joins the
/// enclosing cell: cells separated by a tab, rows by CR LF, empty cells adding nothing.
///
/// Row order is that of table.rows for rows in source order, except that rows of a <thead>
/// written after body rows keep their place (rows are handed on while the page arrives);
/// <tfoot> rows come after all other rows of their table, as browsers list them.
class TableBuilder {
  public:
    /// Limits against hostile pages; exceeding one throws HtmlError.
    static constexpr std::size_t kMaxRowText = 32u << 20;  ///< default of maxRowText
    static constexpr std::size_t kMaxCellsPerRow = 16384;
    static constexpr std::size_t kMaxFooterEntries = 1u << 20;  ///< footer cells and rows
    /// Elements nested deeper than this end the reading with HtmlError: the parser's cost per
    /// end tag grows with the depth, so a hostile page could otherwise keep it busy for hours.
    static constexpr int kMaxDepth = 512;
    /// Tables nested deeper than this are read as plain text of the enclosing cell.
    static constexpr std::size_t kMaxNesting = 32;

    explicit TableBuilder(TableRowSink& sink, std::size_t maxRowText = kMaxRowText);

    /// `name`: the element's lower-case name, NUL-terminated.
    void startElement(const char* name);
    void endElement(const char* name);
    void text(std::string_view utf8);
    /// From now on the document is ending: tables closed from here on lacked their end tag.
    void documentEnding() { ending_ = true; }
    /// The document ended: closes every open row and table.
    void finish();

  private:
    enum class Separator { None, Space, Tab, LineBreak };

    struct CellSpan {
        std::size_t begin;
        std::size_t end;
    };

    struct OpenTable {
        std::size_t number = 0;
        int depth = 0;
        std::size_t rowsDone = 0;
        bool rowOpen = false;
        int rowDepth = 0;  ///< 0 for a row implied by a cell outside any <tr>
        bool cellOpen = false;
        int cellDepth = 0;
        std::size_t cellBegin = 0;
        std::vector<CellSpan> cells;  ///< finished cells of the open row
        int footDepth = 0;            ///< depth of an open <tfoot>, or 0
        bool rowInFoot = false;
        // Footer rows come last in table.rows: they wait here until the table ends.
        std::string footText;
        std::vector<CellSpan> footCells;
        std::vector<std::size_t> footRowEnds;  ///< end of each waiting row in footCells
    };

    void openTable(int depth);
    void closeInnermostTable(bool byEndTag);
    void startSection(std::string_view name, int depth);
    void endSection(int depth);
    void openRow(int depth);
    void closeRow();
    void keepFooterRow(OpenTable& table);
    void deliverFooterRows(OpenTable& table);
    void openCell(int depth);
    void closeCell();
    bool inCell() const { return !tables_.empty() && tables_.back().cellOpen; }
    /// Asks for a separator before the next text of the cell of tables_[level].
    void requestSeparator(Separator separator, std::size_t level);
    void requestInnermost(Separator separator);
    void lineBreak();
    void cellText(std::string_view utf8);
    void appendContent(std::string_view content);
    void emitSeparator();

    TableRowSink& sink_;
    std::size_t maxRowText_;
    bool ending_ = false;
    std::vector<OpenTable> tables_;  ///< innermost last, each inside an open cell of the last
    std::string text_;               ///< text of the outermost open row's cells
    std::vector<std::string_view> views_;
    Separator pending_ = Separator::None;
    std::size_t pendingLevel_ = 0;
    int depth_ = 0;           ///< depth of the element being started or ended
    int hiddenDepth_ = 0;     ///< depth of the element whose content is not shown, or 0
    int untrackedDepth_ = 0;  ///< depth of a table nested too deep, or 0
    std::size_t tableCount_ = 0;
};

}  // namespace kestrova
