#include "tls_server.h"

#include <httplib.h>

#include "sample_server.h"

namespace kestrova::sample {

bool tlsAvailable() {
    return true;
}

std::unique_ptr<httplib::Server> makeTlsServer(const std::filesystem::path& certFile,
                                               const std::filesystem::path& keyFile) {
    auto tls = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    if (!tls->is_valid()) {
        throw ServerError("cannot load certificate " + certFile.string());
    }
    return tls;
}

}  // namespace kestrova::sample
