// The streaming HTML table reader on hostile pages, fed in pieces as from the network.
//
// Input: byte 0 picks the Content-Type (low three bits), byte 1 the piece sizes (see
// PieceSizes), byte 2 below 0x20 makes the sink throw at that row; the rest is the page.
//
// Besides the sanitizers and what every cell must be, the row filter is held to its promise
// that it changes nothing the parser yields, however the page is cut: libxml2 and the table
// builder are run here on the page with and without the filter, always in one piece. (The
// reader as a whole is not compared across cuts: libxml2's push parser itself reads some
// broken markup differently at different chunk boundaries.)

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include "base/errors.h"
#include "fuzz_checks.h"
#include "web/html_tables.h"
#include "web/page_decoder.h"
#include "web/row_space_filter.h"
#include "web/table_builder.h"

namespace kestrova {
namespace {

using fuzz::check;

/// Thrown by the sink on request: must come out of onBody/finish as it is.
struct SinkStop {
    std::size_t row;
};

/// What the reader promises of every cell; aborts on a cell that breaks it.
void checkCell(std::string_view cell) {
    check(fuzz::isUtf8(cell), "a cell is not valid UTF-8", cell);
    // The reader's own cell separator (U+FDD0) must never leak into the text.
    check(cell.find("\xEF\xB7\x90") == std::string_view::npos, "a cell holds U+FDD0", cell);
    check(!cell.starts_with(' ') && !cell.ends_with(' '), "a cell keeps white space at an edge",
          cell);
    check(cell.find("  ") == std::string_view::npos, "a cell keeps a white-space run", cell);
    // Line breaks come only from <br>, blocks and nested rows, always as CR LF.
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '\r') {
            check(i + 1 < cell.size() && cell[i + 1] == '\n', "a cell has CR without LF", cell);
        } else if (cell[i] == '\n') {
            check(i > 0 && cell[i - 1] == '\r', "a cell has LF without CR", cell);
        }
    }
}

class CheckingSink : public TableRowSink {
  public:
    explicit CheckingSink(std::size_t throwAtRow) : throwAtRow_(throwAtRow) {}

    void onTableStart(std::size_t table) override {
        check(table == tables.size(), "tables are not numbered 0, 1, 2, ... in order");
        tables.emplace_back();
    }

    void onRow(std::size_t table, std::size_t row,
               std::span<const std::string_view> cells) override {
        check(table < tables.size(), "a row of a table that never started");
        check(row == tables[table].rows.size(), "rows of a table are not numbered 0, 1, 2, ...");
        auto& kept = tables[table].rows.emplace_back();
        for (const std::string_view cell : cells) {
            checkCell(cell);
            bytes += cell.size();
            kept.emplace_back(cell);
        }
        if (++rows == throwAtRow_) {
            throw SinkStop{rows};
        }
    }

    std::vector<HtmlTable> tables;
    std::size_t rows = 0;
    std::size_t bytes = 0;

  private:
    std::size_t throwAtRow_;
};

/// Tables as text, for failure messages.
std::string describe(const std::vector<HtmlTable>& tables) {
    std::string text;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        text += "table " + std::to_string(t) + "\n";
        for (const auto& row : tables[t].rows) {
            for (const auto& cell : row) {
                text += "[" + cell + "]";
            }
            text += "\n";
        }
    }
    return text;
}

void readInPieces(std::string_view page, std::string_view contentType, fuzz::PieceSizes sizes,
                  CheckingSink& sink) {
    HtmlTableReader reader(sink);
    reader.onResponseStart(200, contentType);
    try {
        while (!page.empty()) {
            const std::string_view piece = page.substr(0, sizes.next());
            page.remove_prefix(piece.size());
            reader.onBody(piece);
        }
        reader.finish();
        return;
    } catch (const Error&) {
        // HtmlError or an encoding the system cannot convert: both may happen.
    } catch (const SinkStop& stop) {
        check(stop.row == sink.rows, "the sink's exception changed on its way out");
    }
    // After a failure the reader must ignore whatever still comes.
    const std::size_t rowsBefore = sink.rows;
    const std::size_t tablesBefore = sink.tables.size();
    reader.onBody(page);
    reader.onBody("<table><tr><td>late</td></tr></table>");
    reader.finish();
    check(sink.rows == rowsBefore && sink.tables.size() == tablesBefore,
          "the reader went on after an exception");
}

