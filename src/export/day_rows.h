#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

class RecordsTable;

/// Indexes of TFDataTable rows, in page order.
using RowList = std::vector<std::uint32_t>;

/// The records of one day: rows 1.. up to the first row whose column 0 is empty, whose race
/// key (column 1) is valid and begins with `dayKey`.
RowList recordRowsOfDay(const RecordsTable& table, std::string_view dayKey);

/// Records whose race key is not valid; they are never written.
std::size_t countInvalidRecords(const RecordsTable& table);

/// DayKeyList of a month file: the header key, then the date of each valid record whenever
/// it differs from the entry before (a date that comes back after another is listed again).
std::vector<std::string> dayKeyList(const RecordsTable& table, std::string_view headerKey);

}  // namespace kestrova
