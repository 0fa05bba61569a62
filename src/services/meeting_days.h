#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

struct CoreContext;

/// GetKaisaiDay: learns this week's meeting days from the racing authority's race-card
/// pages. Returns KaisaiDays: each distinct day once, "yyyy年mm月dd日" followed by CR LF, in
/// the order in which its first page arrived. A page whose date cannot be read is logged and
/// skipped; a failed walk leaves the days gathered until then.
std::string GetKaisaiDay(CoreContext& ctx);

/// The meeting date of a race-card page as jra_SetKaisaiDay reads it: the first
/// "yyyy年m月d日（" of the text that names a real day, as "yyyy年mm月dd日".
std::optional<std::string> meetingDateOf(std::string_view html);

}  // namespace kestrova
