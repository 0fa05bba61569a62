#pragma once

#include <filesystem>
#include <memory>

namespace httplib {
class Server;
}

namespace kestrova::sample {

/// False where the sample server was built without TLS (Windows: no OpenSSL there).
bool tlsAvailable();
/// Why a test of HTTPS skips then.
inline constexpr const char* kNoTlsServer =
    "the sample server has no TLS on Windows (no OpenSSL there): HTTPS is not served";

/// An HTTPS server with the certificate and key. Throws ServerError when they cannot be
/// loaded or TLS is not available.
std::unique_ptr<httplib::Server> makeTlsServer(const std::filesystem::path& certFile,
                                               const std::filesystem::path& keyFile);

}  // namespace kestrova::sample
