// Where the sample server has no TLS (Windows), its TLS tests say so.

#include <gtest/gtest.h>

#include "tls_server.h"

namespace kestrova::sample {
namespace {

TEST(SampleServerTls, NeedsTheSampleServersTls) {
    ASSERT_FALSE(tlsAvailable());
    GTEST_SKIP() << kNoTlsServer;
}

}  // namespace
}  // namespace kestrova::sample
