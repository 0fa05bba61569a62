#include "validators.h"

#include <array>
#include <cstdio>

#include "calendar.h"

namespace kestrova::sample {
namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string_view opaqueTag(std::string_view tag) {
    return tag.starts_with("W/") ? tag.substr(2) : tag;
}

/// Reads what a format of fixed width says; every other character must match the format
/// itself. Letters: d day, mmm month name, y year, h hour, i minute, s second.
struct DateReader {
    std::string_view text;
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;

    bool read(std::string_view format) {
        if (text.size() != format.size()) {
            return false;
        }
        for (std::size_t i = 0; i < format.size(); ++i) {
            const char f = format[i];
            if (f == 'm') {
                const std::string_view name = text.substr(i, 3);
                month = 0;
                for (std::size_t m = 0; m < kMonths.size(); ++m) {
                    if (kMonths[m] == name) {
                        month = static_cast<int>(m) + 1;
                    }
                }
                if (month == 0) {
                    return false;
                }
                i += 2;
            } else if (f == 'd' || f == 'y' || f == 'h' || f == 'i' || f == 's') {
                int* field = f == 'd'   ? &day
                             : f == 'y' ? &year
                             : f == 'h' ? &hour
                             : f == 'i' ? &minute
                                        : &second;
                const char c = text[i];
                // asctime pads a one-digit day with a space.
                if (c == ' ' && f == 'd' && i + 1 < format.size() && format[i + 1] == 'd') {
                    continue;
                }
                if (c < '0' || c > '9') {
                    return false;
                }
                *field = *field * 10 + (c - '0');
            } else if (f != text[i]) {
                return false;
            }
        }
        return true;
    }

    std::optional<std::time_t> time() const {
        if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
            return std::nullopt;
        }
        const int days = daysFromCivil(year, month, day);
        if (civilFromDays(days).day != day) {
            return std::nullopt;  // 31 February
        }
        return static_cast<std::time_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
    }
};

}  // namespace

std::string httpDate(std::time_t time) {
    const int days = static_cast<int>(time / 86400);
    const int seconds = static_cast<int>(time % 86400);
    const CivilDate date = civilFromDays(days);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  kWeekdays[static_cast<std::size_t>(weekdayOf(days))].data(), date.day,
                  kMonths[static_cast<std::size_t>(date.month - 1)].data(), date.year,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

std::optional<std::time_t> parseHttpDate(std::string_view text) {
    // The weekday is redundant and not checked.
    const std::size_t comma = text.find(',');
    DateReader r{comma == std::string_view::npos ? text : text.substr(comma + 1)};
    if (comma == 3) {
        if (!r.read(" dd mmm yyyy hh:ii:ss GMT")) {
            return std::nullopt;
        }
    } else if (comma != std::string_view::npos && comma > 3) {
        if (!r.read(" dd-mmm-yy hh:ii:ss GMT")) {
            return std::nullopt;
        }
        // Two-digit years: the 1970s to the 2060s.
        r.year += r.year < 70 ? 2000 : 1900;
    } else {
        r.text = text.size() > 4 ? text.substr(4) : std::string_view{};
        if (!r.read("mmm dd hh:ii:ss yyyy")) {
            return std::nullopt;
        }
    }
    return r.time();
}

bool noneMatchHits(std::string_view ifNoneMatch, std::string_view etag) {
    const std::string_view mine = opaqueTag(etag);
    std::size_t i = 0;
    while (i < ifNoneMatch.size()) {
        const char c = ifNoneMatch[i];
        if (c == ' ' || c == '\t' || c == ',') {
            ++i;
            continue;
        }
        if (c == '*') {
            return true;
        }
        std::size_t start = i;
        if (ifNoneMatch.substr(i).starts_with("W/")) {
            i += 2;
        }
        if (i < ifNoneMatch.size() && ifNoneMatch[i] == '"') {
            // A tag may hold commas, so it ends at its closing quote.
            const std::size_t close = ifNoneMatch.find('"', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            if (opaqueTag(ifNoneMatch.substr(start, close + 1 - start)) == mine) {
                return true;
            }
            i = close + 1;
        } else {
            // Not a tag: skip to the next member.
            const std::size_t comma = ifNoneMatch.find(',', i);
            i = comma == std::string_view::npos ? ifNoneMatch.size() : comma + 1;
        }
    }
    return false;
}

}  // namespace kestrova::sample
