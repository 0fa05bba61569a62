#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::sample {

/// A civil date as days since 1970-01-01.
int daysFromCivil(int year, int month, int day);
struct CivilDate {
    int year;
    int month;
    int day;
};
CivilDate civilFromDays(int days);
/// 0 = Sunday .. 6 = Saturday.
int weekdayOf(int days);
/// "yyyymmdd"
std::string dayKeyOf(int days);
/// Days of an 8-digit day key that names a real date; -1 otherwise.
int daysOfKey(std::string_view dayKey);

/// One venue meeting on one day: the MeetingKey parts.
struct VenueDay {
    int venue = 0;    ///< 1..10
    int meeting = 0;  ///< meeting of the year at this venue
    int day = 0;      ///< day within the meeting
};

/// One meeting day and its venues, ordered by venue code.
struct RaceDay {
    int days = 0;
    int venueCount = 0;
    std::array<VenueDay, 3> venues{};
};

/// The racing calendar of one year: weekends (and a few holiday Mondays) from early January
/// to 28 December, each with two or three venues in the usual seasonal rotation.
std::vector<RaceDay> yearCalendar(int year);

/// The meeting days of the week (Tuesday to Monday) that holds `today`.
std::vector<std::string> weekMeetingDays(int today);

}  // namespace kestrova::sample
