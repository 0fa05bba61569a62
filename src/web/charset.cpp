#include "web/charset.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include <libxml/encoding.h>

#include "base/charset_converter.h"
#include "base/text.h"
#include "base/utf8_text.h"
#include "web/html_text.h"

namespace kestrova {
namespace {

std::string_view trimHtmlSpace(std::string_view text) {
    while (!text.empty() && isHtmlSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isHtmlSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

struct LabelAlias {
    std::string_view label;
    std::string_view encoding;
};

// Labels that must not reach the generic lookup: libxml2 and glibc read "shift_jis" as the
// JIS table, which differs from what Windows servers send, and browsers read Latin-1 as CP1252.
constexpr std::array kAliases{
    LabelAlias{"shift_jis", "CP932"},
    LabelAlias{"shift-jis", "CP932"},
    LabelAlias{"sjis", "CP932"},
    LabelAlias{"x-sjis", "CP932"},
    LabelAlias{"windows-31j", "CP932"},
    LabelAlias{"ms932", "CP932"},
    LabelAlias{"cp932", "CP932"},
    LabelAlias{"csshiftjis", "CP932"},
    LabelAlias{"ms_kanji", "CP932"},
    LabelAlias{"x-ms-cp932", "CP932"},
    LabelAlias{"utf-8", "UTF-8"},
    LabelAlias{"utf8", "UTF-8"},
    LabelAlias{"unicode-1-1-utf-8", "UTF-8"},
    LabelAlias{"utf-16", "UTF-16LE"},
    LabelAlias{"utf-16le", "UTF-16LE"},
    LabelAlias{"utf-16be", "UTF-16BE"},
    LabelAlias{"iso-8859-1", "CP1252"},
    LabelAlias{"latin1", "CP1252"},
    LabelAlias{"us-ascii", "CP1252"},
    LabelAlias{"ascii", "CP1252"},
    LabelAlias{"windows-1252", "CP1252"},
    LabelAlias{"cp1252", "CP1252"},
    LabelAlias{"euc-jp", "EUC-JP"},
    LabelAlias{"x-euc-jp", "EUC-JP"},
};

bool isPlausibleLabel(std::string_view label) {
    // Labels go to the system's converter; keep them to the characters real encoding names use.
    return !label.empty() && label.size() <= 40 &&
           std::all_of(label.begin(), label.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                      c == '.' || c == ':';
           });
}

std::string encodingFromLibxml(const std::string& label) {
    struct Closer {
        void operator()(xmlCharEncodingHandler* handler) const { xmlCharEncCloseFunc(handler); }
    };
    const std::unique_ptr<xmlCharEncodingHandler, Closer> handler(
        xmlFindCharEncodingHandler(label.c_str()));
    if (!handler || handler->name == nullptr) {
        return {};
    }
    std::string name = handler->name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    // The "HTML" handler only writes; anything else must also be readable by the converter.
    if (name == "HTML" || !canConvertToUtf8(name.c_str())) {
        return {};
    }
    return name;
}

// --- meta prescan, after the HTML standard's "prescan a byte stream" -------------------------

struct Attribute {
    std::string name;
    std::string value;
};

/// Reads the byte stream of a tag's attributes.
class AttributeReader {
  public:
    AttributeReader(std::string_view bytes, std::size_t pos) : bytes_(bytes), pos_(pos) {}

    std::size_t position() const { return pos_; }
    /// True when the bytes ended inside the tag.
    bool ranOut() const { return ranOut_; }

    /// The next attribute; nothing at the tag's ">" or the end of the bytes.
    std::optional<Attribute> next() {
        while (pos_ < bytes_.size() && (isHtmlSpace(bytes_[pos_]) || bytes_[pos_] == '/')) {
            ++pos_;
        }
        if (atEnd() || bytes_[pos_] == '>') {
            return std::nullopt;
        }
        Attribute attribute;
        for (;;) {
            if (atEnd()) {
                return std::nullopt;
            }
            const char c = bytes_[pos_];
            if (c == '=' && !attribute.name.empty()) {
                ++pos_;
                return readValue(std::move(attribute));
            }
            if (isHtmlSpace(c)) {
                break;
            }
            if (c == '/' || c == '>') {
                return attribute;
            }
            attribute.name.push_back(toLowerAscii(c));
            ++pos_;
        }
        skipSpaces();
        if (atEnd()) {
            return std::nullopt;
        }
        if (bytes_[pos_] != '=') {
            return attribute;
        }
        ++pos_;
        return readValue(std::move(attribute));
    }

  private:
    bool atEnd() {
        if (pos_ < bytes_.size()) {
            return false;
        }
        ranOut_ = true;
        return true;
    }

    void skipSpaces() {
        while (pos_ < bytes_.size() && isHtmlSpace(bytes_[pos_])) {
            ++pos_;
        }
    }

    std::optional<Attribute> readValue(Attribute attribute) {
        skipSpaces();
        if (atEnd()) {
            return std::nullopt;
        }
        const char first = bytes_[pos_];
        if (first == '"' || first == '\'') {
            for (++pos_; !atEnd(); ++pos_) {
                if (bytes_[pos_] == first) {
                    ++pos_;
                    return attribute;
                }
                attribute.value.push_back(toLowerAscii(bytes_[pos_]));
            }
            return std::nullopt;
        }
        if (first == '>') {
            return attribute;
        }
        for (; !atEnd(); ++pos_) {
            const char c = bytes_[pos_];
            if (isHtmlSpace(c) || c == '>') {
                return attribute;
            }
            attribute.value.push_back(toLowerAscii(c));
        }
        return std::nullopt;
    }

    std::string_view bytes_;
    std::size_t pos_;
    bool ranOut_ = false;
};

/// The charset named in a meta content value such as "text/html; charset=Shift_JIS".
std::string_view charsetInMetaContent(std::string_view content) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t found = content.find("charset", pos);
        if (found == std::string_view::npos) {
            return {};
        }
        pos = found + 7;
        while (pos < content.size() && isHtmlSpace(content[pos])) {
            ++pos;
        }
        if (pos >= content.size() || content[pos] != '=') {
            continue;
        }
        ++pos;
        while (pos < content.size() && isHtmlSpace(content[pos])) {
            ++pos;
        }
        if (pos >= content.size()) {
            return {};
        }
        if (content[pos] == '"' || content[pos] == '\'') {
            const std::size_t close = content.find(content[pos], pos + 1);
            if (close == std::string_view::npos) {
                return {};
            }
            return content.substr(pos + 1, close - pos - 1);
        }
        std::size_t end = pos;
        while (end < content.size() && !isHtmlSpace(content[end]) && content[end] != ';') {
            ++end;
        }
        return content.substr(pos, end - pos);
    }
}

/// The encoding a complete meta tag declares, "" when it declares none usable.
std::string encodingOfMeta(AttributeReader& reader) {
    std::vector<std::string> seen;
    bool gotPragma = false;
    std::optional<bool> needPragma;
    std::string charset;
    while (auto attribute = reader.next()) {
        if (std::find(seen.begin(), seen.end(), attribute->name) != seen.end()) {
            continue;
        }
        seen.push_back(attribute->name);
        if (attribute->name == "http-equiv") {
            gotPragma = gotPragma || attribute->value == "content-type";
        } else if (attribute->name == "content" && charset.empty()) {
            const std::string_view found = charsetInMetaContent(attribute->value);
            if (!found.empty()) {
                charset = found;
                needPragma = true;
            }
        } else if (attribute->name == "charset") {
            charset = attribute->value;
            needPragma = false;
        }
    }
    if (reader.ranOut() || !needPragma || (*needPragma && !gotPragma) || charset.empty()) {
        return {};
    }
    std::string encoding = encodingForLabel(charset);
    if (encoding.starts_with("UTF-16")) {
        return "UTF-8";
    }
    return encoding;
}

}  // namespace

