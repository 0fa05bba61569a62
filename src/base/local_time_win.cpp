#include <windows.h>

#include "base/local_time.h"

namespace kestrova {

LocalTime toLocalTime(std::chrono::system_clock::time_point when) {
    // FILETIME counts 100 ns from 1601-01-01; the system clock's epoch is 1970-01-01.
    constexpr long long kEpochDifference = 116'444'736'000'000'000LL;
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10'000'000>>>(
            when.time_since_epoch())
            .count() +
        kEpochDifference;
    FILETIME utcFile{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FileTimeToSystemTime(&utcFile, &utc);
    // The time zone's rules of that date, summer time included.
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        local = utc;
    }
    return {local.wYear,   local.wMonth,  local.wDay,         local.wHour,
            local.wMinute, local.wSecond, local.wMilliseconds};
}

}  // namespace kestrova
