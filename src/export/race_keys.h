#pragma once

#include <string>
#include <string_view>

namespace kestrova {

/// HostMeetingCode of a MeetingKey or RaceKey: venue (9-10) + year (3-4) + meeting (11-12)
/// and day (13-14) through the digit table ("01".."09" -> "1".."9", "10".."15" -> "A".."F",
/// anything else kept). Short keys give what their characters give; never throws.
std::string ON_CONV_KEY(std::string_view key);

/// Two-digit venue code of a venue name (trimmed of spaces), "" when not one of the ten.
std::string GET_JYOCD(std::string_view venueName);

/// One pair through the digit table.
std::string convDigitPair(std::string_view pair);

/// Keys from the server decide file and folder names; only these shapes may reach them.
bool isValidDayKey(std::string_view key);   ///< 8 ASCII digits forming a real date
bool isValidRaceKey(std::string_view key);  ///< 16 ASCII digits, a valid day key first

inline std::string_view dayKeyOf(std::string_view raceKey) {
    return raceKey.substr(0, 8);
}
inline std::string_view meetingKeyOf(std::string_view raceKey) {
    return raceKey.substr(0, 14);
}

}  // namespace kestrova
