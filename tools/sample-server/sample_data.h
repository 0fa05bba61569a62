#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::sample {

inline constexpr std::size_t kColumns = 120;

/// One record: one horse in one race, all 120 columns as the server delivers them.
struct Record {
    std::array<std::string, kColumns> cells;
};

/// One data file (a month or a meeting day): header cell text and the records in page order.
struct DataFile {
    std::string headerCell;  ///< "yyyymm:..." or "yyyymmdd:..."
    std::vector<Record> records;
};

enum class Charset { Cp932, Utf8 };

/// The meeting days of a month as the generator's calendar has them (yyyymmdd), ascending.
std::vector<std::string> meetingDays(int year, int month);

/// Deterministic data: the same arguments always give the same file.
DataFile generateMonth(int year, int month, std::uint32_t seed = 1);
DataFile generateDay(std::string_view dayKey, std::uint32_t seed = 1);

/// The page the server sends for a data file: one table, row 0 the header row.
std::string renderDataPage(const DataFile& file, Charset charset);

}  // namespace kestrova::sample
