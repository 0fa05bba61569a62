#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "export/records_table.h"

namespace kestrova {

/// Comment kinds of the comment file being written, 1 = selected: system mark, strong-run
/// mark, key-horse mark, vital jockey, resting farm.
using CommentKindFlags = std::array<std::int16_t, 5>;

/// What one call of a host-file writer (CmtOut, AlsOut) did.
struct WriterResult {
    bool ok = false;               ///< false: a failure was logged; other files stay
    std::int32_t lines = 0;        ///< record lines written, for OutputCount
    std::int64_t files = 0;        ///< files completed
    std::int64_t failedFiles = 0;  ///< files that could not be written
};

/// The fields one export run reads and writes (the window's fields in the system's own
/// names); the run's selection holds ThisWeekMode and StartYear.
struct ExportState {
    /// "TF10mm.html" up to this year's template; "mm" stands for the month.
    std::vector<std::string> MonthFileTemplates;
    /// The rows of the last downloaded data file.
    RecordsTable TFDataTable;
    /// Data rows of the last parsed file (table rows minus the header row).
    std::int32_t TFDataRowCount = 0;
    /// Comment kinds of the comment files being written.
    kestrova::CommentKindFlags CommentKindFlags{};
    /// Lines written by the current group of CmtOut/AlsOut calls.
    std::int32_t OutputCount = 0;
};

}  // namespace kestrova
