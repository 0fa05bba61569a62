#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include "web/html_tables.h"
#include "web/html_text.h"
#include "web/page_decoder.h"

namespace kestrova {
namespace {

// What a browser allows a span to be; a page asking for more is cut down to it.
constexpr long kMaxColspan = 1000;
constexpr long kMaxRowspan = 65534;
// Spanned cells are copied into every place they cover: a few spans on a small page could
// otherwise ask for gigabytes.
constexpr std::size_t kMaxGridCells = 1u << 20;
constexpr std::size_t kMaxGridText = 64u << 20;
// Deeper markup adds nothing a table printout needs, and the walk must not exhaust the stack.
constexpr int kMaxDepth = 256;

struct DocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};

bool named(const xmlNode* node, const char* name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

bool namedAnyOf(const xmlNode* node, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [node](const char* name) { return named(node, name); });
}

/// Elements that stand on lines of their own, as innerText breaks around them; the text of
/// inline ones runs on.
bool breaksLine(const xmlNode* node) {
    return namedAnyOf(
        node, {"br",      "p",       "div",     "li",      "ul",         "ol",         "dl",
               "dt",      "dd",      "hr",      "h1",      "h2",         "h3",         "h4",
               "h5",      "h6",      "pre",     "nav",     "form",       "main",       "menu",
               "table",   "caption", "thead",   "tbody",   "tfoot",      "tr",         "td",
               "th",      "aside",   "center",  "header",  "footer",     "figure",     "address",
               "article", "section", "details", "summary", "blockquote", "figcaption", "fieldset",
               "legend"});
}

std::string attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

/// A span attribute as a browser reads it: leading digits, `fallback` when there are none.
long span(const xmlNode* cell, const char* name, long fallback, long most) {
    const std::string text = attribute(cell, name);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    while (begin != end && isHtmlSpace(*begin)) {
        ++begin;
    }
    long value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error == std::errc::result_out_of_range) {
        return most;
    }
    if (error != std::errc() || stop == begin || value < 0) {
        return fallback;
    }
    return std::min(value, most);
}

/// The visible text of a node on one line: words joined by single spaces, an image standing
/// for its alt text, hidden content left out.
class LineText {
  public:
    void add(const xmlNode* node, int depth = 0) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            words(reinterpret_cast<const char*>(node->content));
            return;
        }
        if (node->type != XML_ELEMENT_NODE || depth > kMaxDepth ||
            namedAnyOf(node, {"script", "style", "title", "noscript", "template"})) {
            return;
        }
        if (named(node, "img")) {
            // An image is a thing of its own on the line, not part of a word.
            space_ = true;
            words(attribute(node, "alt"));
            space_ = true;
            return;
        }
        // Line breaks, blocks and the cells of a nested table all part words.
        const bool apart = breaksLine(node);
        space_ = space_ || apart;
        for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
            add(child, depth + 1);
        }
        space_ = space_ || apart;
    }

    std::string take() { return std::move(text_); }

  private:
    void words(std::string_view text) {
        for (const char c : text) {
            if (isHtmlSpace(c)) {
                space_ = true;
                continue;
            }
            if (space_ && !text_.empty()) {
                text_ += ' ';
            }
            space_ = false;
            text_ += c;
        }
    }

    std::string text_;
    bool space_ = false;
};

std::string lineTextOf(const xmlNode* node) {
    LineText text;
    text.add(node);
    return text.take();
}

bool holdsTable(const xmlNode* node, int depth = 0) {
    if (named(node, "table")) {
        return true;
    }
    if (depth > kMaxDepth) {
        return false;
    }
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && holdsTable(child, depth + 1)) {
            return true;
        }
    }
    return false;
}

/// The text just before the table, outside it: of the nearest node before it that shows
/// text, the table's wrappers climbed while the table is the first thing in them. None when
/// another table stands there: its text belongs to that table.
std::string headingOf(const xmlNode* table) {
    for (const xmlNode* node = table; node != nullptr && !named(node, "body");
         node = node->parent) {
        for (const xmlNode* before = node->prev; before != nullptr; before = before->prev) {
            if (before->type != XML_ELEMENT_NODE && before->type != XML_TEXT_NODE) {
                continue;
            }
            if (before->type == XML_ELEMENT_NODE && holdsTable(before)) {
                return {};
            }
            std::string text = lineTextOf(before);
            if (!text.empty()) {
                return text;
            }
        }
    }
    return {};
}

/// Places cells into rows by their spans, as a browser lays out a table.
class GridBuilder {
  public:
    explicit GridBuilder(std::size_t& cells, std::size_t& textBytes)
        : cells_(cells), textBytes_(textBytes) {}

    /// One row group (thead, tbody, tfoot, or rows straight in the table): rowspans end with it.
    void group(const std::vector<const xmlNode*>& rows) {
        below_.clear();
        for (std::size_t r = 0; r < rows.size(); ++r) {
            row(rows[r], rows.size() - r);
        }
    }

    std::vector<std::vector<std::string>> finish() {
        // Short rows are padded to the widest: those places count as cells too.
        for (auto& row : rows_) {
            cells_ += width_ - row.size();
            if (cells_ > kMaxGridCells) {
                throw HtmlError("ページの表が大きすぎます。");
            }
            row.resize(width_);
        }
        return std::move(rows_);
    }

