#include "race_site.h"

#include <algorithm>

#include "page_writer.h"

namespace kestrova::sample {

namespace {

struct Link {
    std::string code;
    std::string label;
};

/// The links of one day (top pages) or one race (meeting-day pages).
struct LinkGroup {
    int key = 0;  // days of the day, or the race number
    bool pastWeek = false;
    std::vector<Link> links;
};

constexpr std::string_view kShiftJis = "text/html; charset=Shift_JIS";

// 髙 and 隆 from CP932's IBM extension rows (FA-FC), written as the site writes them: a strict
// Shift_JIS decoder fails on them.
constexpr std::string_view kIbmKanjiTaka = "\xFB\xFC";
constexpr std::string_view kIbmKanjiTakashi = "\xFB\xE9";

/// A page in CP932: text goes in as UTF-8, raw bytes as they are.
class PageText {
  public:
    explicit PageText(bool crlf) : crlf_(crlf) { bytes_.reserve(64 * 1024); }

    PageText& operator<<(std::string_view utf8) {
        appendCp932(bytes_, utf8);
        return *this;
    }
    PageText& raw(std::string_view cp932) {
        bytes_ += cp932;
        return *this;
    }
    /// CP932 trail bytes never take the value of LF, so line ends can be changed afterwards.
    std::string finish() {
        if (!crlf_) {
            return std::move(bytes_);
        }
        std::string out;
        out.reserve(bytes_.size() + bytes_.size() / 16);
        for (const char c : bytes_) {
            if (c == '\n') {
                out += '\r';
            }
            out += c;
        }
        return out;
    }

