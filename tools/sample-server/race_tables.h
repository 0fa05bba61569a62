#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calendar.h"
#include "race_authority.h"

namespace kestrova::sample {

/// One horse of a race as the member data has it.
struct Runner {
    int number = 0;
    int frame = 0;
    std::string name;
    std::string sexAge;
    std::string jockey;
    std::string trainer;
    std::string weight;  ///< carried, e.g. "57.0"
    int bodyWeight = 0;
    int bodyWeightChange = 0;
    int odds = 0;  ///< win odds in tenths
    int popularity = 0;
};

struct RaceCard {
    std::string dayKey;
    VenueDay venue;
    int race = 0;
    int distance = 0;
    bool turf = true;
    std::string going;
    std::vector<Runner> runners;  ///< by horse number
};

/// The races of one meeting day, venue by venue and race by race, built from the same records
/// the day file holds, so the site and the member data agree on every field they share.
std::vector<RaceCard> raceCardsOf(const RaceDay& day, std::uint32_t seed);

/// "3歳未勝利", "春風特別" ...
std::string raceName(const RaceCard& race);
/// "15:45"
std::string startTime(const RaceCard& race, int venueIndex);
/// "芝 1,600メートル" / "ダート 1,200メートル"
std::string courseText(const RaceCard& race);

/// The main part of each kind of race page, UTF-8 markup with "\n" line ends.
std::string raceCardTable(const RaceCard& race);
std::string resultTables(const RaceCard& race, std::uint32_t seed);
std::string oddsTables(const RaceCard& race, OddsKind kind);

}  // namespace kestrova::sample
