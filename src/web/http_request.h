#pragma once

#include <chrono>
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
class HttpRequest {
  public:
    explicit HttpRequest(HttpOptions options);
    HttpRequest(HttpRequest&&) noexcept;
    HttpRequest& operator=(HttpRequest&&) noexcept;
    ~HttpRequest();

    /// Only synchronous requests exist; `async` must be false.
    void Open(std::string_view method, std::string_view url, bool async = false);
    void setRequestHeader(std::string_view name, std::string_view value);
    /// Sends the opened request and buffers the answer's body.
    void send(std::string_view body = {});
    /// Sends the opened request and streams the answer's body into `sink`.
    void send(std::string_view body, BodySink& sink);

    /// HTTP status of the last answer; 0 before any answer.
    int Status() const;
    /// Body of the last buffered answer, as bytes.
    const std::string& responseBody() const;
    /// Content-Type header of the last answer ("" when none).
    const std::string& contentType() const;

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
