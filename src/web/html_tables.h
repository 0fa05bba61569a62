#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "web/http_request.h"

namespace kestrova {

/// A page that cannot be read as tables: an encoding the system cannot convert, or a page
/// beyond the reader's limits (a row of more than 32 MB of text, more than 16384 cells in a
/// row, footer rows held for the table's end beyond 32 MB or a million cells and rows,
/// elements nested more than 512 deep, markup that never closes for 32 MB).
class HtmlError : public Error {
  public:
    using Error::Error;
};

/// Receives the tables of a page row by row while the page is parsed.
///
/// Tables are numbered in document (preorder) order, nested ones included. Rows are those a
/// browser's table.rows gives (rows of thead, tbody, tfoot and direct rows, not rows of
/// nested tables), numbered from 0 per table; a row ends at its end tag or where a browser
/// implies one. td and th are both cells. Each cell is its visible text (innerText):
/// white-space runs collapsed to one space and dropped at the cell's edges, "<br>" CR LF,
/// block elements on their own lines, title/script/style/noscript/template ignored,
/// entities decoded, "&nbsp;" kept as U+00A0. A nested table's text also counts toward the
/// enclosing cell: its cells joined by a tab, its rows by CR LF. Texts are UTF-8 and
/// untrimmed; an empty cell is "".
class TableRowSink {
  public:
    virtual ~TableRowSink() = default;
    /// A "table" start tag was read; `table` is its document-order number.
    virtual void onTableStart(std::size_t table) { (void)table; }
    /// Table `table` ended, after all its rows: `closed` when by its own end tag, false
    /// when something else ended it, such as the end of a page that was cut short.
    virtual void onTableEnd(std::size_t table, bool closed) {
        (void)table;
        (void)closed;
    }
    /// A row of `table` is complete. The views are valid only during the call.
    virtual void onRow(std::size_t table, std::size_t row,
                       std::span<const std::string_view> cells) = 0;
};

/// How much of a page the reader holds at most; beyond either it ends with HtmlError.
struct HtmlLimits {
    /// Text of the cells of one row (nested tables' text included).
    std::size_t maxRowText = 32u << 20;
    /// Markup the parser holds back unparsed: a tag or text run that does not end.
    std::size_t maxUnparsed = 32u << 20;
};

/// Streaming HTML table reader on libxml2's push parser. Usable as the BodySink of a
/// request, so the page is parsed while it arrives and never held whole in memory.
///
/// Character set: BOM, then the HTTP Content-Type charset, then a meta charset or
/// http-equiv in the page, else UTF-8 when the first bytes are valid UTF-8, else CP932.
class HtmlTableReader final : public BodySink {
  public:
    explicit HtmlTableReader(TableRowSink& sink, HtmlLimits limits = {});
    ~HtmlTableReader() override;
    HtmlTableReader(const HtmlTableReader&) = delete;
    HtmlTableReader& operator=(const HtmlTableReader&) = delete;

    /// Takes the Content-Type for the encoding decision; call before the first onBody.
    void onResponseStart(int status, std::string_view contentType) override;
    /// Parses the next piece of the body; rows that it completes reach the sink now.
    void onBody(std::string_view chunk) override;
    /// Ends the document: flushes the parser and closes open rows and tables.
    void finish();

    /// Exceptions thrown by the sink propagate out of onBody/finish unchanged, as do
    /// HtmlError and Error (encoding). After one, the reader ignores further calls.

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// A whole table, for callers that read small pages (version page, server master).
struct HtmlTable {
    std::vector<std::vector<std::string>> rows;
};

/// Parses a complete page; `contentType` is the HTTP header value, if any.
std::vector<HtmlTable> readTables(std::string_view html, std::string_view contentType = {});

/// A table laid out as it shows on screen, for printing it.
struct TableGrid {
    /// The text that stands just before the table, outside it (a block of its own, or the
    /// text before the wrappers the table opens); "" when there is none or another table
    /// stands there.
    std::string heading;
    /// Rows of one width: a cell that spans rows or columns stands in every place it covers
    /// (spans end with their row group, as a browser lays them out); a place no cell covers
    /// is "".
    std::vector<std::vector<std::string>> rows;
};

/// The tables of a complete page as grids, in the order readTables gives them (nested ones
/// included). A cell's text is on one line: its words joined by single spaces, line breaks
/// and blocks included, an image standing for its alt text. The encoding is decided as for
/// readTables. A page whose grids would hold more than a million places or 64 MB of text
/// ends with HtmlError. The data-file reader stays readTables: this reading is for showing.
std::vector<TableGrid> readTableGrids(std::string_view html, std::string_view contentType = {});

}  // namespace kestrova
