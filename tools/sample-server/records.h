#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "calendar.h"
#include "sample_data.h"

namespace kestrova::sample {

using Row = std::array<std::string, kColumns>;

/// Calls `emit` once per record of `day` in page order, reusing one row.
void forEachRecord(const RaceDay& day, std::uint32_t seed,
                   const std::function<void(const Row&)>& emit);

/// "yyyymm:..." and "yyyymmdd:..." header cells.
std::string monthHeaderCell(int year, int month);
std::string dayHeaderCell(int days);

/// Names of columns 1..119 of the header row (index 0 unused).
const std::array<std::string, kColumns>& columnNames();

}  // namespace kestrova::sample
