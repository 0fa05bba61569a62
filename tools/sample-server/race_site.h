#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "calendar.h"
#include "race_authority.h"
#include "race_tables.h"

namespace kestrova::sample {

/// What faults do to the codes a top page or meeting-day page lists.
struct CodeListFaults {
    bool noCodes = false;
    bool unclosedLast = false;  ///< the last code misses its closing quote
    int duplicate = 0;          ///< position (from 1) of the code listed twice; 0: none
    bool unknownCode = false;   ///< a well-formed code the site does not know, after the first
    bool reversedDays = false;  ///< this week's days latest first
};

struct SitePage {
    std::string body;         ///< CP932
    std::string contentType;  ///< empty: no Content-Type header
};

/// The racing authority's pages for this week's meeting days (and, on the results pages, the
/// two weeks before), from the same calendar and records as the member data.
class RaceSite {
  public:
    /// `weekDays` as yyyymmdd; the past weeks are those before the week of the first of them
    /// (of `today` when there is none).
    /// `realRaceLists`: meeting-day pages link their races as the real site does (href links,
    /// on the odds lists the win odds only).
    RaceSite(const std::vector<std::string>& weekDays, int today, std::uint32_t seed,
             bool realRaceLists = false);

    /// What a POST of `code` to the family's entry path answers: the page, or the parameter
    /// error page when the site does not know the code.
    SitePage page(SiteFamily family, std::string_view code,
                  const CodeListFaults& faults = {}) const;
    /// "パラメータエラー", without any date.
    static SitePage errorPage();

  private:
    struct Found {
        const RaceDay* day = nullptr;
        int venueIndex = 0;
    };

    Found find(const PageCode& code) const;
    std::shared_ptr<const std::vector<RaceCard>> cardsOf(const RaceDay& day) const;
    SitePage topPage(SiteFamily family, const CodeListFaults& faults) const;
    SitePage dayPage(SiteFamily family, const RaceDay& day, int venueIndex, bool pastWeek,
                     const CodeListFaults& faults) const;
    SitePage racePage(SiteFamily family, std::string_view prefix, const RaceCard& race,
                      int venueIndex, bool pastWeek) const;

    std::vector<RaceDay> week_;
    std::vector<RaceDay> past_;
    std::uint32_t seed_;
    bool realRaceLists_ = false;
    mutable std::mutex mutex_;
    mutable std::map<int, std::shared_ptr<const std::vector<RaceCard>>> cards_;
};

}  // namespace kestrova::sample
