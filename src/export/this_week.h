#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct CoreContext;

/// A meeting day of this week whose day file the member server has.
struct OfferedDay {
    std::string dayText;   ///< "yyyy年mm月dd日", as KaisaiDays has it
    std::string fileName;  ///< "TFyymmdd.html"
};

/// The days the window offers as this week's data.
struct ThisWeekDays {
    /// In the order of the discovery (the racing authority's pages decide it).
    std::vector<OfferedDay> days;
    /// A check request failed (its warning has been shown): the window ends, the command
    /// line reports it.
    bool checkFailed = false;
    /// Racing-authority pages or requests that failed during the discovery, one Japanese
    /// line each naming the page; the days after the failure are missing.
    std::vector<std::string> problems;
    /// The discovery failed before it learnt any day: nothing is known about this week,
    /// which is not the same as a week without meetings.
    bool discoveryFailed = false;
};

/// The meeting-day discovery (GetKaisaiDay), then Get_TFData in check mode for each day:
/// only days whose day file answers 200 are offered. A failed discovery still checks the
/// days it learnt.
ThisWeekDays thisWeekDays(CoreContext& ctx);

/// The closing line of a discovery that learnt no day, and of one that failed part-way.
inline constexpr std::string_view kDiscoveryFailed =
    "今週の開催日を調べられませんでした。JRA のサイトに接続できないか、ページを取得できませんで"
    "した。";
inline constexpr std::string_view kDiscoveryIncomplete =
    "JRA のページを取得できなかったため、今週の開催日の一部が抜けている可能性があります。";

/// The notice when a check request failed while the window loads.
inline constexpr std::string_view kCheckFailedNotice =
    "通信エラー等が発生しました。\r\n\r\n再起動して下さい。";

}  // namespace kestrova
