// The sample server over TLS, where it is built with OpenSSL (not on Windows).

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

#include "june_week.h"
#include "sample_server.h"

namespace kestrova::sample {
namespace {

TEST(SampleServerTls, ServesOverTlsWithTheTestCa) {
    ServerOptions options = juneOptions();
    options.certFile = std::string(KESTROVA_SAMPLE_CERTS) + "/server.pem";
    options.keyFile = std::string(KESTROVA_SAMPLE_CERTS) + "/server.key";
    SampleServer server(options);
    server.start();

    for (const char* host : {"127.0.0.1", "localhost"}) {
        httplib::SSLClient trusting(host, server.port());
        trusting.set_ca_cert_path((std::string(KESTROVA_SAMPLE_CERTS) + "/ca.pem").c_str());
        trusting.enable_server_certificate_verification(true);
        auto res = trusting.Get("/kestrova/data/MAST.html");
        ASSERT_TRUE(res) << host << ": " << httplib::to_string(res.error());
        EXPECT_EQ(res->status, 200);
    }

    httplib::SSLClient strict("127.0.0.1", server.port());
    strict.set_ca_cert_path((std::string(KESTROVA_SAMPLE_CERTS) + "/untrusted.pem").c_str());
    strict.enable_server_certificate_verification(true);
    auto refused = strict.Get("/kestrova/data/MAST.html");
    EXPECT_FALSE(refused);
}

TEST(SampleServerTls, UntrustedCertificateIsRefused) {
    ServerOptions options = juneOptions();
    options.certFile = std::string(KESTROVA_SAMPLE_CERTS) + "/untrusted.pem";
    options.keyFile = std::string(KESTROVA_SAMPLE_CERTS) + "/untrusted.key";
    SampleServer server(options);
    server.start();
    httplib::SSLClient c("127.0.0.1", server.port());
    c.set_ca_cert_path((std::string(KESTROVA_SAMPLE_CERTS) + "/ca.pem").c_str());
    c.enable_server_certificate_verification(true);
    auto res = c.Get("/kestrova/data/MAST.html");
    ASSERT_FALSE(res);
    EXPECT_EQ(res.error(), httplib::Error::SSLServerVerification);
}

TEST(SampleServerTls, MissingCertificateFailsToStart) {
    ServerOptions options = juneOptions();
    options.certFile = "/nonexistent/server.pem";
    options.keyFile = "/nonexistent/server.key";
    SampleServer server(options);
    EXPECT_THROW(server.start(), std::runtime_error);
}

}  // namespace
}  // namespace kestrova::sample
