#include "display/totalizer_strip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vetra::display {
namespace {

constexpr double kT0 = 46000.5;

// Three hours of one reading a second, wandering, with a ten-minute hole in the middle.
analysis::TotalizerLog three_hours() {
    analysis::TotalizerLog log;
    for (int s = 0; s < 3 * 3600; ++s) {
        if (s >= 5000 && s < 5600) {
            continue;
        }
        log.append(kT0 + s * library::kSecondInDays,
                   static_cast<float>(5.0 + 4.0 * std::sin(s / 97.0) * std::cos(s / 13.0)), 0.0f);
    }
    return log;
}

class StripLines : public ::testing::TestWithParam<int> {};

// Every line holds exactly the extremes of the records that fall on it, and the hole is
// not bridged.
TEST_P(StripLines, hold_the_extremes_of_their_records) {
    const analysis::TotalizerLog log = three_hours();
    const int index = GetParam();
    const auto window =
        strip_window(log, totalizer_span_days(index), 1800 * library::kSecondInDays);
    ASSERT_TRUE(window);
    const int n = 700;
    const auto lines = strip_lines(log, *window, n, 5 * library::kSecondInDays);
    std::vector<StripLine> expected(n);
    int previous = -1;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const double t = log.time(i);
        if (t < window->begin || t > window->end) {
            continue;
        }
        const int line = std::clamp(
            static_cast<int>((t - window->begin) * n / (window->end - window->begin)), 0, n - 1);
        StripLine& e = expected[static_cast<std::size_t>(line)];
        const float v = log.value(i);
        e.min = e.any ? std::min(e.min, v) : v;
        e.max = e.any ? std::max(e.max, v) : v;
        e.gap_before =
            e.gap_before || (!e.any && previous >= 0 && t - log.time(i - 1) > 5.5 / 86400);
        e.any = true;
        previous = line;
    }
    int gaps = 0;
    for (int i = 0; i < n; ++i) {
        const auto& a = lines[static_cast<std::size_t>(i)];
        const auto& e = expected[static_cast<std::size_t>(i)];
        ASSERT_EQ(a.any, e.any) << i;
        if (e.any) {
            EXPECT_EQ(a.min, e.min) << i;
            EXPECT_EQ(a.max, e.max) << i;
            EXPECT_EQ(a.gap_before, e.gap_before) << i;
            gaps += a.gap_before;
        }
    }
    const bool hole_shown = window->begin < kT0 + 5000 * library::kSecondInDays &&
                            window->end > kT0 + 5600 * library::kSecondInDays;
    EXPECT_EQ(gaps, hole_shown ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Spans, StripLines, ::testing::Values(0, 2, 5, 8, 10, 11));

TEST(StripWindow, ends_the_offset_before_the_newest_record_and_spans_the_chosen_time) {
    const analysis::TotalizerLog log = three_hours();
    const auto w = strip_window(log, totalizer_span_days(9), 60 * library::kSecondInDays);
    ASSERT_TRUE(w);
    EXPECT_NEAR((log.time(log.size() - 1) - w->end) * 86400, 60, 1e-6);
    EXPECT_NEAR((w->end - w->begin) * 86400, 3600, 1e-6);
    EXPECT_FALSE(strip_window(analysis::TotalizerLog{}, 1.0, 0.0));
    EXPECT_EQ(totalizer_span_days(42), totalizer_span_days(0));
    EXPECT_STREQ(totalizer_span_text(11), "3 часа");
}

TEST(StripScale, leaves_the_largest_reading_room_below_the_edge_unless_fixed) {
    const struct {
        int index;
        double largest;
        double full;
        double step;
    } cases[] = {{0, 0.0, 0.5, 0.1}, {0, 0.3, 0.5, 0.1}, {0, 0.48, 1, 0.2}, {0, 1.5, 2, 0.5},
                 {0, 1.9, 2, 0.5},   {0, 1.91, 5, 1},    {0, 7, 10, 2},     {0, 60, 100, 20},
                 {0, 500, 100, 20},  {1, 7, 1, 0.2},     {3, 0.1, 5, 1},    {5, 0.1, 100, 20},
                 {9, 7, 10, 2},      {-1, 0.9, 1, 0.2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << " " << c.largest);
        const StripScale s = strip_scale(c.index, c.largest);
        EXPECT_EQ(s.full, c.full);
        EXPECT_EQ(s.step, c.step);
    }
    EXPECT_STREQ(totalizer_scale_text(4), "0-10 %");
    EXPECT_STREQ(totalizer_scale_text(6), "Авто");
}

TEST(StripCursor, finds_the_nearest_record) {
    analysis::TotalizerLog log;
    for (int s : {0, 10, 20}) {
        log.append(kT0 + s * library::kSecondInDays, static_cast<float>(s), 0.0f);
    }
    EXPECT_EQ(nearest_record(log, kT0 - 1), 0u);
    EXPECT_EQ(nearest_record(log, kT0 + 14 * library::kSecondInDays), 1u);
    EXPECT_EQ(nearest_record(log, kT0 + 16 * library::kSecondInDays), 2u);
    EXPECT_EQ(nearest_record(log, kT0 + 1), 2u);
}

}  // namespace
}  // namespace vetra::display
