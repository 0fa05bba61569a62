#include "export/day_rows.h"

#include "export/race_keys.h"
#include "export/records_table.h"

namespace kestrova {

namespace {
constexpr std::size_t kRaceKeyColumn = 1;
}

RowList recordRowsOfDay(const RecordsTable& table, std::string_view dayKey) {
    RowList rows;
    const std::size_t end = table.recordEnd();
    for (std::size_t row = 1; row < end; ++row) {
        const std::string_view raceKey = table.cell(row, kRaceKeyColumn);
        if (dayKeyOf(raceKey) == dayKey && isValidRaceKey(raceKey)) {
            rows.push_back(static_cast<std::uint32_t>(row));
        }
    }
    return rows;
}

std::size_t countInvalidRecords(const RecordsTable& table) {
    std::size_t invalid = 0;
    const std::size_t end = table.recordEnd();
    for (std::size_t row = 1; row < end; ++row) {
        if (!isValidRaceKey(table.cell(row, kRaceKeyColumn))) {
            ++invalid;
        }
    }
    return invalid;
}

std::vector<std::string> dayKeyList(const RecordsTable& table, std::string_view headerKey) {
    std::vector<std::string> keys{std::string(headerKey)};
    const std::size_t end = table.recordEnd();
    for (std::size_t row = 1; row < end; ++row) {
        const std::string_view raceKey = table.cell(row, kRaceKeyColumn);
        if (!isValidRaceKey(raceKey)) {
            continue;
        }
        const std::string_view date = dayKeyOf(raceKey);
        if (date != keys.back()) {
            keys.emplace_back(date);
        }
    }
    return keys;
}

}  // namespace kestrova
