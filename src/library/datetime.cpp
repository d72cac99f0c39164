#include "library/datetime.h"

#include <cmath>
#include <cstdio>

namespace vetra::library {
namespace {

// Days from 1970-01-01 in the proleptic Gregorian calendar.
constexpr long long days_from_civil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civil_from_days(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// Constant-initialised: other files compute dates while their own statics are made.
constexpr long long kEpochOffset = days_from_civil(1899, 12, 30);  // negative: before 1970

}  // namespace

DayNumber to_day_number(const LocalTime& t) {
    const long long days =
        days_from_civil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
        kEpochOffset;
    const double ms_of_day =
        ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond;
    // Before the epoch the fraction counts forwards from the (negative) day, as the
    // platform's date-time does.
    const double fraction = ms_of_day / 86'400'000.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

LocalTime from_day_number(DayNumber value) {
    const double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    long long ms = std::llround(fraction * 86'400'000.0);
    long long days = static_cast<long long>(whole);
    if (ms >= 86'400'000LL) {
        ms -= 86'400'000LL;
        days += value >= 0 ? 1 : -1;
    }
    LocalTime t;
    civil_from_days(days + kEpochOffset, t.year, t.month, t.day);
    t.millisecond = static_cast<int>(ms % 1000);
    const long long secs = ms / 1000;
    t.second = static_cast<int>(secs % 60);
    t.minute = static_cast<int>((secs / 60) % 60);
    t.hour = static_cast<int>(secs / 3600);
    return t;
}

LocalTime truncate_to_seconds(const LocalTime& t) {
    LocalTime out = t;
    out.millisecond = 0;
    return out;
}

DayNumber round_to_seconds(DayNumber days) {
    return to_day_number(truncate_to_seconds(from_day_number(days)));
}

std::string format_date_time(const LocalTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return buf;
}

std::string build_stamp_text(const std::string& date, const std::string& time) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    LocalTime t;
    char month[4] = {};
    if (std::sscanf(date.c_str(), "%3s %d %d", month, &t.day, &t.year) != 3 ||
        std::sscanf(time.c_str(), "%d:%d:%d", &t.hour, &t.minute, &t.second) != 3) {
        return date + " " + time;
    }
    for (int m = 0; m < 12; ++m) {
        if (std::string(month) == kMonths[m]) {
            t.month = m + 1;
            return format_date_time(t);
        }
    }
    return date + " " + time;
}

}  // namespace vetra::library