  private:
    std::string bytes_;
    bool crlf_;
};

// The families differ a little, as the real site's pages do: line ends, the heading element,
// the weekday written long or short, whether the answer names its charset.
bool crlfOf(SiteFamily family) {
    return family != SiteFamily::Results;
}

std::string contentTypeFor(SiteFamily family) {
    return family == SiteFamily::Odds ? "text/html" : std::string(kShiftJis);
}

std::string_view familyTitle(SiteFamily family) {
    switch (family) {
        case SiteFamily::RaceCards:
            return "出馬表";
        case SiteFamily::Results:
            return "レース結果";
        case SiteFamily::Odds:
            break;
    }
    return "オッズ";
}

std::string_view oddsLabel(OddsKind kind) {
    switch (kind) {
        case OddsKind::WinPlace:
            return "単勝・複勝";
        case OddsKind::BracketQuinella:
            return "枠連";
        case OddsKind::Quinella:
            return "馬連";
        case OddsKind::Wide:
            return "ワイド";
        case OddsKind::Exacta:
            return "馬単";
        case OddsKind::Trio:
            return "3連複";
        case OddsKind::Trifecta:
            break;
    }
    return "3連単";
}

/// The family's race-page prefixes in the order a meeting-day page lists them.
std::vector<std::string_view> racePrefixes(SiteFamily family) {
    if (family != SiteFamily::Odds) {
        return {racePagePrefix(family)};
    }
    std::vector<std::string_view> prefixes;
    for (const OddsKind kind : kOddsKinds) {
        prefixes.push_back(oddsPagePrefix(kind));
    }
    return prefixes;
}

std::string number(int v) {
    return std::to_string(v);
}

std::string meetingName(const VenueDay& venue) {
    return number(venue.meeting) + "回" + std::string(venueName(venue.venue)) + number(venue.day) +
           "日";
}

std::string weekdayName(int days) {
    static constexpr std::string_view kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    return std::string(kWeekdays[weekdayOf(days)]);
}

std::string dayTitle(int days) {
    const CivilDate d = civilFromDays(days);
    return number(d.month) + "月" + number(d.day) + "日（" + weekdayName(days) + "曜）";
}

/// "<h2>2026年3月22日（日曜） 2回中山8日</h2>"
std::string dateHeading(int days, const VenueDay& venue, bool h1, bool shortWeekday) {
    const CivilDate d = civilFromDays(days);
    const std::string tag = h1 ? "h1" : "h2";
    return "<div class=\"contents_header\">\n<" + tag + " class=\"txt_l\">" + number(d.year) +
           "年" + number(d.month) + "月" + number(d.day) + "日（" + weekdayName(days) +
           (shortWeekday ? "）" : "曜）") + " " + meetingName(venue) + "</" + tag + ">\n</div>\n";
}

/// A link as the real site writes its race lists: the code in the address's query.
std::string hrefLinkMarkup(SiteFamily family, std::string_view code, std::string_view label,
                           bool unclosed) {
    return "<a href=\"" + std::string(entryPath(family)) + "?CNAME=" + std::string(code) +
           (unclosed ? "" : "\"") + ">" + std::string(label) + "</a>";
}

/// A doAction link; the spelling varies from link to link as it does on the real site.
std::string linkMarkup(SiteFamily family, std::string_view code, std::string_view label, int nth,
                       bool unclosed = false) {
    const std::string path(entryPath(family));
    std::string call;
    if (unclosed) {
        call = "onclick=\"doAction('" + path + "', '" + std::string(code) + "); return false;\"";
    } else if (nth % 3 == 0) {
        call = "onclick=\"doAction('" + path + "', '" + std::string(code) + "'); return false;\"";
    } else if (nth % 3 == 1) {
        call = "onClick=\"doAction('" + path + "','" + std::string(code) + "');return false;\"";
    } else {
        call = "onclick=\"return doAction('" + path + "','" + std::string(code) + "');\"";
    }
    return "<a href=\"#\" " + call + ">" + std::string(label) + "</a>";
}

/// Head, header menu and the start of the contents. The first "年" of every dated page is the
/// one of the menu item, long before the date heading.
void header(PageText& page, std::string_view title, bool withYearMenu) {
    page << "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
            "\"http://www.w3.org/TR/html4/loose.dtd\">\n"
            "<html lang=\"ja\">\n<head>\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
            "<meta http-equiv=\"Content-Style-Type\" content=\"text/css\">\n"
            "<meta http-equiv=\"Content-Script-Type\" content=\"text/javascript\">\n"
            "<meta name=\"viewport\" content=\"width=1024\">\n<title>"
         << title
         << "｜中央競馬ポータル</title>\n"
            "<link rel=\"stylesheet\" type=\"text/css\" href=\"/common/css/base.css\">\n"
            "<link rel=\"stylesheet\" type=\"text/css\" href=\"/JRADB/css/db.css\">\n"
            "<script type=\"text/javascript\" src=\"/common/js/jquery.js\"></script>\n"
            "<script type=\"text/javascript\" src=\"/JRADB/js/doAction.js\"></script>\n"
            "</head>\n<body id=\"jradb\">\n<div id=\"header\">\n"
            "<div class=\"header_line\"><a href=\"/\" class=\"logo\">"
            "<img src=\"/common/img/logo.png\" alt=\"中央競馬ポータル\"></a></div>\n"
            "<ul id=\"gnav\">\n<li class=\"home\"><a href=\"/\">ホーム</a></li>\n<li>"
         << linkMarkup(SiteFamily::RaceCards, topPageCode(SiteFamily::RaceCards), "出馬表", 0)
         << "</li>\n<li>"
         << linkMarkup(SiteFamily::Odds, topPageCode(SiteFamily::Odds), "オッズ", 1)
         << "</li>\n<li>"
         << linkMarkup(SiteFamily::Results, topPageCode(SiteFamily::Results), "レース結果", 0)
         << "</li>\n<li><a href=\"/datafile/\">データファイル</a></li>\n"
            "<li><a href=\"/keiba/\">競馬メモ</a></li>\n";
    if (withYearMenu) {
        page << "<li><a href=\"/cm/\">年間CM</a></li>\n";
    }
    page << "</ul>\n<div id=\"news_line\">お知らせ：<a href=\"/news/\">";
    page.raw(kIbmKanjiTaka) << "野";
    page.raw(kIbmKanjiTakashi) << "騎手 通算500勝達成</a></div>\n</div>\n<div id=\"contents\">\n";
}

/// No single quote after the contents: a code whose closing quote is missing must stay open
/// to the end of the page. The first "/h3" of every page is here.
void footer(PageText& page) {
    page << "</div>\n<div id=\"footer\">\n<div class=\"footer_link\">\n"
            "<h3 class=\"ftitle\">サイト内リンク</h3>\n<ul>\n"
            "<li><a href=\"/sitemap/\">サイトマップ</a></li>\n"
            "<li><a href=\"/faq/\">よくあるご質問</a></li>\n"
            "<li><a href=\"/privacy/\">個人情報の取扱い</a></li>\n</ul>\n</div>\n"
            "<p class=\"copyright\">Copyright &copy; Chuo Keiba Portal. All Rights "
            "Reserved.</p>\n</div>\n</body>\n</html>\n";
}

int venueIndexOf(const RaceDay& day, const VenueDay& venue) {
    for (int i = 0; i < day.venueCount; ++i) {
        const VenueDay& v = day.venues[static_cast<std::size_t>(i)];
        if (v.venue == venue.venue && v.meeting == venue.meeting && v.day == venue.day) {
            return i;
        }
    }
    return -1;
}

std::vector<RaceDay> calendarDays(int first, int last) {
    std::vector<RaceDay> out;
    for (int year = civilFromDays(first).year; year <= civilFromDays(last).year; ++year) {
        for (const RaceDay& rd : yearCalendar(year)) {
            if (rd.days >= first && rd.days <= last) {
                out.push_back(rd);
            }
        }
    }
    return out;
}

}  // namespace

RaceSite::RaceSite(const std::vector<std::string>& weekDays, int today, std::uint32_t seed,
                   bool realRaceLists)
    : seed_(seed), realRaceLists_(realRaceLists) {
    std::vector<int> days;
    for (const std::string& key : weekDays) {
        if (const int d = daysOfKey(key); d >= 0) {
            days.push_back(d);
        }
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    for (const int d : days) {
        for (const RaceDay& rd : calendarDays(d, d)) {
            week_.push_back(rd);
        }
    }
    int tuesday = days.empty() ? today : days.front();
    while (weekdayOf(tuesday) != 2) {
        --tuesday;
    }
    for (const RaceDay& rd : calendarDays(tuesday - 14, tuesday - 1)) {
        if (!std::binary_search(days.begin(), days.end(), rd.days)) {
            past_.push_back(rd);
        }
    }
}

SitePage RaceSite::page(SiteFamily family, std::string_view code,
                        const CodeListFaults& faults) const {
    const std::optional<PageCode> pc = parsePageCode(code);
    if (!pc) {
        return errorPage();
    }
    // Only the results keep the weeks gone by.
    if (pc->pastWeek && family != SiteFamily::Results) {
        return errorPage();
    }
    switch (pc->kind) {
        case PageCode::Kind::Top:
            return code == topPageCode(family) ? topPage(family, faults) : errorPage();
        case PageCode::Kind::Day: {
            const Found found = find(*pc);
            if (pc->prefix != dayCodePrefix(family) || !found.day) {
                return errorPage();
            }
            return dayPage(family, *found.day, found.venueIndex, pc->pastWeek, faults);
        }
        case PageCode::Kind::Race:
            break;
    }
    const std::vector<std::string_view> prefixes = racePrefixes(family);
    const Found found = find(*pc);
    if (std::find(prefixes.begin(), prefixes.end(), pc->prefix) == prefixes.end() || !found.day) {
        return errorPage();
    }
    const auto cards = cardsOf(*found.day);
    for (const RaceCard& card : *cards) {
        if (card.venue.venue == pc->venue.venue && card.race == pc->race) {
            return racePage(family, pc->prefix, card, found.venueIndex, pc->pastWeek);
        }
    }
    return errorPage();
}

SitePage RaceSite::errorPage() {
    PageText page(true);
    // No year menu: the error page carries no "年" at all.
    header(page, "エラー", false);
    page << "<div id=\"contents_body\">\n<div class=\"error_area\">\n"
            "<p class=\"error_title\">パラメータエラー</p>\n"
            "<p>恐れ入りますが、トップページから再度アクセスしてください。</p>\n"
            "</div>\n</div>\n";
    footer(page);
    return {page.finish(), std::string(kShiftJis)};
}

RaceSite::Found RaceSite::find(const PageCode& code) const {
    const std::vector<RaceDay>& days = code.pastWeek ? past_ : week_;
    const int want = daysOfKey(code.dayKey);
    for (const RaceDay& rd : days) {
        if (rd.days != want || code.year != civilFromDays(want).year) {
            continue;
        }
        if (const int index = venueIndexOf(rd, code.venue); index >= 0) {
            return {&rd, index};
        }
    }
    return {};
}

std::shared_ptr<const std::vector<RaceCard>> RaceSite::cardsOf(const RaceDay& day) const {
    // Only this week's and the past two weeks' days get here, so the map stays small.
    std::lock_guard lock(mutex_);
    auto& cards = cards_[day.days];
    if (!cards) {
        cards = std::make_shared<const std::vector<RaceCard>>(raceCardsOf(day, seed_));
    }
    return cards;
}

namespace {

void applyFaults(std::vector<LinkGroup>& groups, const CodeListFaults& faults, const Link& unknown,
                 bool daysOnPage) {
    if (faults.reversedDays && daysOnPage) {
        const auto thisWeekEnd =
            std::find_if(groups.begin(), groups.end(), [](const auto& g) { return g.pastWeek; });
        std::reverse(groups.begin(), thisWeekEnd);
    }
    if (faults.unknownCode) {
        const auto first = std::find_if(groups.begin(), groups.end(),
                                        [](const auto& g) { return !g.links.empty(); });
        if (first != groups.end()) {
            first->links.insert(first->links.begin() + 1, unknown);
        }
    }
    if (faults.duplicate > 0) {
        int left = faults.duplicate;
        for (auto& group : groups) {
            const int size = static_cast<int>(group.links.size());
            if (left <= size) {
                const auto at = group.links.begin() + left;
                group.links.insert(at, *(at - 1));
                break;
            }
            left -= size;
        }
    }
    if (faults.noCodes) {
        for (auto& group : groups) {
            group.links.clear();
        }
    }
}

/// Writes each group's links, leaving the quote of the page's last code open if asked.
class LinkWriter {
  public:
    LinkWriter(SiteFamily family, const std::vector<LinkGroup>& groups, bool unclosedLast,
               bool href = false)
        : family_(family), href_(href) {
        for (const auto& group : groups) {
            total_ += static_cast<int>(group.links.size());
        }
        unclosedLast_ = unclosedLast;
    }
    std::string operator()(const Link& link) {
        ++written_;
        const bool unclosed = unclosedLast_ && written_ == total_;
        return href_ ? hrefLinkMarkup(family_, link.code, link.label, unclosed)
                     : linkMarkup(family_, link.code, link.label, written_, unclosed);
    }

  private:
    SiteFamily family_;
    bool href_ = false;
    int total_ = 0;
    int written_ = 0;
    bool unclosedLast_ = false;
};

}  // namespace

SitePage RaceSite::topPage(SiteFamily family, const CodeListFaults& faults) const {
    std::vector<LinkGroup> groups;
    const auto addDays = [&](const std::vector<RaceDay>& days, bool past) {
        for (const RaceDay& rd : days) {
            LinkGroup group{rd.days, past, {}};
            for (int i = 0; i < rd.venueCount; ++i) {
                const VenueDay& v = rd.venues[static_cast<std::size_t>(i)];
                group.links.push_back(
                    {dayPageCode(family, dayKeyOf(rd.days), v, past), meetingName(v)});
            }
            groups.push_back(std::move(group));
        }
    };
    addDays(week_, false);
    if (family == SiteFamily::Results) {
        addDays(past_, true);
    }
    Link unknown;
    if (!week_.empty()) {
        // A venue that does not race that day: a stale link, as after a cancelled meeting.
        const RaceDay& rd = week_.front();
        VenueDay idle{1, 1, 1};
        while (std::any_of(rd.venues.begin(), rd.venues.begin() + rd.venueCount,
                           [&](const VenueDay& v) { return v.venue == idle.venue; })) {
            ++idle.venue;
        }
        unknown = {dayPageCode(family, dayKeyOf(rd.days), idle), meetingName(idle)};
    }
    applyFaults(groups, faults, unknown, true);

    PageText page(crlfOf(family));
    header(page, familyTitle(family), true);
    page << "<div id=\"contents_body\">\n<div class=\"contents_header\">\n<h2>今週の"
         << familyTitle(family)
         << "</h2>\n</div>\n<div class=\"side_menu\">\n<ul>\n"
            "<li><a href=\"/keiba/calendar/\">開催カレンダー</a></li>\n"
            "<li><a href=\"/keiba/tokubetsu/\">特別登録</a></li>\n"
            "<li><a href=\"/keiba/g1/\">GIレース</a></li>\n</ul>\n</div>\n";
    LinkWriter link(family, groups, faults.unclosedLast);
    bool any = false;
    bool inPast = false;
    page << "<div class=\"kaisai_list\">\n";
    for (const LinkGroup& group : groups) {
        if (group.pastWeek && !inPast) {
            inPast = true;
            page << "</div>\n<div class=\"kaisai_list past\">\n<h4>過去の開催</h4>\n";
        }
        if (group.links.empty()) {
            continue;
        }
        any = true;
        page << "<div class=\"kaisai_day\">\n<div class=\"day_title\">" << dayTitle(group.key)
             << "</div>\n<ul class=\"link_list\">\n";
        for (const Link& l : group.links) {
            page << "<li>" << link(l) << "</li>\n";
        }
        page << "</ul>\n</div>\n";
    }
    if (!any) {
        page << "<p class=\"no_data\">現在、表示できる開催はありません。</p>\n";
    }
    page << "</div>\n</div>\n";
    footer(page);
    return {page.finish(), contentTypeFor(family)};
}

SitePage RaceSite::dayPage(SiteFamily family, const RaceDay& day, int venueIndex, bool pastWeek,
                           const CodeListFaults& faults) const {
    const VenueDay& venue = day.venues[static_cast<std::size_t>(venueIndex)];
    const std::string dayKey = dayKeyOf(day.days);
    const auto cards = cardsOf(day);
    std::vector<const RaceCard*> races;
    for (const RaceCard& card : *cards) {
        if (card.venue.venue == venue.venue) {
            races.push_back(&card);
        }
    }
    std::vector<std::string_view> prefixes = racePrefixes(family);
    if (realRaceLists_) {
        prefixes.resize(1);  // the win odds; the other kinds are its tabs
    }
    std::vector<LinkGroup> groups;
    for (const RaceCard* race : races) {
        LinkGroup group{race->race, pastWeek, {}};
        for (std::size_t k = 0; k < prefixes.size(); ++k) {
            const std::string label = family == SiteFamily::Odds
                                          ? std::string(oddsLabel(kOddsKinds[k]))
                                          : std::string(familyTitle(family));
            group.links.push_back(
                {racePageCode(prefixes[k], dayKey, venue, race->race, pastWeek), label});
        }
        groups.push_back(std::move(group));
    }
    const Link unknown{racePageCode(prefixes[0], dayKey, venue, 13, pastWeek), "13R"};
    applyFaults(groups, faults, unknown, false);

    PageText page(crlfOf(family));
    header(page, familyTitle(family), true);
    page << "<div id=\"contents_body\">\n"
         << dateHeading(day.days, venue, family == SiteFamily::Results, family == SiteFamily::Odds)
         << "<div class=\"race_list\">\n<table class=\"basic narrow-xy mt20\" summary=\""
         << familyTitle(family)
         << "\">\n<thead>\n<tr><th class=\"race_num\">レース</th><th class=\"race_name\">"
            "レース名</th><th class=\"time\">発走時刻</th><th class=\"course\">コース</th>"
            "<th class=\"num\">頭数</th><th class=\"link\">"
         << familyTitle(family) << "</th></tr>\n</thead>\n<tbody>\n";
    LinkWriter link(family, groups, faults.unclosedLast, realRaceLists_);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const RaceCard& race = *races[i];
        page << "<tr>\n<th class=\"race_num\">" << number(groups[i].key)
             << "R</th>\n<td class=\"race_name\">" << raceName(race) << "</td>\n<td class=\"time\">"
             << startTime(race, venueIndex) << "</td>\n<td class=\"course\">" << courseText(race)
             << "</td>\n<td class=\"num\">" << number(static_cast<int>(race.runners.size()))
             << "頭</td>\n<td class=\"link\">";
        for (const Link& l : groups[i].links) {
            page << link(l) << "\n";
        }
        page << "</td>\n</tr>\n";
    }
    page << "</tbody>\n</table>\n</div>\n"
            "<div class=\"note\">\n<p>※出走取消・競走除外の情報は各レースのページでご確認ください"
            "。</p>\n<p>※発走時刻は変更になる場合があります。</p>\n</div>\n</div>\n";
    footer(page);
    return {page.finish(), contentTypeFor(family)};
}

SitePage RaceSite::racePage(SiteFamily family, std::string_view prefix, const RaceCard& race,
                            int venueIndex, bool pastWeek) const {
    PageText page(crlfOf(family));
    header(page, familyTitle(family), true);
    page << "<div id=\"contents_body\">\n"
         << dateHeading(daysOfKey(race.dayKey), race.venue, family == SiteFamily::Results,
                        family == SiteFamily::Results)
         << "<div class=\"race_header\">\n<div class=\"race_num\"><span class=\"num\">"
         << number(race.race) << "</span>レース</div>\n<div class=\"race_title\">"
         << "<span class=\"race_name\">" << raceName(race)
         << "</span></div>\n<div class=\"cell course\">" << courseText(race)
         << "</div>\n<div class=\"cell time\">発走時刻：" << startTime(race, venueIndex)
         << "</div>\n<div class=\"cell going\">馬場：" << race.going << "</div>\n</div>\n";
    switch (family) {
        case SiteFamily::RaceCards:
            page << raceCardTable(race);
            break;
        case SiteFamily::Results:
            page << resultTables(race, seed_);
            break;
        case SiteFamily::Odds: {
            // Tabs to the other odds of the same race, as the site shows them.
            page << "<ul class=\"odds_tab\">\n";
            OddsKind shown = OddsKind::WinPlace;
            int nth = 0;
            for (const OddsKind kind : kOddsKinds) {
                if (oddsPagePrefix(kind) == prefix) {
                    shown = kind;
                    page << "<li class=\"current\">" << oddsLabel(kind) << "</li>\n";
                } else {
                    const std::string code = racePageCode(oddsPagePrefix(kind), race.dayKey,
                                                          race.venue, race.race, pastWeek);
                    page << "<li>"
                         << (realRaceLists_ ? hrefLinkMarkup(family, code, oddsLabel(kind), false)
                                            : linkMarkup(family, code, oddsLabel(kind), ++nth))
                         << "</li>\n";
                }
            }
            page << "</ul>\n" << oddsTables(race, shown);
            break;
        }
    }
    page << "</div>\n";
    footer(page);
    return {page.finish(), contentTypeFor(family)};
}

}  // namespace kestrova::sample
