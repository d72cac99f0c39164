#pragma once

#include <chrono>
#include <string>

namespace vetra::library {

// A date-time as the design stores and sends it: days since 30 December 1899, local time,
// the fraction being the time of day.
using DayNumber = double;

struct LocalTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

DayNumber to_day_number(const LocalTime& t);
LocalTime from_day_number(DayNumber days);
LocalTime local_time_of(std::chrono::system_clock::time_point tp);

// Whole seconds of a day number: the design formats "dd.MM.yyyy hh:mm:ss" and reads it back.
DayNumber round_to_seconds(DayNumber days);
LocalTime truncate_to_seconds(const LocalTime& t);

// "dd.MM.yyyy hh:mm:ss"
std::string format_date_time(const LocalTime& t);

// The compiler's __DATE__ ("Dec  9 2026") and __TIME__ ("10:46:40") as the program writes
// dates: "09.12.2026 10:46:40"; the texts as they are when they do not parse.
std::string build_stamp_text(const std::string& date, const std::string& time);

constexpr double kSecondInDays = 1.0 / 86400.0;

}  // namespace vetra::library
