#include "services/server_master.h"

#include <string>

#include "base/errors.h"
#include "base/text.h"
#include "services/core_context.h"
#include "services/server_page.h"
#include "web/html_tables.h"

namespace kestrova {

namespace {

std::string position(std::size_t table, std::size_t row) {
    return "(表 " + std::to_string(table + 1) + "、行 " + std::to_string(row + 1) + ")";
}

// The first matching row of a table gives its value; a later table overrides an earlier one.
// `value` holds what was found so far when a malformed row ends the walk.
void lookUp(const std::vector<HtmlTable>& tables, std::string_view key, std::string& value) {
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const auto& rows = tables[t].rows;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const auto& cells = rows[r];
            if (cells.empty()) {
                throw Error("サーバーマスターの表にセルのない行があります。" + position(t, r));
            }
            if (trimSpaces(cells[0]) != key) {
                continue;
            }
            if (cells.size() < 2) {
                throw Error("サーバーマスターの行に値のセルがありません。" + position(t, r));
            }
            value = trimSpaces(cells[1]);
            break;
        }
    }
}

}  // namespace

std::string GetMast(CoreContext& ctx, std::string_view key) {
    std::string value;
    readServerPage(ctx, "GetMast", ctx.memberServer.masterPageUrl(),
                   [&](const std::vector<HtmlTable>& tables) { lookUp(tables, key, value); });
    return value;
}

bool masterProbeAccepted(std::string_view value) {
    return value == "0" || value == "1";
}

}  // namespace kestrova
