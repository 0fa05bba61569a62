#include "services/update_check.h"

#include <string>

#include "base/errors.h"
#include "base/text.h"
#include "services/core_context.h"
#include "services/server_page.h"
#include "web/html_tables.h"

namespace kestrova {

namespace {

constexpr std::size_t kCells = 6;

// Reads the page's rows in document order; the last row read is what counts.
std::array<std::string, kCells> lastRow(const std::vector<HtmlTable>& tables) {
    std::array<std::string, kCells> info;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const auto& rows = tables[t].rows;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const auto& cells = rows[r];
            if (cells.size() < kCells) {
                throw Error("バージョン情報の行のセルが足りません。(表 " + std::to_string(t + 1) +
                            "、行 " + std::to_string(r + 1) + "、セル " +
                            std::to_string(cells.size()) + " 個)");
            }
            for (std::size_t c = 0; c < kCells; ++c) {
                info[c] = trimSpaces(cells[c]);
            }
        }
    }
    return info;
}

}  // namespace

bool VerChk(CoreContext& ctx, UpdateCheck& result) {
    result = UpdateCheck{};
    const bool read = readServerPage(ctx, "VerChk", ctx.memberServer.versionPageUrl(),
                                     [&result](const std::vector<HtmlTable>& tables) {
                                         result.UpdateInfo = lastRow(tables);
                                         result.UpdateAvailable = result.UpdateInfo[2] > BuildStamp;
                                     });
    if (!read) {
        result.UpdateAvailable = false;
    }
    return read;
}

std::string updaterArguments(const UpdateCheck& check) {
    return check.UpdateInfo[3] + "," + check.UpdateInfo[4] + "," + check.UpdateInfo[5];
}

}  // namespace kestrova
