#include <gtest/gtest.h>

#include "command_line.h"

namespace kestrova::sample {
namespace {

using namespace std::chrono_literals;

TEST(SampleServerCommandLine, ReadsEveryOption) {
    const CommandLine cl = parseCommandLine({"--bind",      "0.0.0.0",
                                             "--port",      "8080",
                                             "--newest",    "2025-06",
                                             "--week-days", "20250607,20250608",
                                             "--seed",      "9",
                                             "--fault",     "/kestrova/data/MAST.html=status:503",
                                             "--print-ini", "--change-month",
                                             "2025-05",     "--change-month",
                                             "2024-12",     "--no-validators",
                                             "--rate",      "4000000",
                                             "--latency",   "80"});
    EXPECT_EQ(cl.server.bindAddress, "0.0.0.0");
    EXPECT_EQ(cl.server.port, 8080);
    EXPECT_EQ(cl.server.newestYear, 2025);
    EXPECT_EQ(cl.server.newestMonth, 6);
    EXPECT_EQ(cl.server.weekDays, (std::vector<std::string>{"20250607", "20250608"}));
    EXPECT_EQ(cl.server.seed, 9u);
    ASSERT_EQ(cl.faults.size(), 1u);
    EXPECT_EQ(cl.faults[0].status, 503);
    EXPECT_TRUE(cl.printIni);
    EXPECT_FALSE(cl.https);
    EXPECT_TRUE(cl.server.certFile.empty());
    EXPECT_EQ(cl.server.changedMonths, (std::vector<std::string>{"2025-05", "2024-12"}));
    EXPECT_FALSE(cl.server.validators);
    EXPECT_EQ(cl.server.bytesPerSecond, 4'000'000u);
    EXPECT_EQ(cl.server.latency, 80ms);
}

TEST(SampleServerCommandLine, HttpsUsesTheTestCertificateUnlessGivenOne) {
    const CommandLine plain = parseCommandLine({"--https"});
    EXPECT_EQ(plain.server.certFile.filename(), "server.pem");
    EXPECT_EQ(plain.server.keyFile.filename(), "server.key");
    const CommandLine own = parseCommandLine({"--cert", "/a.pem", "--key", "/a.key"});
    EXPECT_TRUE(own.https);
    EXPECT_EQ(own.server.certFile, "/a.pem");
}

TEST(SampleServerCommandLine, ReadsEachFaultKind) {
    const Fault slow = parseFault("/p=slow:250");
    EXPECT_EQ(slow.kind, FaultKind::Slow);
    EXPECT_EQ(slow.delay, 250ms);
    const Fault stall = parseFault("/p=stall:1000:2000");
    EXPECT_EQ(stall.kind, FaultKind::StallBody);
    EXPECT_EQ(stall.afterBytes, 1000u);
    EXPECT_EQ(stall.delay, 2000ms);
    const Fault cut = parseFault("/kestrova/tfdata2/TF2501.html=cut:10");
    EXPECT_EQ(cut.path, "/kestrova/tfdata2/TF2501.html");
    EXPECT_EQ(cut.kind, FaultKind::CutBody);
    EXPECT_EQ(cut.afterBytes, 10u);
    EXPECT_EQ(parseFault("/p=oversized:10001").rows, 10001u);
    EXPECT_EQ(parseFault("/p=notables").kind, FaultKind::NoTables);

    EXPECT_EQ(parseFault("/p=repeat:0").kind, FaultKind::Repeat);
    EXPECT_EQ(parseFault("/p=hugecell:1048576").bytes, 1048576u);
    EXPECT_EQ(parseFault("/p=truncate:5000").kind, FaultKind::Truncate);
    const Fault trickle = parseFault("/p=trickle:100:50");
    EXPECT_EQ(trickle.kind, FaultKind::Trickle);
    EXPECT_EQ(trickle.bytes, 100u);
    EXPECT_EQ(trickle.delay, 50ms);
    EXPECT_EQ(parseFault("/p=badencoding").coding, Coding::Gzip);
    EXPECT_EQ(parseFault("/p=badencoding:deflate").coding, Coding::Deflate);
}

TEST(SampleServerCommandLine, ReadsRaceAuthorityFaultsAndTheirPageCode) {
    const Fault status =
        parseFault("/JRADB/accessD.html@pw01drl00062026010220260110/FE=status:500");
    EXPECT_EQ(status.path, "/JRADB/accessD.html");
    EXPECT_EQ(status.pageCode, "pw01drl00062026010220260110/FE");
    EXPECT_EQ(status.status, 500);
    const Fault any = parseFault("/JRADB/accessO.html=slow:100");
    EXPECT_TRUE(any.pageCode.empty());
    EXPECT_EQ(parseFault("/p@c=nocodes").kind, FaultKind::NoCodes);
    EXPECT_EQ(parseFault("/p@c=unclosed").kind, FaultKind::UnclosedQuote);
    EXPECT_EQ(parseFault("/p@c=duplicate").nth, 1);
    const Fault third = parseFault("/p@c=duplicate:3");
    EXPECT_EQ(third.kind, FaultKind::DuplicateCode);
    EXPECT_EQ(third.nth, 3);
    EXPECT_EQ(parseFault("/p@c=unknowncode").kind, FaultKind::UnknownCode);
    EXPECT_EQ(parseFault("/p@c=reverseddays").kind, FaultKind::ReversedDays);
    const Fault redirect = parseFault("/JRADB/accessS.html=redirect:307");
    EXPECT_EQ(redirect.kind, FaultKind::Redirect);
    EXPECT_EQ(redirect.status, 307);
}

TEST(SampleServerCommandLine, RejectsBadArguments) {
    for (const std::vector<std::string_view>& args :
         std::vector<std::vector<std::string_view>>{{"--port"},
                                                    {"--port", "x"},
                                                    {"--port", "70000"},
                                                    {"--newest", "2025-13"},
                                                    {"--newest", "202506"},
                                                    {"--week-days", "20250631"},
                                                    {"--fault", "/p"},
                                                    {"--fault", "/p=status"},
                                                    {"--fault", "/p=status:99"},
                                                    {"--fault", "/p=melt"},
                                                    {"--fault", "p=notables"},
                                                    {"--fault", "/p@=nocodes"},
                                                    {"--fault", "/p=duplicate:0"},
                                                    {"--fault", "/p=redirect:303"},
                                                    {"--fault", "/p=redirect"},
                                                    {"--fault", "/p=repeat"},
                                                    {"--fault", "/p=hugecell:-1"},
                                                    {"--fault", "/p=trickle:0:10"},
                                                    {"--fault", "/p=trickle:10"},
                                                    {"--fault", "/p=badencoding:br"},
                                                    {"--change-month", "2025-13"},
                                                    {"--change-month", "25-01"},
                                                    {"--rate", "fast"},
                                                    {"--latency"},
                                                    {"--verbose"}}) {
        EXPECT_THROW(parseCommandLine(args), std::invalid_argument) << args[0];
    }
}

TEST(SampleServerCommandLine, SampleIniPointsAtTheServer) {
    EXPECT_EQ(sampleIni("127.0.0.1:8080", false),
              "[SYS_ENV]\r\nREVNIW=10\r\nMemberHost=127.0.0.1:8080\r\n"
              "PublicHost=127.0.0.1:8080\r\nRaceAuthorityHost=http://127.0.0.1:8080\r\n");
    const std::string tls = sampleIni("127.0.0.1:8443", true);
    EXPECT_NE(tls.find("REVNIW=9\r\n"), std::string::npos);
    EXPECT_NE(tls.find("RaceAuthorityHost=https://127.0.0.1:8443\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrova::sample
