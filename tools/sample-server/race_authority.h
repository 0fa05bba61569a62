#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "calendar.h"

namespace kestrova::sample {

/// The racing authority's public site: three families of pages, each behind one entry path
/// that takes the page code in a form POST ("cname=" + code, "/" written "%2F").
enum class SiteFamily { RaceCards, Results, Odds };

/// The seven odds pages of a race; the value is the digit after "pw15" in the code prefix.
enum class OddsKind {
    WinPlace = 1,
    BracketQuinella = 3,
    Quinella = 4,
    Wide = 5,
    Exacta = 6,
    Trio = 7,
    Trifecta = 8,
};
inline constexpr OddsKind kOddsKinds[] = {OddsKind::WinPlace, OddsKind::BracketQuinella,
                                          OddsKind::Quinella, OddsKind::Wide,
                                          OddsKind::Exacta,   OddsKind::Trio,
                                          OddsKind::Trifecta};

inline constexpr SiteFamily kSiteFamilies[] = {SiteFamily::RaceCards, SiteFamily::Results,
                                               SiteFamily::Odds};

/// The site's pages also answer under this prefix (the target of a Redirect fault).
inline constexpr std::string_view kMovedPrefix = "/moved";

/// "/JRADB/accessD.html", "/JRADB/accessS.html", "/JRADB/accessO.html".
std::string_view entryPath(SiteFamily family);
/// The family of an entry path, with or without kMovedPrefix.
std::optional<SiteFamily> familyOfPath(std::string_view path);

/// "pw01dli00/F3", "pw01sli00/AF", "pw15oli00/6D".
std::string_view topPageCode(SiteFamily family);
/// "pw01drl", "pw01srl", "pw15orl".
std::string_view dayCodePrefix(SiteFamily family);
/// "pw01des" (race card), "pw01sde" (result); for the odds family the win/place page.
std::string_view racePagePrefix(SiteFamily family);
/// "pw151ou" .. "pw158ou".
std::string_view oddsPagePrefix(OddsKind kind);

/// The two upper-case hex characters after the "/" of a code, computed from what precedes it.
std::string checkValue(std::string_view codeBody);

/// The meeting-day code of one venue on `dayKey` (yyyymmdd), e.g.
/// "pw01drl00" "06" "2026" "02" "08" "20260322" "/" check. `pastWeek` writes state "10".
std::string dayPageCode(SiteFamily family, std::string_view dayKey, const VenueDay& venue,
                        bool pastWeek = false);
/// The code of one race's page under `prefix` (racePagePrefix or oddsPagePrefix).
std::string racePageCode(std::string_view prefix, std::string_view dayKey, const VenueDay& venue,
                         int race, bool pastWeek = false);

/// "cname=" + code with "/" written "%2F", as clients post it.
std::string postBody(std::string_view code);

/// A code taken apart; only the syntax and the check value are checked, not whether the site
/// has such a day.
struct PageCode {
    enum class Kind { Top, Day, Race };
    Kind kind = Kind::Top;
    std::string prefix;
    bool pastWeek = false;
    std::string dayKey;
    VenueDay venue;
    int year = 0;
    int race = 0;  ///< 0 for top and day codes
};
std::optional<PageCode> parsePageCode(std::string_view code);

/// Kanji venue names for codes 1..10 (札幌 .. 小倉); empty outside.
std::string_view venueName(int venue);

}  // namespace kestrova::sample
