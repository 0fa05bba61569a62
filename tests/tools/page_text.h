#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::test {

using TableRows = std::vector<std::vector<std::string>>;

/// Rows and cell texts of the tables in a page the sample server writes (<tr>/<td> only),
/// with "&amp;", "&lt;" and "&gt;" decoded.
TableRows tableRows(std::string_view html);

/// Both throw when the text is not valid in its encoding.
std::string cp932ToUtf8(std::string_view cp932);
std::string utf8ToCp932(std::string_view utf8);
/// Strict Shift_JIS (JIS X 0208 only): fails on CP932's NEC and IBM extension rows.
std::string shiftJisToUtf8(std::string_view shiftJis);

/// Number of non-overlapping occurrences of `needle`.
std::size_t countOf(std::string_view text, std::string_view needle);

}  // namespace kestrova::test
