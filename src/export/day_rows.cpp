#include "export/day_rows.h"

#include <array>

#include "export/race_keys.h"
#include "export/records_table.h"

namespace kestrova {

namespace {

constexpr std::size_t kRaceKeyColumn = 1;

/// Columns whose text is written into a comment or index file (the race key is checked on
/// its own): horse number, marks, the index values, stable-entry date, farm name and rank.
constexpr auto kWrittenColumns = [] {
    std::array<std::uint8_t, 4 + 94 + 3> columns{};
    std::size_t n = 0;
    for (const std::uint8_t column : {2, 3, 4, 8}) {
        columns[n++] = column;
    }
    for (std::uint8_t column = 9; column <= 102; ++column) {
        columns[n++] = column;
    }
    for (const std::uint8_t column : {114, 116, 117}) {
        columns[n++] = column;
    }
    return columns;
}();

/// A line break would start a line of its own, a comma a field of its own.
bool breaksTheLayout(std::string_view text) {
    // A plain loop: find_first_of costs a search of the set per character.
    for (const char c : text) {
        if (c == ',' || c == '\r' || c == '\n') {
            return true;
        }
    }
    return false;
}

bool isWritable(const RecordsTable& table, std::size_t row, std::string_view period) {
    const std::string_view raceKey = table.cell(row, kRaceKeyColumn);
    if (!raceKey.starts_with(period) || !isValidRaceKey(raceKey)) {
        return false;
    }
    // Nearly every row is clean: one look at all of its text settles it.
    if (!breaksTheLayout(table.rowText(row))) {
        return true;
    }
    for (const std::uint8_t column : kWrittenColumns) {
        if (breaksTheLayout(table.cell(row, column))) {
            return false;
        }
    }
    return true;
}

}  // namespace

RecordSelection selectRecords(const RecordsTable& table, std::string_view period) {
    RecordSelection selection;
    const std::size_t end = table.recordEnd();
    for (std::size_t row = 1; row < end; ++row) {
        if (isWritable(table, row, period)) {
            selection.rows.push_back(static_cast<std::uint32_t>(row));
        } else {
            ++selection.skipped;
        }
    }
    return selection;
}

RowList recordRowsOfDay(const RecordsTable& table, std::span<const std::uint32_t> records,
                        std::string_view dayKey) {
    RowList rows;
    for (const std::uint32_t row : records) {
        if (dayKeyOf(table.cell(row, kRaceKeyColumn)) == dayKey) {
            rows.push_back(row);
        }
    }
    return rows;
}

std::vector<std::string> dayKeyList(const RecordsTable& table,
                                    std::span<const std::uint32_t> records,
                                    std::string_view headerKey) {
    std::vector<std::string> keys{std::string(headerKey)};
    for (const std::uint32_t row : records) {
        const std::string_view date = dayKeyOf(table.cell(row, kRaceKeyColumn));
        if (date != keys.back()) {
            keys.emplace_back(date);
        }
    }
    return keys;
}

}  // namespace kestrova
