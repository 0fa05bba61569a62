#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace kestrova {

struct CoreContext;
struct ExportState;

/// CmtOut: writes the comment files of one day, one file per venue meeting, into
/// `folder`/yyyy/`prefix` + HostMeetingCode + ".DAT" (CP932, CR LF). Each line is the horse
/// entry id, "," and the tokens of the kinds set in state.CommentKindFlags, each followed by
/// one blank. Adds one to state.OutputCount per line and to state.FilesWritten per file.
///
/// `folder` must exist; the year folder is created. Each file replaces the old one only when
/// complete. Returns false after a failure, logged as "CmtOut<<description>>"; files
/// completed before it stay.
bool CmtOut(CoreContext& ctx, ExportState& state, const std::filesystem::path& folder,
            std::string_view dayKey, std::string_view prefix);

/// The same with the day's records already picked out of state.TFDataTable
/// (recordRowsOfDay), so that a day's many files share one pass over the table.
bool CmtOut(CoreContext& ctx, ExportState& state, const std::filesystem::path& folder,
            std::string_view dayKey, std::string_view prefix,
            std::span<const std::uint32_t> dayRows);

}  // namespace kestrova
