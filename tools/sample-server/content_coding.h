#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "streamed_body.h"

namespace kestrova::sample {

/// HTTP content codings; Deflate is the zlib format (RFC 1950), as HTTP clients expect it.
enum class Coding { Identity, Gzip, Deflate };

/// "gzip", "deflate" or "identity".
std::string_view codingName(Coding coding);

/// The coding for a request with these Accept-Encoding values (joined with commas; empty when
/// none was sent): gzip or deflate by their q-values, gzip on a tie, identity when neither is
/// acceptable or identity is explicitly preferred.
Coding chooseCoding(std::string_view acceptEncoding);

/// A page's bytes with what is derived from them once: a hash for its validator and the
/// compressed data, made on first use and shared by the gzip and deflate forms.
class Content {
  public:
    explicit Content(std::string plain);
    Content(const Content&) = delete;
    Content& operator=(const Content&) = delete;

    const std::string& plain() const { return plain_; }
    /// 16 hex digits from CRC-32 and Adler-32 of the plain bytes.
    std::string hash() const;
    /// Raw deflate data of the plain bytes; compressed on the first call.
    const std::string& deflated() const;

  private:
    friend StreamedBody encodedBody(const std::shared_ptr<const Content>&, Coding);

    std::string plain_;
    std::uint32_t crc_ = 0;
    std::uint32_t adler_ = 0;
    mutable std::once_flag deflateOnce_;
    mutable std::string deflated_;
};

/// The plain bytes as text a StreamedBody can hold; it keeps the content alive.
StreamedBody::Text plainText(const std::shared_ptr<const Content>& content);

/// The body of `content` in `coding`: the compressed data between the format's header and
/// trailer, or the plain bytes.
StreamedBody encodedBody(const std::shared_ptr<const Content>& content, Coding coding);

}  // namespace kestrova::sample
