#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <vector>

#include "analysis/gas_shows.h"

namespace vetra::analysis {
namespace {

// A recorded series: depth and total gas every 0.5 m.
std::vector<GasShow> pick(const std::vector<double>& totals, ShowParameters p = {}) {
    ShowPicker picker(p);
    std::vector<GasShow> shows;
    for (std::size_t i = 0; i < totals.size(); ++i) {
        GasReading r;
        r.depth = 2000 + 0.5 * static_cast<double>(i);
        r.total = totals[i];
        r.time = static_cast<double>(i);
        if (auto s = picker.add(r)) {
            shows.push_back(*s);
        }
    }
    return shows;
}

TEST(ShowPicker, shows_do_not_raise_their_background_and_both_thresholds_count) {
    std::vector<double> series(60, 0.5);
    series[3] = 0.8;  // noise within the factor
    for (std::size_t i = 20; i < 34; ++i) {
        series[i] = 2.5;  // 7 m of show, near the 10 m window
    }
    series[27] = 4.0;
    series[50] = 1.01;  // 2 x background, but background + minimum only with a bigger minimum
    auto shows = pick(series);
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_DOUBLE_EQ(shows[0].top, 2010);
    EXPECT_DOUBLE_EQ(shows[0].bottom, 2016.5);
    EXPECT_DOUBLE_EQ(shows[0].peak_depth, 2013.5);
    EXPECT_DOUBLE_EQ(shows[0].peak_total, 4.0);
    EXPECT_DOUBLE_EQ(shows[0].background, 0.5);
    // Right after the show the background is still the formation's.
    EXPECT_DOUBLE_EQ(shows[1].background, 0.5);
    EXPECT_DOUBLE_EQ(shows[1].top, 2025);
    EXPECT_TRUE(pick(series, {10, 2, 0.6}).size() == 1);
    // Unknown depths are passed over; too few readings give no background yet.
    ShowPicker picker;
    EXPECT_FALSE(picker.add({0, 9.0, 0, false, false, nullptr}));
    EXPECT_FALSE(picker.background());
}

TEST(ShowPicker, a_level_that_stays_up_longer_than_the_window_becomes_the_background) {
    std::vector<double> series(30, 0.5);
    series.resize(120, 2.0);  // a new formation, 45 m of it
    const auto shows = pick(series);
    ASSERT_EQ(shows.size(), 1u);
    EXPECT_NEAR(shows[0].bottom - shows[0].top, 10, 0.5);
}

// Values coming and going as through the picker's window (first in, first out, the window
// growing and shrinking, many equal values): the median is always nth_element's.
TEST(RunningMedian, matches_a_sorted_reference_through_a_sliding_window) {
    std::mt19937 random(11);
    RunningMedian median;
    std::deque<double> window;
    for (int step = 0; step < 20000; ++step) {
        const bool grow = window.empty() || random() % 100 < (step % 4000 < 2000 ? 60u : 40u);
        if (grow) {
            const double v = static_cast<double>(random() % 50) / 10.0;
            window.push_back(v);
            median.insert(v);
        } else {
            median.erase(window.front());
            window.pop_front();
        }
        ASSERT_EQ(median.size(), window.size());
        if (!window.empty()) {
            std::vector<double> sorted(window.begin(), window.end());
            std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
            ASSERT_EQ(median.median(), sorted[sorted.size() / 2]) << "step " << step;
        }
    }
}

TEST(ShowPicker, journal_line_has_the_operators_format_and_the_class) {
    GasShow s;
    s.top = 1523.44;
    s.bottom = 1527.0;
    s.peak_total = 4.2;
    s.background = 0.6;
    s.peak_gases = {{"GS", 4.2, true}, {"C1", 3.1, false}};
    EXPECT_EQ(show_journal_line(s),
              "Газопоказание 1523,4-1527,0 м: сумм. газ 4,2 % при фоне 0,6 %, метан 3,1 % "
              "(при бурении)");
    s.show_class = ShowClass::trip;
    s.background = 0.04;
    s.peak_gases.clear();
    EXPECT_EQ(show_journal_line(s),
              "Газопоказание 1523,4-1527,0 м: сумм. газ 4,2 % при фоне 0,04 % (газ после СПО)");
    for (const auto c : {ShowClass::drilled, ShowClass::connection, ShowClass::trip}) {
        EXPECT_EQ(show_class_from_key(show_class_key(c)), c);
    }
}

}  // namespace
}  // namespace vetra::analysis
