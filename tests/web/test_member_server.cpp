#include <gtest/gtest.h>

#include "web/member_server.h"

namespace kestrova {
namespace {

TEST(MemberServer, PlainHttpOnlyForTheSettingTen) {
    EXPECT_EQ(MemberServer("example.jp", "10").scheme(), "http://");
    for (const char* setting : {"9", "", "010", "10 ", "1"}) {
        EXPECT_EQ(MemberServer("example.jp", setting).scheme(), "https://") << setting;
    }
}

TEST(MemberServer, BuildsEveryAddressOnTheHost) {
    const MemberServer server("example.jp:8443", "9");
    EXPECT_EQ(server.versionPageUrl(),
              "https://example.jp:8443/kestrova/verchk/mst/KestrovaVerMN.html");
    EXPECT_EQ(server.masterPageUrl(), "https://example.jp:8443/kestrova/data/MAST.html");
    EXPECT_EQ(server.dataFileUrl("TF250105.html"),
              "https://example.jp:8443/kestrova/tfdata2/TF250105.html");
    EXPECT_EQ(server.preparedFileUrl("P0105.txt"),
              "https://example.jp:8443/kestrova/data3/P0105.txt");
}

}  // namespace
}  // namespace kestrova
