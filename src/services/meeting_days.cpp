#include "services/meeting_days.h"

#include <chrono>
#include <cstdio>

#include "base/errors.h"
#include "base/text.h"
#include "services/core_context.h"
#include "web/race_authority.h"

namespace kestrova {

namespace {

constexpr std::string_view kDiscoveryTag = "frmTFLink:GetKaisaiDay";
constexpr std::string_view kPageTag = "frmTFLink:jra_SetKaisaiDay";

/// Reads 1 to `most` ASCII digits at `pos`; nothing when there are none.
std::optional<int> number(std::string_view text, std::size_t& pos, std::size_t most) {
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && digits < most && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return value;
}

bool take(std::string_view text, std::size_t& pos, std::string_view what) {
    if (text.substr(pos).starts_with(what)) {
        pos += what.size();
        return true;
    }
    return false;
}

/// The window's side of the discovery: receives the pages and collects their dates.
class DayCollector final : public cJRAEvents {
  public:
    explicit DayCollector(CoreContext& ctx) : ctx_(ctx) {}

    void SetKaisaiDay(const std::string& sHTML, bool& /*Cancel*/) override {
        ctx_.log.TraceLog(kPageTag);
        const auto day = meetingDateOf(sHTML);
        if (!day) {
            // The landmarks of an older site layout gave an empty day here, which hid every
            // later day from the window.
            ctx_.log.ErrorLog(errorText(kPageTag, "ページから開催日を読み取れませんでした。"));
            return;
        }
        if (found.KaisaiDays.find(*day) == std::string::npos) {
            found.KaisaiDays += *day + "\r\n";
        }
    }

    void SetKaisaiDayOff() override { ctx_.ui.breathe(); }

    void PageFailed(const std::string& message) override { found.problems.push_back(message); }

    MeetingDays found;

  private:
    CoreContext& ctx_;
};

}  // namespace

std::optional<std::string> meetingDateOf(std::string_view html) {
    constexpr std::string_view kYear = "年";
    for (auto mark = html.find(kYear); mark != std::string_view::npos;
         mark = html.find(kYear, mark + kYear.size())) {
        if (mark < 4) {
            continue;
        }
        std::size_t pos = mark - 4;
        const auto year = number(html, pos, 4);
        if (!year || pos != mark || !take(html, pos, kYear)) {
            continue;
        }
        const auto month = number(html, pos, 2);
        if (!month || !take(html, pos, "月")) {
            continue;
        }
        const auto day = number(html, pos, 2);
        if (!day || !take(html, pos, "日") || !take(html, pos, "（")) {
            continue;
        }
        const std::chrono::year_month_day date{std::chrono::year(*year),
                                               std::chrono::month(static_cast<unsigned>(*month)),
                                               std::chrono::day(static_cast<unsigned>(*day))};
        if (!date.ok()) {
            continue;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%04d年%02d月%02d日", *year, *month, *day);
        return std::string(text);
    }
    return std::nullopt;
}

MeetingDays GetKaisaiDay(CoreContext& ctx) {
    ctx.log.TraceLog(kDiscoveryTag);
    DayCollector collector(ctx);
    try {
        cJRA jra(ctx.log, ctx.ui, ctx.http, ctx.raceAuthority, ctx.memberServer, collector);
        jra.GetKaisaiDay();
    } catch (const StopRequested&) {
        throw;
    } catch (const std::exception& e) {
        ctx.log.ErrorLog(errorText(kDiscoveryTag, describeError(e)));
        collector.found.problems.push_back("開催日を調べられませんでした: " +
                                           replaceAll(describeError(e), "\r\n", " "));
    }
    return std::move(collector.found);
}

}  // namespace kestrova
