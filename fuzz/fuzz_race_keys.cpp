// The checks on keys from the server, which decide file and folder names.
//
// Input: the key (or venue name) as it is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "export/race_keys.h"
#include "fuzz_checks.h"

namespace kestrova {
namespace {

using fuzz::check;

bool allDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !text.empty();
}

int number(std::string_view digits) {
    int value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

/// The Gregorian calendar, written out apart from the code under test.
bool isRealDate(int year, int month, int day) {
    if (year < 1 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool isHexDigitUpper(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

/// Code points of UTF-8 text (continuation bytes not counted).
std::size_t codePoints(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return count;
}

void checkKey(std::string_view key) {
    const bool day = isValidDayKey(key);
    check(day == (key.size() == 8 && allDigits(key) &&
                  isRealDate(number(key.substr(0, 4)), number(key.substr(4, 2)),
                             number(key.substr(6, 2)))),
          "isValidDayKey is wrong", key);

    const bool race = isValidRaceKey(key);
    check(race == (key.size() == 16 && allDigits(key) && isValidDayKey(dayKeyOf(key))),
          "isValidRaceKey is wrong", key);
    if (race) {
        check(dayKeyOf(key) == key.substr(0, 8), "dayKeyOf is not the first 8 characters", key);
    }

    const std::string code = ON_CONV_KEY(key);
    if (fuzz::isUtf8(key)) {
        check(fuzz::isUtf8(code), "ON_CONV_KEY cut a character", key);
        check(codePoints(code) <= 8, "ON_CONV_KEY is longer than its four pairs", key);
    }
    const bool meeting = key.size() == 14 && allDigits(key) && isValidDayKey(key.substr(0, 8));
    if (race || meeting) {
        // Venue, year, then meeting and day through the digit table.
        const std::string expected = std::string(key.substr(8, 2)) + std::string(key.substr(2, 2)) +
                                     convDigitPair(key.substr(10, 2)) +
                                     convDigitPair(key.substr(12, 2));
        check(code == expected, "ON_CONV_KEY is not venue, year, meeting, day", key);
        check(code == ON_CONV_KEY(meetingKeyOf(key)), "ON_CONV_KEY reads past the meeting key",
              key);
        for (const char c : code) {
            check(isHexDigitUpper(c), "ON_CONV_KEY gave a character outside 0-9A-F", key);
        }
    }

    if (key.size() == 2) {
        const std::string pair = convDigitPair(key);
        const int value = allDigits(key) ? number(key) : -1;
        if (value >= 1 && value <= 15) {
            check(pair.size() == 1 && pair[0] == "0123456789ABCDEF"[value],
                  "convDigitPair maps a pair wrongly", key);
        } else {
            check(pair == key, "convDigitPair changed a pair outside the table", key);
        }
    }

    const std::string venue = GET_JYOCD(key);
    if (!venue.empty()) {
        check(venue.size() == 2 && allDigits(venue) && number(venue) >= 1 && number(venue) <= 10,
              "GET_JYOCD gave a code outside 01-10", key);
    }
    check(GET_JYOCD("  " + std::string(key) + " ") == venue,
          "spaces around a venue name change its code", key);
}

}  // namespace
}  // namespace kestrova

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    kestrova::checkKey(input);
    // The shapes the server sends, cut from the front of longer inputs.
    for (const std::size_t length : {8, 14, 16}) {
        if (input.size() > length) {
            kestrova::checkKey(input.substr(0, length));
        }
    }
    return 0;
}
