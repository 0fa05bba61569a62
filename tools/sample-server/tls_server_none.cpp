#include <httplib.h>

#include "sample_server.h"
#include "tls_server.h"

namespace kestrova::sample {

bool tlsAvailable() {
    return false;
}

std::unique_ptr<httplib::Server> makeTlsServer(const std::filesystem::path&,
                                               const std::filesystem::path&) {
    throw ServerError("this sample server was built without TLS (no OpenSSL on this system)");
}

}  // namespace kestrova::sample
