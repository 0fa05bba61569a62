#include "race_authority.h"

#include <algorithm>
#include <cstdio>

namespace kestrova::sample {
namespace {

constexpr std::size_t kPrefixSize = 7;
// Prefix, state, venue, year, meeting, day, date; a race code adds the race before the date.
constexpr std::size_t kDayBodySize = 27;
constexpr std::size_t kRaceBodySize = 29;

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int numberAt(std::string_view text, std::size_t pos, std::size_t len) {
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

std::string twoDigits(int v) {
    return {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)};
}

bool isDayPrefix(std::string_view prefix) {
    return std::any_of(std::begin(kSiteFamilies), std::end(kSiteFamilies),
                       [&](SiteFamily f) { return dayCodePrefix(f) == prefix; });
}

bool isRacePrefix(std::string_view prefix) {
    return prefix == racePagePrefix(SiteFamily::RaceCards) ||
           prefix == racePagePrefix(SiteFamily::Results) ||
           std::any_of(std::begin(kOddsKinds), std::end(kOddsKinds),
                       [&](OddsKind k) { return oddsPagePrefix(k) == prefix; });
}

}  // namespace

std::string_view entryPath(SiteFamily family) {
    switch (family) {
        case SiteFamily::RaceCards:
            return "/JRADB/accessD.html";
        case SiteFamily::Results:
            return "/JRADB/accessS.html";
        case SiteFamily::Odds:
            break;
    }
    return "/JRADB/accessO.html";
}

std::optional<SiteFamily> familyOfPath(std::string_view path) {
    if (path.starts_with(kMovedPrefix)) {
        path.remove_prefix(kMovedPrefix.size());
    }
    for (const SiteFamily family : kSiteFamilies) {
        if (entryPath(family) == path) {
            return family;
        }
    }
    return std::nullopt;
}

std::string_view topPageCode(SiteFamily family) {
    switch (family) {
        case SiteFamily::RaceCards:
            return "pw01dli00/F3";
        case SiteFamily::Results:
            return "pw01sli00/AF";
        case SiteFamily::Odds:
            break;
    }
    return "pw15oli00/6D";
}

std::string_view dayCodePrefix(SiteFamily family) {
    switch (family) {
        case SiteFamily::RaceCards:
            return "pw01drl";
        case SiteFamily::Results:
            return "pw01srl";
        case SiteFamily::Odds:
            break;
    }
    return "pw15orl";
}

std::string_view racePagePrefix(SiteFamily family) {
    switch (family) {
        case SiteFamily::RaceCards:
            return "pw01des";
        case SiteFamily::Results:
            return "pw01sde";
        case SiteFamily::Odds:
            break;
    }
    return oddsPagePrefix(OddsKind::WinPlace);
}

std::string_view oddsPagePrefix(OddsKind kind) {
    switch (kind) {
        case OddsKind::WinPlace:
            return "pw151ou";
        case OddsKind::BracketQuinella:
            return "pw153ou";
        case OddsKind::Quinella:
            return "pw154ou";
        case OddsKind::Wide:
            return "pw155ou";
        case OddsKind::Exacta:
            return "pw156ou";
        case OddsKind::Trio:
            return "pw157ou";
        case OddsKind::Trifecta:
            break;
    }
    return "pw158ou";
}

std::string checkValue(std::string_view codeBody) {
    // Weighted by position, so any single changed character changes the value.
    unsigned sum = 0;
    for (std::size_t i = 0; i < codeBody.size(); ++i) {
        sum += static_cast<unsigned>(i + 1) * static_cast<unsigned char>(codeBody[i]);
    }
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", sum % 256);
    return buf;
}

std::string dayPageCode(SiteFamily family, std::string_view dayKey, const VenueDay& venue,
                        bool pastWeek) {
    std::string body(dayCodePrefix(family));
    body += pastWeek ? "10" : "00";
    body += twoDigits(venue.venue);
    body += dayKey.substr(0, 4);
    body += twoDigits(venue.meeting);
    body += twoDigits(venue.day);
    body += dayKey;
    return body + "/" + checkValue(body);
}

std::string racePageCode(std::string_view prefix, std::string_view dayKey, const VenueDay& venue,
                         int race, bool pastWeek) {
    std::string body(prefix);
    body += pastWeek ? "10" : "01";
    body += twoDigits(venue.venue);
    body += dayKey.substr(0, 4);
    body += twoDigits(venue.meeting);
    body += twoDigits(venue.day);
    body += twoDigits(race);
    body += dayKey;
    return body + "/" + checkValue(body);
}

std::string postBody(std::string_view code) {
    std::string body = "cname=";
    for (const char c : code) {
        if (c == '/') {
            body += "%2F";
        } else {
            body += c;
        }
    }
    return body;
}

std::optional<PageCode> parsePageCode(std::string_view code) {
    for (const SiteFamily family : kSiteFamilies) {
        if (code == topPageCode(family)) {
            PageCode top;
            top.prefix = std::string(code.substr(0, kPrefixSize));
            return top;
        }
    }
    const std::size_t slash = code.find('/');
    if (slash == std::string_view::npos || code.size() != slash + 3) {
        return std::nullopt;
    }
    const std::string_view body = code.substr(0, slash);
    if (code.substr(slash + 1) != checkValue(body) ||
        (body.size() != kDayBodySize && body.size() != kRaceBodySize) ||
        !allDigits(body.substr(kPrefixSize))) {
        return std::nullopt;
    }
    PageCode pc;
    pc.prefix = std::string(body.substr(0, kPrefixSize));
    const bool race = body.size() == kRaceBodySize;
    if (race ? !isRacePrefix(pc.prefix) : !isDayPrefix(pc.prefix)) {
        return std::nullopt;
    }
    pc.kind = race ? PageCode::Kind::Race : PageCode::Kind::Day;
    const std::string_view state = body.substr(7, 2);
    if (state != (race ? "01" : "00") && state != "10") {
        return std::nullopt;
    }
    pc.pastWeek = state == "10";
    pc.venue.venue = numberAt(body, 9, 2);
    pc.year = numberAt(body, 11, 4);
    pc.venue.meeting = numberAt(body, 15, 2);
    pc.venue.day = numberAt(body, 17, 2);
    pc.race = race ? numberAt(body, 19, 2) : 0;
    pc.dayKey = std::string(body.substr(race ? 21 : 19, 8));
    if (pc.venue.venue < 1 || pc.venue.venue > 10 || (race && (pc.race < 1 || pc.race > 12)) ||
        daysOfKey(pc.dayKey) < 0) {
        return std::nullopt;
    }
    return pc;
}

std::string_view venueName(int venue) {
    static constexpr std::string_view kNames[] = {"",     "札幌", "函館", "福島", "新潟", "東京",
                                                  "中山", "中京", "京都", "阪神", "小倉"};
    return venue >= 1 && venue <= 10 ? kNames[venue] : std::string_view{};
}

}  // namespace kestrova::sample
