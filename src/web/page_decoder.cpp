#include "web/page_decoder.h"

#include <algorithm>

#include "base/cp932.h"
#include "base/errors.h"
#include "base/utf8_text.h"
#include "web/charset.h"

namespace kestrova {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

}  // namespace

TextDecoder::TextDecoder(std::string encoding)
    : encoding_(std::move(encoding)), utf8_(encoding_ == "UTF-8"), cp932_(encoding_ == "CP932") {
    if (utf8_) {
        return;
    }
    try {
        converter_.emplace("UTF-8", encoding_.c_str());
    } catch (const Error&) {
        throw Error("文字コード " + encoding_ + " のページを読み込めません。");
    }
}

void TextDecoder::decode(std::string_view bytes, std::string& out) {
    if (!carry_.empty()) {
        joined_.assign(carry_);
        joined_.append(bytes);
        carry_.clear();
        convert(joined_, out);
        return;
    }
    convert(bytes, out);
}

void TextDecoder::finish(std::string& out) {
    if (!carry_.empty()) {
        out.append(kReplacement);
        carry_.clear();
    }
}

void TextDecoder::convert(std::string_view bytes, std::string& out) {
    if (utf8_) {
        carry_.assign(bytes.substr(appendUtf8Replacing(bytes, out)));
        return;
    }
    if (!cp932_) {
        convertRun(bytes, true, out);
        return;
    }
    // Most of a page is ASCII markup, which CP932 shares: copy it and hand the converter only the
    // runs of double-byte and katakana characters. A second byte may be ASCII, so runs are walked
    // character by character.
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t runStart = skipAscii(bytes, pos);
        out.append(bytes.substr(pos, runStart - pos));
        std::size_t runEnd = runStart;
        while (runEnd < bytes.size() && !isAscii(bytes[runEnd])) {
            runEnd += isCp932LeadByte(bytes[runEnd]) ? 2 : 1;
        }
        runEnd = std::min(runEnd, bytes.size());
        if (runEnd > runStart) {
            convertRun(bytes.substr(runStart, runEnd - runStart), runEnd == bytes.size(), out);
        }
        pos = runEnd;
    }
}

void TextDecoder::convertRun(std::string_view run, bool runEndsInput, std::string& out) {
    const std::size_t consumed = converter_->convert(
        run, out,
        [](std::string_view, std::string& replaced) {
            replaced.append(kReplacement);
            return std::size_t{1};
        },
        runEndsInput);
    carry_.assign(run.substr(consumed));
}

PageDecoder::PageDecoder(std::string contentType) : contentType_(std::move(contentType)) {}

std::string PageDecoder::encoding() const {
    return decoder_ ? decoder_->encoding() : std::string();
}

namespace {

/// NUL is no character of a page: the parser would end a tag or text at it where a browser
/// reads on. It becomes U+FFFD, as in a browser's text.
void replaceNul(std::string& out, std::size_t from) {
    const std::size_t first = out.find('\0', from);
    if (first == std::string::npos) {
        return;
    }
    // One pass over the rest: a replacement in place would move the tail once per NUL.
    std::string rest;
    rest.reserve(out.size() - first + 2 * kReplacement.size());
    for (std::size_t i = first; i < out.size(); ++i) {
        if (out[i] == '\0') {
            rest += kReplacement;
        } else {
            rest += out[i];
        }
    }
    out.resize(first);
    out += rest;
}

}  // namespace

void PageDecoder::decode(std::string_view bytes, std::string& out) {
    const std::size_t before = out.size();
    decodeInto(bytes, out);
    replaceNul(out, before);
}

void PageDecoder::finish(std::string& out) {
    const std::size_t before = out.size();
    if (stage_ != Stage::Decoding) {
        advance(true, out);
    }
    if (decoder_) {
        decoder_->finish(out);
    }
    replaceNul(out, before);
}

void PageDecoder::decodeInto(std::string_view bytes, std::string& out) {
    if (stage_ == Stage::Decoding) {
        decoder_->decode(bytes, out);
        return;
    }
    if (stage_ == Stage::Ascii) {
        const std::size_t firstOther = skipAscii(bytes, 0);
        out.append(bytes.substr(0, firstOther));
        if (firstOther == bytes.size()) {
            return;
        }
        bytes.remove_prefix(firstOther);
        stage_ = Stage::Judging;
    }
    held_.append(bytes);
    advance(false, out);
}

void PageDecoder::advance(bool complete, std::string& out) {
    if (stage_ == Stage::Declaration) {
        // Once the byte order mark and the header have said nothing, only a tag that ends
        // (at ">") can declare the encoding: searching again before one would cost the square
        // of the head's size when it arrives a byte at a time.
        constexpr std::size_t kLongestMark = 3;
        const bool worthSearching =
            complete || searched_ < kLongestMark || held_.find('>', searched_) != std::string::npos;
        if (worthSearching) {
            if (auto declared = declaredEncoding(held_, contentType_)) {
                startDecoding(std::move(declared->encoding), declared->bomLength, out);
                return;
            }
            searched_ = held_.size();
        }
        if (!complete && held_.size() < kCharsetPrescanBytes) {
            return;
        }
        const std::size_t firstOther = skipAscii(held_, 0);
        out.append(held_, 0, firstOther);
        held_.erase(0, firstOther);
        stage_ = held_.empty() ? Stage::Ascii : Stage::Judging;
    }
    if (stage_ == Stage::Ascii) {
        if (complete) {
            startDecoding("UTF-8", 0, out);
        }
        return;
    }
    if (complete || held_.size() >= kCharsetPrescanBytes) {
        const std::string_view judged = std::string_view(held_).substr(0, kCharsetPrescanBytes);
        startDecoding(std::string(undeclaredEncoding(judged)), 0, out);
    }
}

void PageDecoder::startDecoding(std::string encoding, std::size_t skip, std::string& out) {
    decoder_.emplace(std::move(encoding));
    stage_ = Stage::Decoding;
    decoder_->decode(std::string_view(held_).substr(skip), out);
    held_.clear();
    held_.shrink_to_fit();
}

}  // namespace kestrova