  private:
    /// What a cell above still covers in a column.
    struct Below {
        std::size_t rows = 0;
        std::string text;
    };

    void row(const xmlNode* tr, std::size_t rowsLeft) {
        std::vector<std::string> out;
        std::size_t column = 0;
        const auto fillFromAbove = [&] {
            while (column < below_.size() && below_[column].rows > 0) {
                place(out, column, below_[column].text);
                --below_[column].rows;
                ++column;
            }
        };
        for (const xmlNode* cell = tr->children; cell != nullptr; cell = cell->next) {
            if (!namedAnyOf(cell, {"td", "th"})) {
                continue;
            }
            fillFromAbove();
            const auto columns = static_cast<std::size_t>(span(cell, "colspan", 1, kMaxColspan));
            const long rowspan = span(cell, "rowspan", 1, kMaxRowspan);
            // 0: to the end of the row group.
            const std::size_t down =
                rowspan == 0 ? rowsLeft : std::min<std::size_t>(rowspan, rowsLeft);
            const std::string text = lineTextOf(cell);
            for (std::size_t k = 0; k < std::max<std::size_t>(columns, 1); ++k) {
                if (column < below_.size() && below_[column].rows > 0) {
                    --below_[column].rows;  // spans that overlap: this cell is drawn over it
                }
                if (down > 1) {
                    if (below_.size() <= column) {
                        below_.resize(column + 1);
                    }
                    below_[column] = {down - 1, text};
                }
                place(out, column++, text);
            }
        }
        fillFromAbove();
        // Columns further right that a cell above still covers.
        for (std::size_t c = column; c < below_.size(); ++c) {
            if (below_[c].rows > 0) {
                place(out, c, below_[c].text);
                --below_[c].rows;
            }
        }
        width_ = std::max(width_, out.size());
        rows_.push_back(std::move(out));
    }

    void place(std::vector<std::string>& row, std::size_t column, const std::string& text) {
        if (++cells_ > kMaxGridCells || (textBytes_ += text.size()) > kMaxGridText) {
            throw HtmlError("ページの表が大きすぎます。");
        }
        if (row.size() <= column) {
            row.resize(column + 1);
        }
        row[column] = text;
    }

    std::size_t& cells_;
    std::size_t& textBytes_;
    std::vector<Below> below_;
    std::vector<std::vector<std::string>> rows_;
    std::size_t width_ = 0;
};

/// The rows of `table` by row group, in the order a browser's table.rows lists them: the
/// header first, the footer last.
std::vector<std::vector<const xmlNode*>> rowGroupsOf(const xmlNode* table) {
    std::vector<std::vector<const xmlNode*>> head;
    std::vector<std::vector<const xmlNode*>> body;
    std::vector<std::vector<const xmlNode*>> foot;
    bool straight = false;  // the last group holds rows written straight into the table
    for (const xmlNode* child = table->children; child != nullptr; child = child->next) {
        if (named(child, "tr")) {
            if (!straight) {
                body.emplace_back();
                straight = true;
            }
            body.back().push_back(child);
            continue;
        }
        if (!namedAnyOf(child, {"thead", "tbody", "tfoot"})) {
            continue;
        }
        straight = false;
        auto& groups = named(child, "thead") ? head : named(child, "tfoot") ? foot : body;
        groups.emplace_back();
        for (const xmlNode* tr = child->children; tr != nullptr; tr = tr->next) {
            if (named(tr, "tr")) {
                groups.back().push_back(tr);
            }
        }
    }
    head.insert(head.end(), body.begin(), body.end());
    head.insert(head.end(), foot.begin(), foot.end());
    return head;
}

void collectTables(const xmlNode* node, std::vector<const xmlNode*>& tables, int depth = 0) {
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        if (named(child, "table")) {
            tables.push_back(child);
        }
        if (depth < kMaxDepth) {
            collectTables(child, tables, depth + 1);
        }
    }
}

}  // namespace

std::vector<TableGrid> readTableGrids(std::string_view html, std::string_view contentType) {
    PageDecoder decoder{std::string(contentType)};
    std::string text;
    decoder.decode(html, text);
    decoder.finish(text);
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw HtmlError("ページが大きすぎます。");
    }
    xmlInitParser();
    // The text is UTF-8 now, so the page's own meta must not switch encodings.
    const std::unique_ptr<xmlDoc, DocFree> doc(
        htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                       HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                           HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC));
    std::vector<TableGrid> grids;
    if (!doc) {
        return grids;
    }
    std::vector<const xmlNode*> tables;
    collectTables(reinterpret_cast<const xmlNode*>(doc.get()), tables);
    std::size_t cells = 0;
    std::size_t textBytes = 0;
    for (const xmlNode* table : tables) {
        GridBuilder builder(cells, textBytes);
        for (const auto& group : rowGroupsOf(table)) {
            builder.group(group);
        }
        grids.push_back({headingOf(table), builder.finish()});
    }
    return grids;
}

}  // namespace kestrova
