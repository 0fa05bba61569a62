#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/charset_converter.h"

namespace kestrova {

/// Converts bytes of one encoding to UTF-8 piece by piece. A byte sequence that is not in
/// the encoding becomes U+FFFD and decoding goes on; a sequence split between two pieces is
/// joined.
class TextDecoder {
  public:
    /// `encoding` as CharsetConverter names it. Throws Error when the system cannot convert from
    /// it.
    explicit TextDecoder(std::string encoding);
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    const std::string& encoding() const { return encoding_; }
    /// Appends the UTF-8 text of `bytes` to `out`.
    void decode(std::string_view bytes, std::string& out);
    /// The input ended: a sequence still incomplete becomes U+FFFD.
    void finish(std::string& out);

  private:
    void convert(std::string_view bytes, std::string& out);
    void convertRun(std::string_view run, bool runEndsInput, std::string& out);

    std::string encoding_;
    std::optional<CharsetConverter> converter_;  ///< none for UTF-8
    bool utf8_ = false;
    bool cp932_ = false;
    std::string carry_;  ///< start of a sequence the next piece completes
    std::string joined_;
};

/// Turns the body of an HTML answer into UTF-8 while it arrives, deciding its encoding as a
/// browser does (see declaredEncoding and undeclaredEncoding). NUL becomes U+FFFD. Bytes are held
/// back only until the encoding is known; a page that declares nothing and begins with plain ASCII
/// is judged by its first non-ASCII bytes, since ASCII reads the same in every candidate.
class PageDecoder {
  public:
    explicit PageDecoder(std::string contentType);

    /// Appends the UTF-8 text of `bytes` to `out`.
    void decode(std::string_view bytes, std::string& out);
    /// The body ended: decides if still undecided and flushes everything held.
    void finish(std::string& out);
    /// The encoding decided so far, "" while undecided.
    std::string encoding() const;

  private:
    enum class Stage { Declaration, Ascii, Judging, Decoding };

    void decodeInto(std::string_view bytes, std::string& out);
    void advance(bool complete, std::string& out);
    void startDecoding(std::string encoding, std::size_t skip, std::string& out);

    std::string contentType_;
    Stage stage_ = Stage::Declaration;
    std::string held_;
    /// held_'s size when it was last searched for a declaration in vain.
    std::size_t searched_ = 0;
    std::optional<TextDecoder> decoder_;
};

}  // namespace kestrova