std::string encodingForLabel(std::string_view label) {
    const std::string lower = toLowerAscii(trimHtmlSpace(label));
    if (!isPlausibleLabel(lower)) {
        return {};
    }
    const auto alias = std::find_if(kAliases.begin(), kAliases.end(),
                                    [&](const LabelAlias& a) { return a.label == lower; });
    if (alias != kAliases.end()) {
        return std::string(alias->encoding);
    }
    if (std::string known = encodingFromLibxml(lower); !known.empty()) {
        return known;
    }
    // libxml2 knows the names its own converter knows, and without iconv (Windows) only a few.
    std::string upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    return upper != "HTML" && canConvertToUtf8(upper.c_str()) ? upper : std::string();
}

std::string charsetParameter(std::string_view contentType) {
    std::size_t pos = contentType.find(';');
    while (pos != std::string_view::npos) {
        const std::size_t next = contentType.find(';', pos + 1);
        const std::string_view parameter = contentType.substr(
            pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1);
        pos = next;
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos ||
            toLowerAscii(trimHtmlSpace(parameter.substr(0, equals))) != "charset") {
            continue;
        }
        std::string_view value = trimHtmlSpace(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return {};
}

std::optional<ByteOrderMark> findByteOrderMark(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return ByteOrderMark{"UTF-8", 3};
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return ByteOrderMark{"UTF-16BE", 2};
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return ByteOrderMark{"UTF-16LE", 2};
    }
    return std::nullopt;
}

