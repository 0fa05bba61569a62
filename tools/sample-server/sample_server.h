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
    /// Day files served (yyyymmdd); empty: this week's meeting days by the calendar.
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
};

struct Fault {
    std::string path;  ///< e.g. "/kestrova/tfdata2/TF2507.html"
    FaultKind kind = FaultKind::Status;
    int status = 500;
    std::chrono::milliseconds delay{0};
    std::size_t afterBytes = 0;
    std::size_t rows = 10001;
};

/// The server cannot start: the address is taken or the certificate cannot be loaded.
class ServerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The vendor's member data server on loopback: version page, MAST.html, month and day
/// files, prepared files under /kestrova/data3/. Runs on its own thread.
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
    /// Makes a data file (e.g. "TF2508.html") answer 404.
    void removeDataFile(const std::string& fileName);
    void addFault(Fault fault);
    void clearFaults();

    /// Number of requests answered for `path` so far.
    std::size_t requestCount(const std::string& path) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrova::sample
