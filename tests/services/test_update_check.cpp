#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "services/core_context.h"
#include "services/update_check.h"
#include "support/member_server_fixture.h"

namespace kestrova {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kVersionPage = "/kestrova/verchk/mst/KestrovaVerMN.html";

std::string row(const std::vector<std::string>& cells) {
    std::string html = "<tr>";
    for (const auto& cell : cells) {
        html += "<td>" + cell + "</td>";
    }
    return html + "</tr>\n";
}

std::string page(const std::vector<std::string>& tables) {
    std::string html = "<html><head><meta charset=\"utf-8\"></head><body>\n";
    for (const auto& rows : tables) {
        html += "<table>\n" + rows + "</table>\n";
    }
    return html + "</body></html>\n";
}

std::string versionRow(const std::string& stamp) {
    return row({"Kestrova", "1.0.3", stamp, "kestrova", "1.0.3", "setup.zip"});
}

class VerChkTest : public test::MemberServerFixture {
  protected:
    bool check() { return VerChk(ctx, result); }

    UpdateCheck result;
};

TEST_F(VerChkTest, OffersOnlyAStampThatSortsAfterTheBuildStamp) {
    struct Case {
        const char* stamp;
        bool offer;
    };
    // Plain text order: the one-character "3" sorts after "2015100201".
    for (const auto& c : {Case{"2015100201", false}, Case{"2015100202", true},
                          Case{"2015100200", false}, Case{"3", true}}) {
        SCOPED_TRACE(c.stamp);
        server.setPage(kVersionPage, page({versionRow(c.stamp)}), "text/html");
        EXPECT_TRUE(check());
        EXPECT_EQ(result.UpdateInfo[2], c.stamp);
        EXPECT_EQ(result.UpdateAvailable, c.offer);
    }
    EXPECT_THAT(ui.warnings, IsEmpty());
}

TEST_F(VerChkTest, LastRowOfTheLastTableCountsTrimmedOfSpacesOnly) {
    server.setPage(kVersionPage,
                   page({versionRow("2099010101"),
                         versionRow("2015010101") + row({"x", " 1.2.0 ", "2016020301", "upd",
                                                         "\xE3\x80\x80"
                                                         "a",
                                                         "b c"})}),
                   "text/html");
    EXPECT_TRUE(check());
    EXPECT_EQ(result.UpdateInfo[1], "1.2.0");
    EXPECT_EQ(result.UpdateInfo[4],
              "\xE3\x80\x80"
              "a");  // a full-width space stays
    EXPECT_TRUE(result.UpdateAvailable);
    EXPECT_EQ(updaterArguments(result),
              "upd,\xE3\x80\x80"
              "a,b c");
}

TEST_F(VerChkTest, HeaderLikeLastRowIsWhatCounts) {
    server.setPage(
        kVersionPage,
        page({versionRow("2015100202") + row({"名称", "版", "日付", "引数1", "引数2", "引数3"})}),
        "text/html");
    EXPECT_TRUE(check());
    EXPECT_EQ(result.UpdateInfo[1], "版");
    EXPECT_EQ(result.UpdateInfo[2], "日付");
}

TEST_F(VerChkTest, PageWithoutTablesOrAnErrorPageOffersNothingQuietly) {
    server.setPage(kVersionPage, "<html><body><p>準備中</p></body></html>", "text/html");
    EXPECT_TRUE(check());
    EXPECT_EQ(result.UpdateInfo[2], "");
    EXPECT_FALSE(result.UpdateAvailable);

    server.addFault({.path = kVersionPage, .kind = sample::FaultKind::Status, .status = 404});
    EXPECT_TRUE(check());
    EXPECT_FALSE(result.UpdateAvailable);
    EXPECT_THAT(ui.warnings, IsEmpty());
}

TEST_F(VerChkTest, RowWithFiveCellsIsAWarningAndNoOffer) {
    server.setPage(kVersionPage,
                   page({row({"a", "1.0.3", "2099010101", "x", "y"}), versionRow("2099010101")}),
                   "text/html");
    EXPECT_FALSE(check());
    EXPECT_FALSE(result.UpdateAvailable);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_THAT(ui.warnings[0], StartsWith("VerChk<<"));
    EXPECT_THAT(ui.warnings[0], HasSubstr(">>"));
    EXPECT_THAT(logText(), HasSubstr("[ERROR] VerChk<<"));
}

TEST_F(VerChkTest, NoServerIsAWarningAndNoOffer) {
    server.stop();
    EXPECT_FALSE(check());
    EXPECT_FALSE(result.UpdateAvailable);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_THAT(ui.warnings[0], StartsWith("VerChk<<"));
    EXPECT_THAT(ui.warnings[0], HasSubstr(server.hostPort()));
}

TEST_F(VerChkTest, AVersionPageFarLargerThanOneIsAWarningNotAMemoryBill) {
    // 24 MB of nothing after the table: a few kilobytes when the server compresses it.
    server.setPage(kVersionPage,
                   page({versionRow("2099010101")}) + std::string(std::size_t{24} << 20, ' '),
                   "text/html");
    EXPECT_FALSE(check());
    EXPECT_FALSE(result.UpdateAvailable);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_THAT(ui.warnings[0], HasSubstr("ページが大きすぎます（上限 4 MB）"));
}

TEST_F(VerChkTest, LogsEachStepAtTraceLevel) {
    server.setPage(kVersionPage, page({versionRow("2015100201")}), "text/html");
    EXPECT_TRUE(check());
    EXPECT_EQ(traced(), (std::vector<std::string>{"VerChk", "VerChk1", "VerChk2", "VerChk3"}));
}

}  // namespace
}  // namespace kestrova