/// Tables made of a whole UTF-8 text by libxml2 and the table builder, set up as the reader
/// sets them up but without the row filter and in one piece.
struct Parsed {
    bool htmlError = false;  ///< the builder's limits stopped the reading
    std::vector<HtmlTable> tables;
    bool operator==(const Parsed& other) const {
        if (htmlError != other.htmlError || tables.size() != other.tables.size()) {
            return false;
        }
        for (std::size_t t = 0; t < tables.size(); ++t) {
            if (tables[t].rows != other.tables[t].rows) {
                return false;
            }
        }
        return true;
    }
};

struct ParseRun {
    CheckingSink sink{0};
    TableBuilder builder{sink};
    htmlParserCtxtPtr parser = nullptr;
    std::exception_ptr failure;

    // Exceptions must not cross libxml2's C frames.
    template <typename Work>
    static void guarded(void* context, Work work) {
        ParseRun& parse = *static_cast<ParseRun*>(context);
        if (parse.failure) {
            return;
        }
        try {
            work(parse.builder);
        } catch (...) {
            parse.failure = std::current_exception();
            xmlStopParser(parse.parser);
        }
    }
    static const char* nameOf(const xmlChar* name) {
        return name == nullptr ? "" : reinterpret_cast<const char*>(name);
    }
    static void onStart(void* context, const xmlChar* name, const xmlChar**) {
        guarded(context, [&](TableBuilder& builder) { builder.startElement(nameOf(name)); });
    }
    static void onEnd(void* context, const xmlChar* name) {
        guarded(context, [&](TableBuilder& builder) { builder.endElement(nameOf(name)); });
    }
    static void onText(void* context, const xmlChar* text, int length) {
        guarded(context, [&](TableBuilder& builder) {
            builder.text(std::string_view(reinterpret_cast<const char*>(text),
                                          static_cast<std::size_t>(length < 0 ? 0 : length)));
        });
    }
};

