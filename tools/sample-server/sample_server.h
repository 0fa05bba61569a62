#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sample_data.h"

namespace kestrova::sample {

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    int port = 0;  ///< 0: a free port
    /// TLS with this certificate and key; empty: plain http.
    std::filesystem::path certFile;
    std::filesystem::path keyFile;
    /// Newest month file served (TFyymm.html); older months back to 2010-01 exist too.
    int newestYear = 0;  ///< 0: the month before today
    int newestMonth = 0;
    /// Day files served (yyyymmdd); empty: this week's meeting days by the calendar. The
    /// racing authority's pages show the same days.
    std::vector<std::string> weekDays;
    std::uint32_t seed = 1;
};

enum class FaultKind {
    Status,          ///< answer with `status` and a small page
    Slow,            ///< wait `delay` before answering
    StallBody,       ///< send `afterBytes` of the body, then stall for `delay`
    CutBody,         ///< send `afterBytes` of the body, then close the connection
    OversizedTable,  ///< a data page of `rows` rows (header included)
    NoTables,        ///< a page without any table
    // Racing-authority top and meeting-day pages:
    NoCodes,        ///< the page lists no page codes
    UnclosedQuote,  ///< the last code on the page misses its closing quote
    DuplicateCode,  ///< the code at position `nth` (from 1) is listed twice
    UnknownCode,    ///< a well-formed code the site does not know follows the first code
    ReversedDays,   ///< a top page lists this week's days latest first
    // Racing-authority entry paths:
    Redirect,  ///< answer `status` (301, 302, 307, 308) to the same path under kMovedPrefix
};

struct Fault {
    std::string path;  ///< e.g. "/kestrova/tfdata2/TF2507.html" or "/JRADB/accessD.html"
    /// Racing-authority pages: only a POST of this code; empty: any request to `path`. A fault
    /// on an entry path holds for the same path under kMovedPrefix too, except a Redirect.
    /// The braces let designated initializers leave it out without a warning.
    std::string pageCode{};
    FaultKind kind = FaultKind::Status;
    int status = 500;
    std::chrono::milliseconds delay{0};
    std::size_t afterBytes = 0;
    std::size_t rows = 10001;
    int nth = 1;  ///< DuplicateCode
};

/// The server cannot start: the address is taken or the certificate cannot be loaded.
class ServerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The vendor's member data server on loopback: version page, MAST.html, month and day
/// files, prepared files under /kestrova/data3/; and the racing authority's race cards,
/// results and odds for the same meeting days (race_authority.h). Runs on its own thread.
class SampleServer {
  public:
    explicit SampleServer(ServerOptions options = {});
    ~SampleServer();
    SampleServer(const SampleServer&) = delete;
    SampleServer& operator=(const SampleServer&) = delete;

    /// Starts listening; returns when the server accepts connections. Throws ServerError.
    void start();
    void stop();

    int port() const;
    /// "127.0.0.1:port", as the settings file names the host.
    std::string hostPort() const;

    /// Replaces what `path` answers: a fixed body with this content type.
    void setPage(const std::string& path, std::string body, std::string contentType);
    /// Serves `file` as the data file `fileName` (e.g. "TF2501.html") instead of generated data.
    void setDataFile(const std::string& fileName, DataFile file, Charset charset = Charset::Cp932);
    /// Replaces what a POST of `pageCode` (the "cname" of the form) to `path` answers.
    void setPostPage(const std::string& path, const std::string& pageCode, std::string body,
                     std::string contentType);
    /// Makes a data file (e.g. "TF2508.html") answer 404.
    void removeDataFile(const std::string& fileName);
    void addFault(Fault fault);
    void clearFaults();

    /// Number of requests answered for `path` so far.
    std::size_t requestCount(const std::string& path) const;
    /// The page codes posted to `path` so far, decoded, in order; "" for a POST without one.
    std::vector<std::string> postedCodes(const std::string& path) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrova::sample
