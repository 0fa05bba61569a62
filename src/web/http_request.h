#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"

namespace kestrova {

enum class HttpErrorKind {
    Creation,         ///< the transport could not be created
    Timeout,          ///< connect, send or receive time-out
    NameNotResolved,  ///< host name not resolved
    CannotConnect,    ///< connection refused or unreachable
    Tls,              ///< TLS handshake or certificate failure
    Transport,        ///< any other failure, a body cut mid-way included
};

/// A request that did not get a complete answer. HTTP statuses are not errors.
class HttpError : public Error {
  public:
    HttpError(HttpErrorKind kind, const std::string& description, std::string detail = {})
        : Error(description, std::move(detail)), kind_(kind) {}
    HttpErrorKind kind() const { return kind_; }

  private:
    HttpErrorKind kind_;
};

/// Connections, name look-ups and TLS sessions that requests made with the same options
/// share: a run of many downloads from one server opens one connection, not one each.
class ConnectionShare {
  public:
    ConnectionShare();
    ~ConnectionShare();
    ConnectionShare(const ConnectionShare&) = delete;
    ConnectionShare& operator=(const ConnectionShare&) = delete;

    struct Impl;
    Impl& impl() { return *impl_; }

  private:
    std::unique_ptr<Impl> impl_;
};

/// Request settings. The defaults are those of the platform's request object; tests may
/// shorten the time-outs, users cannot change them.
struct HttpOptions {
    std::chrono::milliseconds connectTimeout{60'000};
    /// Longest time without any byte sent or received once connected.
    std::chrono::milliseconds sendTimeout{30'000};
    std::chrono::milliseconds receiveTimeout{30'000};
    /// A transfer slower than `lowSpeedBytesPerSecond` on average over `lowSpeedTime` ends
    /// as a time-out: a server that sends a byte now and then never trips the idle time-outs
    /// but would keep a run waiting for ever.
    long lowSpeedBytesPerSecond = 1024;
    std::chrono::seconds lowSpeedTime{60};
    /// An extra trusted CA bundle (tests); certificates are always verified.
    std::filesystem::path extraCaFile;
    /// Called at least every 50 ms while a transfer runs, so a window stays responsive.
    std::function<void()> breathe;
    /// Shared by the requests of one front end; none: each request connects anew.
    std::shared_ptr<ConnectionShare> share;
    /// Offer gzip and deflate (tests compare the plain answers).
    bool offerCompression = true;
};

/// A body larger than its reader takes.
class BodyTooLargeError : public Error {
  public:
    using Error::Error;
};

/// The most of a body that a reader takes. It counts the body while it arrives, after
/// inflating (a small compressed body may inflate without end), so the transfer ends at the
/// limit instead of after the whole body is held.
class BodyLimit {
  public:
    /// `what` names the body in the message, `source` (if any) where it came from.
    BodyLimit(std::size_t maxBytes, std::string_view what, std::string_view source = {});
    /// Counts `bytes` more of the body. Past the limit throws BodyTooLargeError
    /// "<what>が大きすぎます（上限 N MB）。(<source>)".
    void count(std::size_t bytes);
    std::size_t maxBytes() const { return maxBytes_; }

  private:
    std::size_t maxBytes_;
    std::size_t counted_ = 0;
    std::string what_;
    std::string source_;
};

/// Receives an answer while it arrives, instead of buffering it.
class BodySink {
  public:
    virtual ~BodySink() = default;
    /// Called once, when the status line and headers are in, before any body bytes.
    virtual void onResponseStart(int status, std::string_view contentType) = 0;
    /// Called for every piece of the body, in order.
    virtual void onBody(std::string_view chunk) = 0;
};

/// The request object: Open once, then send (repeatably) and read Status and the body.
/// Synchronous: send returns when the answer is complete or throws HttpError.
///
/// Every request offers gzip and deflate; a compressed answer is inflated while it arrives,
/// so the body a caller sees is the page itself (unless it asks for the bytes as sent). A
/// body that does not inflate as its Content-Encoding says throws ContentEncodingError.
class HttpRequest {
  public:
    explicit HttpRequest(HttpOptions options);
    HttpRequest(HttpRequest&&) noexcept;
    HttpRequest& operator=(HttpRequest&&) noexcept;
    ~HttpRequest();

    /// Only synchronous requests exist; `async` must be false.
    void Open(std::string_view method, std::string_view url, bool async = false);
    void setRequestHeader(std::string_view name, std::string_view value);
    /// With false, the body reaches the caller as it came over the wire, still compressed;
    /// the caller reads Content-Encoding itself. True by default; kept across sends.
    void setContentDecoding(bool decode);
    /// Sends the opened request and buffers the answer's body up to `limit`; a larger body
    /// ends the transfer with BodyTooLargeError.
    void send(std::string_view body, BodyLimit limit);
    /// Sends the opened request and streams the answer's body into `sink`.
    void send(std::string_view body, BodySink& sink);

    /// HTTP status of the last answer; 0 before any answer.
    int Status() const;
    /// Body of the last buffered answer, as bytes.
    const std::string& responseBody() const;
    /// Content-Type header of the last answer ("" when none).
    const std::string& contentType() const;
    /// A header of the last answer (the final one after redirects), "" when it has none.
    /// Available from the sink's onResponseStart on.
    std::string responseHeader(std::string_view name) const;
    /// Body bytes received over the wire by the last send (before inflating).
    std::uint64_t bytesReceived() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The one place that creates request objects. Throws HttpError(Creation) with the four
/// Japanese lines of the creation failure when the transport cannot be set up.
HttpRequest CreateHttpRequest(HttpOptions options = {});

/// Decodes `bytes` as UTF-8; invalid sequences become U+FFFD. The result is UTF-8.
std::string UTF8_to_UNICODE(std::string_view bytes);

}  // namespace kestrova
