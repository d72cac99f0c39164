#include "library/datetime.h"

#include <gtest/gtest.h>

namespace vetra::library {
namespace {

TEST(DayNumber, counts_days_since_the_end_of_1899) {
    EXPECT_DOUBLE_EQ(to_day_number({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(to_day_number({2011, 1, 1, 0, 0, 0, 0}), 40544.0);
    EXPECT_DOUBLE_EQ(to_day_number({2011, 1, 1, 12, 0, 0, 0}), 40544.5);
    EXPECT_DOUBLE_EQ(to_day_number({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
    EXPECT_DOUBLE_EQ(to_day_number({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    // Around a leap day: January and February count from the year before in the calendar sum.
    EXPECT_DOUBLE_EQ(to_day_number({2024, 1, 31, 0, 0, 0, 0}), 45322.0);
    EXPECT_DOUBLE_EQ(to_day_number({2024, 2, 29, 0, 0, 0, 0}), 45351.0);
    EXPECT_DOUBLE_EQ(to_day_number({2024, 3, 1, 0, 0, 0, 0}), 45352.0);
}

TEST(DayNumber, converts_back_to_the_same_local_time) {
    const LocalTime t{2026, 12, 8, 23, 59, 58, 250};
    const LocalTime back = from_day_number(to_day_number(t));
    EXPECT_EQ(back.year, 2026);
    EXPECT_EQ(back.month, 12);
    EXPECT_EQ(back.day, 8);
    EXPECT_EQ(back.hour, 23);
    EXPECT_EQ(back.minute, 59);
    EXPECT_EQ(back.second, 58);
    EXPECT_EQ(back.millisecond, 250);

    // A hair before midnight rounds to the next day's 00:00:00, never to 24:00:00.
    EXPECT_EQ(format_date_time(from_day_number(45351.99999999999)), "01.03.2024 00:00:00");
}

TEST(DayNumber, rounding_to_seconds_drops_the_milliseconds) {
    const DayNumber d = to_day_number({2026, 3, 1, 10, 20, 30, 999});
    EXPECT_DOUBLE_EQ(round_to_seconds(d), to_day_number({2026, 3, 1, 10, 20, 30, 0}));
    EXPECT_EQ(format_date_time(from_day_number(d)), "01.03.2026 10:20:30");
}

}  // namespace
}  // namespace vetra::library

TEST(BuildStamp, is_written_as_the_program_writes_dates) {
    EXPECT_EQ(vetra::library::build_stamp_text("Dec  9 2026", "10:46:40"), "09.12.2026 10:46:40");
    EXPECT_EQ(vetra::library::build_stamp_text("Jan 31 2027", "00:00:05"), "31.01.2027 00:00:05");
    // A compiler that writes something else still says when.
    EXPECT_EQ(vetra::library::build_stamp_text("??? 9 2026", "10:46:40"), "??? 9 2026 10:46:40");
}
