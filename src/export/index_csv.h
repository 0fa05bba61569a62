#pragma once

#include <filesystem>
#include <span>
#include <string_view>

#include "export/export_state.h"

namespace kestrova {

class HostWriter;
class RecordsTable;
class SsLogging;

/// AlsOut: writes the index file of one kind and day, `folder`/yyyy/`stem` + "_" + yymmdd
/// + ".CSV" (CP932, CR LF): one line per record of `dayRows`, race key and horse number,
/// then the kind's two values, separated by "," without quoting. `stem` is "KSTR" + the
/// kind's code. Creates `folder` (one level) and the year folder when missing; writes an
/// empty file when the day has no record.
///
/// The file replaces the old one only when complete. A failure is logged as
/// "AlsOut<<description>>".
WriterResult AlsOut(const SsLogging& log, HostWriter& host, const RecordsTable& table,
                    const std::filesystem::path& folder, std::string_view stem,
                    std::string_view dayKey, std::span<const std::uint32_t> dayRows);

}  // namespace kestrova
