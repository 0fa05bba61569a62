#pragma once

#include <chrono>

namespace kestrova {

/// A moment as the local clock on the wall shows it.
struct LocalTime {
    int year = 0;
    int month = 0;  ///< 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

LocalTime toLocalTime(std::chrono::system_clock::time_point when);

}  // namespace kestrova
