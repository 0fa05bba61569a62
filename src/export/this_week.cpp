#include "export/this_week.h"

#include "base/text.h"
#include "export/data_download.h"
#include "export/data_file_names.h"
#include "export/export_state.h"
#include "services/core_context.h"
#include "services/meeting_days.h"

namespace kestrova {

namespace {

/// "yyyy年mm月dd日" to the day file "TFyymmdd.html"; "" for anything else.
std::string dayFileOf(std::string_view dayText) {
    // Digits are ASCII and the three marks three bytes each in UTF-8.
    if (dayText.size() != 4 + 3 + 2 + 3 + 2 + 3) {
        return {};
    }
    const std::string day = std::string(dayText.substr(0, 4)) + std::string(dayText.substr(7, 2)) +
                            std::string(dayText.substr(12, 2));
    return isAsciiDigits(day) ? dayFileNameOf(day) : std::string();
}

}  // namespace

ThisWeekDays thisWeekDays(CoreContext& ctx) {
    ThisWeekDays result;
    MeetingDays found = GetKaisaiDay(ctx);
    const std::string& days = found.KaisaiDays;
    result.discoveryFailed = days.empty() && !found.problems.empty();
    result.problems = std::move(found.problems);
    ExportState state;  // a check reads no table
    std::size_t start = 0;
    for (auto end = days.find("\r\n"); end != std::string::npos; end = days.find("\r\n", start)) {
        const std::string dayText = days.substr(start, end - start);
        start = end + 2;
        const std::string fileName = dayFileOf(dayText);
        if (fileName.empty()) {
            continue;
        }
        const TFDataResult check = Get_TFData(ctx, state, fileName, true);
        if (!check.ok) {
            result.checkFailed = true;
            return result;
        }
        if (check.status == 200) {
            result.days.push_back({dayText, fileName});
        }
    }
    return result;
}

}  // namespace kestrova
