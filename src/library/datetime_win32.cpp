#include "library/datetime.h"

#include <windows.h>

namespace vetra::library {

LocalTime local_time_of(std::chrono::system_clock::time_point tp) {
    // FILETIME counts 100 ns from 1601-01-01; the system clock counts from 1970-01-01.
    constexpr long long kFrom1601 = 116'444'736'000'000'000LL;
    const long long ticks =
        std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10'000'000>>>(
            tp.time_since_epoch())
            .count() +
        kFrom1601;
    FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!::FileTimeToSystemTime(&utc, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        ::GetLocalTime(&local);
    }
    LocalTime t;
    t.year = local.wYear;
    t.month = local.wMonth;
    t.day = local.wDay;
    t.hour = local.wHour;
    t.minute = local.wMinute;
    t.second = local.wSecond;
    t.millisecond = local.wMilliseconds;
    return t;
}

}  // namespace vetra::library
