#include "web/html_tables.h"

#include <algorithm>
#include <exception>
#include <optional>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include "web/page_decoder.h"
#include "web/row_space_filter.h"
#include "web/table_builder.h"

namespace kestrova {
namespace {

/// htmlParseChunk takes an int size; smaller pieces also find runaway markup sooner.
constexpr std::size_t kParserPiece = 256 * 1024;

struct ParserFree {
    void operator()(htmlParserCtxtPtr parser) const { htmlFreeParserCtxt(parser); }
};

const char* nameOf(const xmlChar* name) {
    return name == nullptr ? "" : reinterpret_cast<const char*>(name);
}

}  // namespace

struct HtmlTableReader::Impl {
    Impl(TableRowSink& sink, HtmlLimits limits_)
        : builder(sink, limits_.maxRowText), limits(limits_) {}

    /// Runs a SAX callback's work. Exceptions must not cross libxml2's C frames: keep the
    /// first one, stop the parser and rethrow it once htmlParseChunk has returned.
    template <typename Work>
    static void guarded(void* context, Work work) noexcept {
        Impl& impl = *static_cast<Impl*>(context);
        if (impl.failure) {
            return;
        }
        try {
            work(impl.builder);
        } catch (...) {
            impl.failure = std::current_exception();
            xmlStopParser(impl.parser.get());
        }
    }

    static void onStartElement(void* context, const xmlChar* name, const xmlChar**) {
        guarded(context, [&](TableBuilder& builder) { builder.startElement(nameOf(name)); });
    }
    static void onEndElement(void* context, const xmlChar* name) {
        guarded(context, [&](TableBuilder& builder) { builder.endElement(nameOf(name)); });
    }
    static void onText(void* context, const xmlChar* text, int length) {
        guarded(context, [&](TableBuilder& builder) {
            builder.text(std::string_view(reinterpret_cast<const char*>(text),
                                          static_cast<std::size_t>(std::max(length, 0))));
        });
    }

    void createParser() {
        xmlInitParser();
        htmlSAXHandler sax{};
        sax.startElement = onStartElement;
        sax.endElement = onEndElement;
        sax.characters = onText;
        sax.ignorableWhitespace = onText;
        sax.cdataBlock = onText;
        // The decoder hands over UTF-8 only, so the page's own meta must not switch encodings.
        parser.reset(
            htmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
        if (!parser) {
            throw HtmlError("HTML の読み取りを開始できませんでした。");
        }
        // RECOVER: a script or style ends only at its own end tag, not at any "</x" inside.
        // The html element is implied, as a browser implies it: without it, a page that
        // begins with its head or title ends there, and its tables would go unread.
        htmlCtxtUseOptions(parser.get(), HTML_PARSE_RECOVER | HTML_PARSE_NONET |
                                             HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                             HTML_PARSE_IGNORE_ENC);
    }

    /// Filters and parses decoded text; `lastText` flushes the filter, `terminate` ends the
    /// document after the text.
    void parse(std::string& utf8Text, bool lastText, bool terminate) {
        spaceFilter.filter(utf8Text);
        if (lastText) {
            spaceFilter.finish(utf8Text);
        }
        std::string_view utf8 = utf8Text;
        do {
            const std::string_view piece = utf8.substr(0, kParserPiece);
            utf8.remove_prefix(piece.size());
            htmlParseChunk(parser.get(), piece.data(), static_cast<int>(piece.size()),
                           terminate && utf8.empty());
            if (failure) {
                std::rethrow_exception(failure);
            }
            const xmlParserInputPtr input = parser->input;
            if (input != nullptr && input->cur != nullptr && input->end != nullptr &&
                static_cast<std::size_t>(input->end - input->cur) > limits.maxUnparsed) {
                throw HtmlError("ページに閉じられないタグか長すぎる文字列があります。");
            }
        } while (!utf8.empty());
    }

    /// Runs a step of the reader; after a failure, later calls do nothing.
    template <typename Step>
    void step(Step work) {
        if (done) {
            return;
        }
        try {
            work();
        } catch (...) {
            done = true;
            throw;
        }
    }

    TableBuilder builder;
    HtmlLimits limits;
    std::string contentType;
    std::optional<PageDecoder> decoder;
    std::string decoded;
    RowSpaceFilter spaceFilter;
    std::unique_ptr<htmlParserCtxt, ParserFree> parser;
    std::exception_ptr failure;
    bool done = false;
};

HtmlTableReader::HtmlTableReader(TableRowSink& sink, HtmlLimits limits)
    : impl_(std::make_unique<Impl>(sink, limits)) {
    impl_->createParser();
}

HtmlTableReader::~HtmlTableReader() = default;

void HtmlTableReader::onResponseStart(int, std::string_view contentType) {
    if (!impl_->decoder) {
        impl_->contentType = contentType;
    }
}

void HtmlTableReader::onBody(std::string_view chunk) {
    impl_->step([&] {
        if (!impl_->decoder) {
            impl_->decoder.emplace(impl_->contentType);
        }
        impl_->decoded.clear();
        impl_->decoder->decode(chunk, impl_->decoded);
        impl_->parse(impl_->decoded, false, false);
    });
}

void HtmlTableReader::finish() {
    impl_->step([&] {
        if (!impl_->decoder) {
            impl_->decoder.emplace(impl_->contentType);
        }
        impl_->decoded.clear();
        impl_->decoder->finish(impl_->decoded);
        impl_->parse(impl_->decoded, true, false);
        // What libxml2 closes from here on had no end tag before the page ended.
        impl_->builder.documentEnding();
        impl_->decoded.clear();
        impl_->parse(impl_->decoded, false, true);
        impl_->builder.finish();
        impl_->done = true;
    });
}

std::vector<HtmlTable> readTables(std::string_view html, std::string_view contentType) {
    struct Collector : TableRowSink {
        void onTableStart(std::size_t) override { tables.emplace_back(); }
        void onRow(std::size_t table, std::size_t,
                   std::span<const std::string_view> cells) override {
            tables[table].rows.emplace_back(cells.begin(), cells.end());
        }
        std::vector<HtmlTable> tables;
    } collector;
    HtmlTableReader reader(collector);
    reader.onResponseStart(200, contentType);
    // In pieces, as from the network: the decoded copy stays small.
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t pos = 0; pos < html.size(); pos += kPiece) {
        reader.onBody(html.substr(pos, kPiece));
    }
    reader.finish();
    return std::move(collector.tables);
}

}  // namespace kestrova
