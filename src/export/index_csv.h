#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace kestrova {

struct CoreContext;
struct ExportState;

/// AlsOut: writes the index file of one kind and day, `folder`/yyyy/`stem` + "_" + yymmdd
/// + ".CSV" (CP932, CR LF): one line per record of the day, race key and horse number, then
/// the kind's two values, separated by "," without quoting. `stem` is "KSTR" + the kind's
/// code. Creates `folder` (one level) and the year folder when missing; writes an empty
/// file when the day has no record. Adds one to state.OutputCount per line and to
/// state.FilesWritten per file.
///
/// The file replaces the old one only when complete. Returns false after a failure, logged
/// as "AlsOut<<description>>".
bool AlsOut(CoreContext& ctx, ExportState& state, const std::filesystem::path& folder,
            std::string_view stem, std::string_view dayKey);

/// The same with the day's records already picked out (recordRowsOfDay).
bool AlsOut(CoreContext& ctx, ExportState& state, const std::filesystem::path& folder,
            std::string_view stem, std::string_view dayKey, std::span<const std::uint32_t> dayRows);

}  // namespace kestrova
