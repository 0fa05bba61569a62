#pragma once

#include <filesystem>
#include <span>
#include <string_view>

#include "export/export_state.h"

namespace kestrova {

class HostWriter;
class RecordsTable;
class SsLogging;

/// CmtOut: writes the comment files of one day, one file per venue meeting, into
/// `folder`/yyyy/`prefix` + HostMeetingCode + ".DAT" (CP932, CR LF). Each line is the horse
/// entry id, "," and the tokens of the kinds set in `flags`, each followed by one blank.
/// `dayRows` are the day's records in `table` (recordRowsOfDay).
///
/// `folder` must exist; the year folder is created. Each file replaces the old one only when
/// complete. A failure is logged as "CmtOut<<description>>"; files completed before it stay.
WriterResult CmtOut(const SsLogging& log, HostWriter& host, const RecordsTable& table,
                    const CommentKindFlags& flags, const std::filesystem::path& folder,
                    std::string_view dayKey, std::string_view prefix,
                    std::span<const std::uint32_t> dayRows);

}  // namespace kestrova
