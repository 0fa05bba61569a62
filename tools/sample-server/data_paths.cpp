#include "data_paths.h"

#include <algorithm>
#include <cstdio>

#include "calendar.h"

namespace kestrova::sample {

std::string DataFileName::dayKey() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
    return buf;
}

std::string DataFileName::fileName() const {
    char buf[32];
    if (isMonth()) {
        std::snprintf(buf, sizeof buf, "TF%02d%02d.html", year % 100, month);
    } else {
        std::snprintf(buf, sizeof buf, "TF%02d%02d%02d.html", year % 100, month, day);
    }
    return buf;
}

std::optional<DataFileName> parseDataFileName(std::string_view fileName) {
    constexpr std::string_view prefix = "TF";
    constexpr std::string_view suffix = ".html";
    if (!fileName.starts_with(prefix) || !fileName.ends_with(suffix)) {
        return std::nullopt;
    }
    const std::string_view digits =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    if ((digits.size() != 4 && digits.size() != 6) ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto pair = [&](std::size_t pos) {
        return (digits[pos] - '0') * 10 + (digits[pos + 1] - '0');
    };
    DataFileName name{2000 + pair(0), pair(2), 0};
    if (name.month < 1 || name.month > 12) {
        return std::nullopt;
    }
    if (digits.size() == 6) {
        name.day = pair(4);
        if (daysOfKey(name.dayKey()) < 0) {
            return std::nullopt;
        }
    }
    return name;
}

std::optional<std::pair<int, int>> parseYearMonth(std::string_view text) {
    const auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (text.size() != 7 || text[4] != '-' || !digits(text.substr(0, 4)) ||
        !digits(text.substr(5))) {
        return std::nullopt;
    }
    const int year = std::stoi(std::string(text.substr(0, 4)));
    const int month = std::stoi(std::string(text.substr(5)));
    if (year < 2000 || month < 1 || month > 12) {
        return std::nullopt;
    }
    return std::pair{year, month};
}

std::time_t publishedAt(const DataFileName& name) {
    constexpr std::time_t kDay = 86400;
    if (name.isMonth()) {
        const int days = name.month == 12 ? daysFromCivil(name.year + 1, 1, 1)
                                          : daysFromCivil(name.year, name.month + 1, 1);
        return days * kDay;
    }
    // 18:00 in Japan is 09:00 UTC.
    return (daysFromCivil(name.year, name.month, name.day) - 1) * kDay + 9 * 3600;
}

PageStyle styleOf(const DataFileName& name) {
    PageStyle style;
    if (name.isMonth()) {
        style.charset = (name.year * 12 + name.month - 1) % 3 == 0 ? Charset::Utf8 : Charset::Cp932;
        style.layout = name.month % 4 == 1 ? Layout::Sections : Layout::Plain;
        style.sendContentType = name.month % 2 == 0;
    } else {
        style.charset = name.day % 2 == 0 ? Charset::Utf8 : Charset::Cp932;
        style.layout = name.day % 4 < 2 ? Layout::Sections : Layout::Plain;
        style.sendContentType = name.day % 3 != 0;
    }
    return style;
}

std::string contentTypeOf(Charset charset) {
    return charset == Charset::Utf8 ? "text/html; charset=UTF-8" : "text/html; charset=Shift_JIS";
}

}  // namespace kestrova::sample
