#include "library/datetime.h"

#include <ctime>

namespace vetra::library {

LocalTime local_time_of(std::chrono::system_clock::time_point tp) {
    const auto since = tp.time_since_epoch();
    const auto secs = std::chrono::floor<std::chrono::seconds>(since);
    const std::time_t tt = static_cast<std::time_t>(secs.count());
    std::tm tm{};
    localtime_r(&tt, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since - secs).count());
    return t;
}

}  // namespace vetra::library
