#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::sample {

/// Version notice: the last row names release 1.0.2, stamp 2015100201 (no update offered).
std::string versionPage();
/// Server master: key "2" maps to "0".
std::string masterPage();
std::string explainPdf();
/// A small error page without any table.
std::string statusPage(int status);
std::string noTablesPage();
/// A CP932 data page of `rows` table rows, header row included, for the data file at `path`.
std::string oversizedPage(std::string_view path, std::size_t rows, std::uint32_t seed);
/// The UTF-8 text files under the prepared-file folder; nullopt for an unknown name.
std::optional<std::string> preparedFile(std::string_view name,
                                        const std::vector<std::string>& weekDays);

}  // namespace kestrova::sample
