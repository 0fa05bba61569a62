#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/errors.h"

namespace kestrova {

/// A body that does not inflate as its Content-Encoding says, or that ends before its
/// compressed stream does.
class ContentEncodingError : public Error {
  public:
    using Error::Error;
};

/// Undoes the Content-Encoding of an HTTP body piece by piece: "gzip" (or "x-gzip"),
/// "deflate" (zlib, as HTTP means it, or raw, as some servers send it) and "identity" or
/// none, which passes through.
class ContentDecoder {
  public:
    /// Throws ContentEncodingError for an encoding it does not know.
    explicit ContentDecoder(std::string_view contentEncoding);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    /// True when the body is compressed.
    bool inflates() const { return static_cast<bool>(zlib_); }

    /// Appends the decoded bytes of `piece` to `out`.
    void decode(std::string_view piece, std::string& out);
    /// The body ended: a compressed stream must have ended with it.
    void finish();

  private:
    struct Zlib;
    std::unique_ptr<Zlib> zlib_;
};

}  // namespace kestrova
