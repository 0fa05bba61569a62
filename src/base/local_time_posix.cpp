#include <ctime>

#include "base/local_time.h"

namespace kestrova {

LocalTime toLocalTime(std::chrono::system_clock::time_point when) {
    const auto sinceEpoch = when.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm parts{};
    localtime_r(&whole, &parts);
    return {
        parts.tm_year + 1900,
        parts.tm_mon + 1,
        parts.tm_mday,
        parts.tm_hour,
        parts.tm_min,
        parts.tm_sec,
        static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count())};
}

}  // namespace kestrova
