#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct CoreContext;

/// What a meeting-day discovery learnt.
struct MeetingDays {
    /// Each distinct day once, "yyyy年mm月dd日" followed by CR LF, in the order in which its
    /// first page arrived.
    std::string KaisaiDays;
    /// The pages or requests that failed, one Japanese line each; the walk ended at the
    /// first, so days after it are missing. Empty when the site answered every page.
    std::vector<std::string> problems;
};

/// GetKaisaiDay: learns this week's meeting days from the racing authority's race-card
/// pages. A page whose date cannot be read is logged and skipped; a failed walk leaves the
/// days gathered until then and says what failed.
MeetingDays GetKaisaiDay(CoreContext& ctx);

/// The meeting date of a race-card page as jra_SetKaisaiDay reads it: the first
/// "yyyy年m月d日（" of the text that names a real day, as "yyyy年mm月dd日".
std::optional<std::string> meetingDateOf(std::string_view html);

}  // namespace kestrova
