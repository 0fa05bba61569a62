#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sample_data.h"

namespace kestrova::test {

/// UTF-8 to CP932 through the system's converter (iconv on Linux); a character CP932 lacks
/// becomes "?".
std::string iconvCp932(std::string_view utf8);
/// CP932 to UTF-8 through the system's converter (for reading log files).
std::string iconvFromCp932(std::string_view cp932);

/// What one day writes, built from the data set by the host's file rules, independently of
/// the exporter: comment files per meeting and index files per kind.
struct ExpectedDay {
    std::map<std::string, std::string> files;  ///< host-relative path -> CP932 bytes
    int predictionLines = 0;
    int resultLines = 0;
    int indexLines = 0;
};

/// `records`: the data file's records in page order; only those of `dayKey` with a
/// well-formed race key and no line break or comma in a written cell count. `comments`: the ten
/// comment entries; `codes`: index codes.
ExpectedDay expectDay(const std::vector<sample::Record>& records, std::string_view dayKey,
                      const std::array<bool, 10>& comments, const std::vector<std::string>& codes);

}  // namespace kestrova::test
