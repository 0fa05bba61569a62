#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "services/core_context.h"
#include "services/server_master.h"
#include "support/member_server_fixture.h"

namespace kestrova {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kMasterPage = "/kestrova/data/MAST.html";

std::string table(std::initializer_list<std::pair<std::string, std::string>> rows) {
    std::string html = "<table>";
    for (const auto& [key, value] : rows) {
        html += "<tr><td>" + key + "</td><td>" + value + "</td></tr>";
    }
    return html + "</table>\n";
}

std::string page(const std::string& body) {
    return "<html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

class GetMastTest : public test::MemberServerFixture {
  protected:
    std::string lookUp(const std::string& body, std::string_view key = "2") {
        server.setPage(kMasterPage, page(body), "text/html");
        return GetMast(ctx, key);
    }
};

TEST_F(GetMastTest, FirstMatchInATableAndTheLastTableWins) {
    EXPECT_EQ(lookUp(table({{"1", "x"}, {"2", "0"}, {"2", "1"}})), "0");
    EXPECT_EQ(lookUp(table({{"2", "0"}}) + table({{"2", "1"}})), "1");
    EXPECT_EQ(lookUp(table({{"2", "0"}}) + table({{"3", "1"}})), "0");
    EXPECT_EQ(lookUp(table({{"1", "x"}}), "1"), "x");
    EXPECT_THAT(ui.warnings, IsEmpty());
}

TEST_F(GetMastTest, KeysAreTrimmedOfSpacesAndComparedExactly) {
    EXPECT_EQ(lookUp(table({{" 2 ", " 1 "}})), "1");
    EXPECT_EQ(lookUp(table({{"２", "1"}})), "");
    EXPECT_EQ(lookUp(table({{"2", "1"}}), "02"), "");
    EXPECT_EQ(lookUp(table({{"a", "1"}}), "A"), "");
}

TEST_F(GetMastTest, NoTableOrNoKeyGivesEmptyTextWithoutWarning) {
    EXPECT_EQ(lookUp("<p>メンテナンス中</p>"), "");
    server.addFault({.path = kMasterPage, .kind = sample::FaultKind::Status, .status = 404});
    EXPECT_EQ(GetMast(ctx, "2"), "");
    EXPECT_THAT(ui.warnings, IsEmpty());
    const std::vector<std::string> oneCall{"GetMast", "GetMast1", "GetMast2", "GetMast3"};
    std::vector<std::string> twoCalls = oneCall;
    twoCalls.insert(twoCalls.end(), oneCall.begin(), oneCall.end());
    EXPECT_EQ(traced(), twoCalls);
}

TEST_F(GetMastTest, MalformedRowsWarnAndKeepTheValueSoFar) {
    // A row without cells is reached before the key in the second table.
    EXPECT_EQ(lookUp(table({{"2", "1"}}) + "<table><tr></tr><tr><td>2</td><td>0</td></tr></table>"),
              "1");
    // The matching row has no value cell.
    EXPECT_EQ(lookUp("<table><tr><td>2</td></tr></table>"), "");
    ASSERT_EQ(ui.warnings.size(), 2u);
    for (const auto& warning : ui.warnings) {
        EXPECT_THAT(warning, StartsWith("GetMast<<"));
    }
    EXPECT_THAT(logText(), HasSubstr("[ERROR] GetMast<<"));

    // Rows after the match are not looked at, so an empty one there is harmless.
    EXPECT_EQ(lookUp("<table><tr><td>2</td><td>0</td></tr><tr></tr></table>"), "0");
    EXPECT_EQ(ui.warnings.size(), 2u);
}

TEST_F(GetMastTest, NoServerWarnsAndGivesEmptyText) {
    server.stop();
    EXPECT_EQ(GetMast(ctx, "2"), "");
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_THAT(ui.warnings[0], StartsWith("GetMast<<"));
    EXPECT_THAT(ui.warnings[0], HasSubstr("接続"));
}

TEST(MasterProbe, AcceptsExactlyZeroOrOne) {
    EXPECT_TRUE(masterProbeAccepted("0"));
    EXPECT_TRUE(masterProbeAccepted("1"));
    for (const char* value : {"", "2", "00", " 1", "０", "true"}) {
        EXPECT_FALSE(masterProbeAccepted(value)) << value;
    }
}

}  // namespace
}  // namespace kestrova
