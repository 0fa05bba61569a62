#include "export/race_keys.h"

#include <array>
#include <chrono>

#include "base/text.h"

namespace kestrova {
namespace {

constexpr std::array<std::string_view, 10> kVenueNames = {"札幌", "函館", "福島", "新潟", "東京",
                                                          "中山", "中京", "京都", "阪神", "小倉"};

/// Characters `first` (1-based) to `first + count - 1` of UTF-8 text, counted in code
/// points; positions past the end give a shorter or empty piece.
std::string_view mid(std::string_view text, std::size_t first, std::size_t count) {
    const auto isStart = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
    std::size_t pos = 0;
    for (std::size_t skipped = 1; pos < text.size() && skipped < first; ++skipped) {
        ++pos;
        while (pos < text.size() && !isStart(text[pos])) {
            ++pos;
        }
    }
    std::size_t end = pos;
    for (std::size_t taken = 0; end < text.size() && taken < count; ++taken) {
        ++end;
        while (end < text.size() && !isStart(text[end])) {
            ++end;
        }
    }
    return text.substr(pos, end - pos);
}

bool hasValidDay(std::string_view key, std::size_t length) {
    return key.size() == length && isAsciiDigits(key) && isValidDayKey(key.substr(0, 8));
}

}  // namespace

std::string convDigitPair(std::string_view pair) {
    if (pair.size() == 2 && isAsciiDigits(pair)) {
        const int number = (pair[0] - '0') * 10 + (pair[1] - '0');
        if (number >= 1 && number <= 9) {
            return std::string(1, static_cast<char>('0' + number));
        }
        if (number >= 10 && number <= 15) {
            return std::string(1, static_cast<char>('A' + number - 10));
        }
    }
    return std::string(pair);
}

std::string ON_CONV_KEY(std::string_view key) {
    std::string code(mid(key, 9, 2));
    code += mid(key, 3, 2);
    code += convDigitPair(mid(key, 11, 2));
    code += convDigitPair(mid(key, 13, 2));
    return code;
}

std::string GET_JYOCD(std::string_view venueName) {
    const auto name = trimSpaces(venueName);
    for (std::size_t i = 0; i < kVenueNames.size(); ++i) {
        if (name == kVenueNames[i]) {
            const auto code = i + 1;
            return {static_cast<char>('0' + code / 10), static_cast<char>('0' + code % 10)};
        }
    }
    return {};
}

bool isValidDayKey(std::string_view key) {
    if (key.size() != 8 || !isAsciiDigits(key)) {
        return false;
    }
    const auto number = [&](std::size_t pos, std::size_t length) {
        int value = 0;
        for (std::size_t i = pos; i < pos + length; ++i) {
            value = value * 10 + (key[i] - '0');
        }
        return value;
    };
    const std::chrono::year_month_day date{std::chrono::year(number(0, 4)),
                                           std::chrono::month(static_cast<unsigned>(number(4, 2))),
                                           std::chrono::day(static_cast<unsigned>(number(6, 2)))};
    return number(0, 4) >= 1 && date.ok();
}

bool isValidRaceKey(std::string_view key) {
    return hasValidDay(key, 16);
}

}  // namespace kestrova
