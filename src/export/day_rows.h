#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

class RecordsTable;

/// Indexes of TFDataTable rows, in page order.
using RowList = std::vector<std::uint32_t>;

/// The records of a data file that may be written, and how many were left out.
struct RecordSelection {
    RowList rows;
    std::size_t skipped = 0;
};

/// The records of rows 1.. up to the first row whose column 0 is empty that can be written:
/// the race key (column 1) is valid and dated in `period` (the yyyymm of a month file or the
/// yyyymmdd of a day file), and no cell that reaches a file holds a line break or a comma,
/// which would add lines or fields to the host's files. The others are skipped.
RecordSelection selectRecords(const RecordsTable& table, std::string_view period);

/// The records of one day among `records`, in page order.
RowList recordRowsOfDay(const RecordsTable& table, std::span<const std::uint32_t> records,
                        std::string_view dayKey);

/// DayKeyList of a data file: the header key, then the date of each record whenever it
/// differs from the entry before (a date that comes back after another is listed again).
std::vector<std::string> dayKeyList(const RecordsTable& table,
                                    std::span<const std::uint32_t> records,
                                    std::string_view headerKey);

}  // namespace kestrova
