#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "content_coding.h"
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
    /// Months ("YYYY-MM") generated with another seed, as if the vendor had corrected them:
    /// their bytes, ETag and Last-Modified differ from an unchanged server's. The constructor
    /// throws std::invalid_argument for another form.
    std::vector<std::string> changedMonths;
    /// ETag and Last-Modified on data files, and 304 answers to conditional GETs.
    bool validators = true;
    /// Body bytes a second for all connections together (a slow link); 0: no limit.
    std::size_t bytesPerSecond = 0;
    /// Delay before each answer (a distant server).
    std::chrono::milliseconds latency{0};
    /// Generated pages kept ready (plain and compressed); a benchmark that walks many months
    /// twice keeps them all, so that page generation stays out of its figures.
    std::size_t cachedPages = 4;
    /// The racing authority's race lists (meeting-day pages) as the real site writes them:
    /// plain links "accessS.html?CNAME=code" instead of doAction calls, and on the odds lists
    /// only each race's win odds; the other odds are tabs of the win page.
    bool realRaceLists = false;
};

/// GET answers the body bytes sent so far, as decimal text, itself not counted (for
/// benchmarks that run the server as a program).
inline constexpr std::string_view kBytesSentPath = "/sample-server/bytes-sent";

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
    // A hostile server; all streamed:
    Repeat,       ///< the page's table `times` times in a row; 0: until the client goes away
                  ///< (at most 4 GiB), without a Content-Length
    HugeCell,     ///< the first record's resting-farm cell holds `bytes` bytes of text
    Truncate,     ///< only the first `bytes` bytes of the body, announced as the whole answer
    Trickle,      ///< the body `bytes` bytes at a time with `delay` between the pieces
    BadEncoding,  ///< claims Content-Encoding `coding` but sends the plain bytes
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
    int nth = 1;                   ///< DuplicateCode
    std::size_t times = 1;         ///< Repeat
    std::size_t bytes = 0;         ///< HugeCell, Truncate, Trickle
    Coding coding = Coding::Gzip;  ///< BadEncoding
};

/// The server cannot start: the address is taken or the certificate cannot be loaded.
class ServerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The vendor's member data server on loopback: version page, MAST.html, month and day
/// files, prepared files under /kestrova/data3/; and the racing authority's race cards,
/// results and odds for the same meeting days (race_authority.h). Runs on its own thread.
///
/// Text answers are compressed with gzip or deflate when the request's Accept-Encoding offers
/// them. Data files carry a strong ETag per representation (`"hash"`, `"hash-gzip"`,
/// `"hash-deflate"`, the hash of the plain bytes) and a Last-Modified shared by all of them;
/// a conditional GET that matches answers 304. Faults that change the answer send it plain and
/// without validators; faults in how the body travels (stall, cut, truncate, trickle) count
/// the bytes on the wire, compressed or not.
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

    /// Generates the month anew with another seed, again on each call: its bytes, ETag and
    /// Last-Modified change, other files stay as they are.
    void changeMonth(int year, int month);

    /// Number of requests answered for `path` so far.
    std::size_t requestCount(const std::string& path) const;
    /// Number of those answered 304 Not Modified.
    std::size_t notModifiedCount(const std::string& path) const;
    /// Body bytes handed to clients' connections since the server was made, as they go over
    /// the wire (compressed when compressed); a write that fails may count a piece too many.
    std::uint64_t bytesSent() const;
    /// The page codes posted to `path` so far, decoded, in order; "" for a POST without one.
    std::vector<std::string> postedCodes(const std::string& path) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrova::sample