Parsed parseInOnePiece(std::string_view utf8) {
    ParseRun parse;
    htmlSAXHandler sax{};
    sax.startElement = ParseRun::onStart;
    sax.endElement = ParseRun::onEnd;
    sax.characters = ParseRun::onText;
    sax.ignorableWhitespace = ParseRun::onText;
    sax.cdataBlock = ParseRun::onText;
    parse.parser =
        htmlCreatePushParserCtxt(&sax, &parse, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    check(parse.parser != nullptr, "cannot create a libxml2 parser");
    htmlCtxtUseOptions(parse.parser, HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                         HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    // The reader too hands libxml2 the text and then an empty last chunk.
    htmlParseChunk(parse.parser, utf8.data(), static_cast<int>(utf8.size()), 0);
    if (!parse.failure) {
        htmlParseChunk(parse.parser, "", 0, 1);
    }
    htmlFreeParserCtxt(parse.parser);
    Parsed parsed;
    try {
        if (parse.failure) {
            std::rethrow_exception(parse.failure);
        }
        parse.builder.finish();
    } catch (const HtmlError&) {
        parsed.htmlError = true;
        return parsed;
    }
    parsed.tables = std::move(parse.sink.tables);
    return parsed;
}

std::string describe(const Parsed& parsed) {
    return parsed.htmlError ? "(HtmlError)\n" : describe(parsed.tables);
}

/// The filter must not change what libxml2 and the table builder make of the text, whether it
/// sees the text whole or in pieces.
void checkRowFilter(std::string_view page, std::string_view contentType, fuzz::PieceSizes sizes) {
    std::string text;
    try {
        PageDecoder decoder{std::string(contentType)};
        decoder.decode(page, text);
        decoder.finish(text);
    } catch (const Error&) {
        return;
    }
    // The filter's one documented change: the page's own U+FDD0, as the character or as a
    // character reference, becomes U+FFFD.
    std::string plain = text;
    for (std::size_t pos = plain.find(kCellBreak); pos != std::string::npos;
         pos = plain.find(kCellBreak, pos)) {
        plain.replace(pos, kCellBreak.size(), "\xEF\xBF\xBD");
    }
    for (std::size_t pos = plain.find("&#"); pos != std::string::npos;
         pos = plain.find("&#", pos + 1)) {
        std::size_t at = pos + 2;
        const bool hex = at < plain.size() && (plain[at] == 'x' || plain[at] == 'X');
        at += hex ? 1 : 0;
        unsigned long long value = 0;
        std::size_t digits = 0;
        for (; at < plain.size(); ++at) {
            const char c = static_cast<char>(plain[at] | 0x20);
            const bool digit = (c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f');
            if (!digit) {
                break;
            }
            value = std::min<unsigned long long>(
                value * (hex ? 16 : 10) + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10),
                0x110000);
            ++digits;
        }
        if (digits > 0 && value == 0xFDD0) {
            const std::size_t length = at + (at < plain.size() && plain[at] == ';' ? 1 : 0) - pos;
            plain.replace(pos, length, "\xEF\xBF\xBD");
        }
    }
    // libxml2 reads a tag left open at the end of the page in ways that depend on what went
    // before (it may drop it or take it): no filter can keep that, so such pages are left out.
    if (const auto lastOpen = plain.rfind('<');
        lastOpen != std::string::npos && plain.find('>', lastOpen) == std::string::npos) {
        return;
    }
    const Parsed unfiltered = parseInOnePiece(plain);

    RowSpaceFilter wholeFilter;
    std::string whole = text;
    wholeFilter.filter(whole);
    wholeFilter.finish(whole);
    const Parsed filtered = parseInOnePiece(whole);
    check(filtered == unfiltered, "the row filter changes the tables",
          text + "\n--- filtered:\n" + describe(filtered) + "--- unfiltered:\n" +
              describe(unfiltered));

    RowSpaceFilter pieceFilter;
    std::string joined;
    for (std::string_view rest = text; !rest.empty();) {
        // The decoder hands over whole characters only.
        std::size_t length = std::min(sizes.next(), rest.size());
        while (length < rest.size() && (static_cast<unsigned char>(rest[length]) & 0xC0) == 0x80) {
            ++length;
        }
        std::string piece(rest.substr(0, length));
        rest.remove_prefix(length);
        pieceFilter.filter(piece);
        joined += piece;
    }
    pieceFilter.finish(joined);
    const Parsed filteredInPieces = parseInOnePiece(joined);
    check(filteredInPieces == unfiltered, "the row filter in pieces changes the tables",
          text + "\n--- filtered in pieces:\n" + describe(filteredInPieces) + "--- unfiltered:\n" +
              describe(unfiltered));
}

}  // namespace
}  // namespace kestrova

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;
    if (size < 3) {
        return 0;
    }
    const std::string_view contentType = fuzz::kContentTypes[data[0] & 7];
    const fuzz::PieceSizes sizes(data[1]);
    const std::size_t throwAtRow = data[2] < 0x20 ? data[2] : 0;
    const std::string_view page(reinterpret_cast<const char*>(data) + 3, size - 3);

    CheckingSink sink(throwAtRow);
    readInPieces(page, contentType, sizes, sink);

    // The whole page at once, as small pages are read; its cells must pass the same checks.
    try {
        for (const HtmlTable& table : readTables(page, contentType)) {
            for (const auto& row : table.rows) {
                for (const auto& cell : row) {
                    checkCell(cell);
                }
            }
        }
    } catch (const Error&) {
    }

    checkRowFilter(page, contentType, sizes);
    return 0;
}
