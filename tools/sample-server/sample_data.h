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

/// Table markup: rows straight in <table>, or the header row in <thead> and records in <tbody>.
enum class Layout { Plain, Sections };

/// The meeting days of a month as the generator's calendar has them (yyyymmdd), ascending.
std::vector<std::string> meetingDays(int year, int month);

/// The meeting days of the week (Tuesday to Monday) holding `today` (yyyymmdd), ascending.
std::vector<std::string> weekMeetingDays(std::string_view today);

/// Deterministic data: the same arguments always give the same file. A month is its meeting
/// days in order; each day's records are ordered by race key, then horse number. A day that
/// is not a meeting day has no records.
DataFile generateMonth(int year, int month, std::uint32_t seed = 1);
DataFile generateDay(std::string_view dayKey, std::uint32_t seed = 1);

/// The page the server sends for a data file: one table, row 0 the header row (the header
/// cell, then the column names). Cell text is escaped; CP932 pages carry a Shift_JIS meta tag
/// and characters CP932 cannot hold become "?".
std::string renderDataPage(const DataFile& file, Charset charset, Layout layout = Layout::Plain);

/// Same bytes as renderDataPage(generateMonth(...)) / renderDataPage(generateDay(...)),
/// without building the records in between.
std::string renderMonthPage(int year, int month, std::uint32_t seed, Charset charset,
                            Layout layout = Layout::Plain);
std::string renderDayPage(std::string_view dayKey, std::uint32_t seed, Charset charset,
                          Layout layout = Layout::Plain);

}  // namespace kestrova::sample
