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
}

TEST(DayNumber, rounding_to_seconds_drops_the_milliseconds) {
    const DayNumber d = to_day_number({2026, 3, 1, 10, 20, 30, 999});
    EXPECT_DOUBLE_EQ(round_to_seconds(d), to_day_number({2026, 3, 1, 10, 20, 30, 0}));
    EXPECT_EQ(format_date_time(from_day_number(d)), "01.03.2026 10:20:30");
}

}  // namespace
}  // namespace vetra::library