std::string prescanMetaCharset(std::string_view head) {
    std::size_t pos = 0;
    while (pos < head.size()) {
        const std::string_view rest = head.substr(pos);
        if (rest.starts_with("<!--")) {
            const std::size_t close = head.find("-->", pos + 2);
            if (close == std::string_view::npos) {
                return {};
            }
            pos = close + 3;
            continue;
        }
        if (startsWithIgnoringAsciiCase(rest, "<meta") && rest.size() > 5 &&
            (isHtmlSpace(rest[5]) || rest[5] == '/')) {
            AttributeReader reader(head, pos + 5);
            std::string encoding = encodingOfMeta(reader);
            if (!encoding.empty()) {
                return encoding;
            }
            if (reader.ranOut()) {
                return {};
            }
            pos = reader.position() + 1;
            continue;
        }
        const auto isLetter = [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        };
        if (rest.size() >= 2 && rest[0] == '<' &&
            (isLetter(rest[1]) || (rest[1] == '/' && rest.size() >= 3 && isLetter(rest[2])))) {
            pos += 2;
            while (pos < head.size() && !isHtmlSpace(head[pos]) && head[pos] != '>') {
                ++pos;
            }
            AttributeReader reader(head, pos);
            while (reader.next()) {
            }
            if (reader.ranOut()) {
                return {};
            }
            pos = reader.position() + 1;
            continue;
        }
        if (rest.starts_with("<!") || rest.starts_with("</") || rest.starts_with("<?")) {
            const std::size_t close = head.find('>', pos + 2);
            if (close == std::string_view::npos) {
                return {};
            }
            pos = close + 1;
            continue;
        }
        ++pos;
    }
    return {};
}

bool isUtf8Prefix(std::string_view bytes) {
    const Utf8Scan scan = scanUtf8(bytes);
    return scan.validLength + scan.incompleteTail == bytes.size();
}

std::optional<PageEncoding> declaredEncoding(std::string_view head, std::string_view contentType) {
    if (const auto bom = findByteOrderMark(head)) {
        return PageEncoding{std::string(bom->encoding), bom->length};
    }
    // One or two bytes that begin a BOM: only the next bytes tell.
    if ((head.size() < 3 && std::string_view("\xEF\xBB\xBF").starts_with(head)) ||
        (head.size() == 1 && (head[0] == '\xFE' || head[0] == '\xFF'))) {
        return std::nullopt;
    }
    if (std::string fromHeader = encodingForLabel(charsetParameter(contentType));
        !fromHeader.empty()) {
        return PageEncoding{std::move(fromHeader), 0};
    }
    if (std::string fromMeta = prescanMetaCharset(head.substr(0, kCharsetPrescanBytes));
        !fromMeta.empty()) {
        return PageEncoding{std::move(fromMeta), 0};
    }
    return std::nullopt;
}

std::string_view undeclaredEncoding(std::string_view bytes) {
    return isUtf8Prefix(bytes) ? "UTF-8" : "CP932";
}

}  // namespace kestrova
