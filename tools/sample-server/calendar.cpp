#include "calendar.h"

#include <algorithm>
#include <cstdio>

namespace kestrova::sample {

int daysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate civilFromDays(int days) {
    days += 719468;
    const int era = (days >= 0 ? days : days - 146096) / 146097;
    const int doe = days - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int day = doy - (153 * mp + 2) / 5 + 1;
    const int month = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int weekdayOf(int days) {
    return ((days % 7) + 11) % 7;
}

std::string dayKeyOf(int days) {
    const CivilDate d = civilFromDays(days);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
    return buf;
}

int daysOfKey(std::string_view dayKey) {
    if (dayKey.size() != 8 ||
        !std::all_of(dayKey.begin(), dayKey.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    const auto number = [&](std::size_t pos, std::size_t len) {
        int v = 0;
        for (std::size_t i = pos; i < pos + len; ++i) {
            v = v * 10 + (dayKey[i] - '0');
        }
        return v;
    };
    const int year = number(0, 4);
    const int month = number(4, 2);
    const int day = number(6, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return -1;
    }
    const int days = daysFromCivil(year, month, day);
    const CivilDate back = civilFromDays(days);
    return back.month == month && back.day == day ? days : -1;
}

namespace {

enum Venue {
    Sapporo = 1,
    Hakodate,
    Fukushima,
    Niigata,
    Tokyo,
    Nakayama,
    Chukyo,
    Kyoto,
    Hanshin,
    Kokura
};

// A slot runs one venue at a time; an entry lasts until the next entry of its slot.
struct SlotEntry {
    int firstWeekend;
    int venue;  // 0: the slot is idle
};

constexpr SlotEntry kEast[] = {{0, Nakayama}, {3, Tokyo},     {7, Nakayama},   {11, Nakayama},
                               {15, Tokyo},   {21, Tokyo},    {25, Fukushima}, {28, Niigata},
                               {32, Niigata}, {35, Nakayama}, {39, Tokyo},     {43, Tokyo},
                               {47, Nakayama}};
constexpr SlotEntry kWest[] = {{0, Kyoto},    {4, Kyoto},    {8, Hanshin}, {12, Hanshin},
                               {16, Kyoto},   {22, Hanshin}, {26, Chukyo}, {29, Kokura},
                               {35, Hanshin}, {39, Kyoto},   {43, Kyoto},  {47, Hanshin}};
constexpr SlotEntry kLocal[] = {{0, Chukyo},     {4, Kokura},   {8, Chukyo},    {12, Fukushima},
                                {16, Niigata},   {20, 0},       {23, Hakodate}, {26, Hakodate},
                                {29, Sapporo},   {32, Sapporo}, {35, 0},        {39, Niigata},
                                {42, Fukushima}, {46, 0},       {48, Chukyo}};

struct Meeting {
    int firstWeekend;
    int endWeekend;  // exclusive
    int venue;
    bool local;
};

// Holiday Mondays the two main venues race on: Coming of Age Day, Respect for the Aged Day
// and Sports Day.
bool isRacingMonday(int days) {
    const CivilDate d = civilFromDays(days);
    const int nth = (d.day - 1) / 7 + 1;
    return (d.month == 1 && nth == 2) || (d.month == 9 && nth == 3) || (d.month == 10 && nth == 2);
}

template <std::size_t N>
void addSlot(std::vector<Meeting>& out, const SlotEntry (&slot)[N], bool local) {
    for (std::size_t i = 0; i < N; ++i) {
        if (slot[i].venue == 0) {
            continue;
        }
        const int end = i + 1 < N ? slot[i + 1].firstWeekend : 1000;
        out.push_back({slot[i].firstWeekend, end, slot[i].venue, local});
    }
}

}  // namespace

std::vector<RaceDay> yearCalendar(int year) {
    std::vector<Meeting> meetings;
    addSlot(meetings, kEast, false);
    addSlot(meetings, kWest, false);
    addSlot(meetings, kLocal, true);
    std::stable_sort(meetings.begin(), meetings.end(), [](const Meeting& a, const Meeting& b) {
        return a.firstWeekend < b.firstWeekend;
    });

    const int firstDay = daysFromCivil(year, 1, 4);
    const int lastDay = daysFromCivil(year, 12, 28);
    int firstSaturday = daysFromCivil(year, 1, 3);
    while (weekdayOf(firstSaturday) != 6) {
        ++firstSaturday;
    }

    std::vector<RaceDay> days;
    for (int weekend = 0; firstSaturday + 7 * weekend <= lastDay; ++weekend) {
        const int saturday = firstSaturday + 7 * weekend;
        for (int offset = 0; offset < 3; ++offset) {
            const int day = saturday + offset;
            if (day < firstDay || day > lastDay || (offset == 2 && !isRacingMonday(day))) {
                continue;
            }
            RaceDay rd;
            rd.days = day;
            days.push_back(rd);
        }
    }

    int meetingNumbers[11] = {};
    for (const Meeting& m : meetings) {
        int dayNumber = 0;
        bool counted = false;
        for (RaceDay& rd : days) {
            const int weekend = (rd.days - firstSaturday) / 7;
            if (weekend < m.firstWeekend || weekend >= m.endWeekend) {
                continue;
            }
            if (m.local && weekdayOf(rd.days) == 1) {
                continue;
            }
            if (!counted) {
                ++meetingNumbers[m.venue];
                counted = true;
            }
            rd.venues[static_cast<std::size_t>(rd.venueCount++)] = {
                m.venue, meetingNumbers[m.venue], ++dayNumber};
        }
    }
    for (RaceDay& rd : days) {
        std::sort(rd.venues.begin(), rd.venues.begin() + rd.venueCount,
                  [](const VenueDay& a, const VenueDay& b) { return a.venue < b.venue; });
    }
    return days;
}

std::vector<std::string> weekMeetingDays(int today) {
    // The week runs Tuesday to Monday, so a holiday Monday still belongs to its weekend.
    int tuesday = today;
    while (weekdayOf(tuesday) != 2) {
        --tuesday;
    }
    std::vector<std::string> out;
    for (int y : {civilFromDays(tuesday).year, civilFromDays(tuesday + 6).year}) {
        for (const RaceDay& rd : yearCalendar(y)) {
            if (rd.days >= tuesday && rd.days <= tuesday + 6) {
                out.push_back(dayKeyOf(rd.days));
            }
        }
        if (civilFromDays(tuesday).year == civilFromDays(tuesday + 6).year) {
            break;
        }
    }
    return out;
}

}  // namespace kestrova::sample
