#include "analysis/gaz_calculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>

#include "calculator_rig.h"

namespace vetra::analysis {
namespace {

using test::CalculatorRig;

double identity(int, double p) {
    return p;
}

// --- zero level -------------------------------------------------------------------------

TEST(ZeroLevel, with_eight_samples_a_second_is_the_mean_of_samples_0_to_39) {
    CalculatorRig rig(8);
    rig.gases.resize(0);
    rig.fill(39, [](int i) { return i; });
    rig.calc.process(0, true);
    EXPECT_EQ(rig.calc.zeroLevel(), 0.0);
    rig.append(39);
    rig.append(1000);  // beyond the interval
    rig.calc.process(0, true);
    EXPECT_DOUBLE_EQ(rig.calc.zeroLevel(), 19.5);
}

TEST(ZeroLevel, with_twenty_samples_a_second_skips_the_first_two) {
    CalculatorRig rig(20);
    rig.gases.resize(0);
    rig.fill(100, [](int i) { return i; });
    rig.calc.process(0, true);
    EXPECT_DOUBLE_EQ(rig.calc.zeroLevel(), 50.5);  // (2 + 99) / 2
}

TEST(ZeroLevel, is_determined_once_per_analysis) {
    CalculatorRig rig(8);
    rig.gases.resize(0);
    rig.fill(40, [](int) { return 3.0; });
    rig.calc.process(0, true);
    rig.set(0, 50);
    rig.set(10, 50);
    rig.calc.process(0, true);
    EXPECT_DOUBLE_EQ(rig.calc.zeroLevel(), 3.0);
    rig.calc.reset();
    rig.calc.process(0, true);
    EXPECT_DOUBLE_EQ(rig.calc.zeroLevel(), (38 * 3.0 + 100) / 40);
}

TEST(ZeroLevel, leaves_samples_that_are_not_numbers_out) {
    CalculatorRig rig(8);
    rig.gases.resize(0);
    rig.fill(40, [](int i) { return i < 2 ? std::nan("") : 4.0; });
    rig.calc.process(0, true);
    EXPECT_DOUBLE_EQ(rig.calc.zeroLevel(), 4.0);
}

// --- the gate ---------------------------------------------------------------------------

TEST(GasGate, a_window_ending_at_75_s_waits_for_640_samples) {
    CalculatorRig rig(8);
    rig.use_windows({{70, 75}});
    rig.fill(639, [](int) { return 1.0; });
    rig.calc.process(0, true);
    EXPECT_TRUE(rig.calc.results().empty());
    rig.append(1.0);
    rig.calc.process(0, true);
    ASSERT_EQ(rig.calc.results().size(), 3u);  // gas, total, relative
    EXPECT_EQ(rig.calc.results()[0].name, "g0");
    EXPECT_EQ(rig.published.size(), 1u);
}

TEST(GasGate, six_samples_or_fewer_from_start_to_end_are_never_computed) {
    CalculatorRig rig(8);
    // 80 .. 85 (e - s = 5) and 80 .. 86 (e - s = 6).
    rig.use_windows({{10, 10.625f}, {10, 10.75f}});
    rig.fill(400, [](int) { return 1.0; });
    rig.calc.process(0, true);
    ASSERT_EQ(rig.calc.results().size(), 1u);
    EXPECT_EQ(rig.calc.results()[0].name, "g1");
}

TEST(GasGate, a_negative_start_or_no_samples_per_second_waits_for_ever) {
    CalculatorRig rig(8);
    rig.use_windows({{-1, 5}});
    rig.fill(400, [](int) { return 1.0; });
    rig.calc.process(0, true);
    EXPECT_TRUE(rig.calc.results().empty());
    rig.settings.samples_per_second = 0;
    rig.gases.setWindow(0, 10, 15);
    rig.calc.process(0, true);
    EXPECT_TRUE(rig.calc.results().empty());
}

// --- area and height --------------------------------------------------------------------

// Baseline 2 in window 10 .. 15 s (samples 80 .. 120), a peak of 10 and 6 at 100 and 101,
// and two samples below the baseline.
double dipped_peak(int i) {
    switch (i) {
        case 100:
            return 10;
        case 101:
            return 6;
        case 95:
            return -3;
        case 96:
            return 0;
        default:
            return 2;
    }
}

TEST(GasArea, samples_below_the_baseline_do_not_reduce_the_area) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}});
    rig.fill(160, dipped_peak);
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    const auto& r = rig.calc.results()[0];
    EXPECT_DOUBLE_EQ(r.area, 1.5);  // (8 + 4) / 8
    EXPECT_DOUBLE_EQ(r.peak_max, 10.0);
    EXPECT_DOUBLE_EQ(rig.calc.current_baseline(), 2.0);
}

TEST(GasArea, height_mode_takes_the_maximum_less_twice_the_baseline) {
    CalculatorRig rig(8);
    rig.settings.calc_result_from_pick = true;
    rig.use_windows({{10, 15}});
    rig.fill(160, dipped_peak);
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_DOUBLE_EQ(rig.calc.results()[0].area, 6.0);
}

TEST(GasArea, a_flat_signal_gives_zero_in_both_modes) {
    for (bool height : {false, true}) {
        CalculatorRig rig(8);
        rig.settings.calc_result_from_pick = height;  // height would be -2
        rig.use_windows({{10, 15}});
        rig.fill(160, [](int) { return 2.0; });
        rig.calc.process(0, true);
        ASSERT_FALSE(rig.calc.results().empty());
        EXPECT_EQ(rig.calc.results()[0].area, 0.0) << height;
    }
}

TEST(GasArea, the_end_sample_counts_for_the_area_but_not_for_the_maximum) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}});
    rig.fill(160, [](int i) { return i == 120 ? 7.0 : 2.0; });
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_DOUBLE_EQ(rig.calc.current_baseline(), 3.0);  // (4 x 2 + 7) / 5
    EXPECT_DOUBLE_EQ(rig.calc.results()[0].peak_max, 2.0);
    EXPECT_DOUBLE_EQ(rig.calc.results()[0].area, 0.5);  // (7 - 3) / 8
}

TEST(GasArea, samples_that_are_not_numbers_never_reach_the_concentration) {
    struct Case {
        int index;
        double value;
        double area;
    };
    // Inside the window a NaN is skipped; in the baseline it makes everything 0; an
    // infinite sample makes the area infinite, which counts as 0.
    for (const Case c : {Case{100, std::nan(""), 0.5}, Case{80, std::nan(""), 0.0},
                         Case{100, INFINITY, 0.0}, Case{99, std::nan(""), 1.5}}) {
        CalculatorRig rig(8);
        rig.use_windows({{10, 15}});
        rig.calc.set_concentration_function([](int, double p) { return p * 2; });
        rig.fill(160, dipped_peak);
        rig.set(c.index, c.value);
        rig.calc.process(0, true);
        ASSERT_EQ(rig.calc.results().size(), 3u);
        const auto& r = rig.calc.results()[0];
        EXPECT_EQ(r.area, c.area) << c.index;
        EXPECT_EQ(r.concentration, c.area * 2) << c.index;
        EXPECT_FALSE(std::isnan(rig.calc.results()[1].concentration));
        EXPECT_FALSE(std::isnan(rig.calc.results()[2].concentration));
    }
}

// A window edge is trunc(t x R) of the exact product: 17.3 s at 10 a second is sample 172,
// though 17.3f x 10 rounds to 173 in single precision. Sample 173 must take no part.
TEST(GasGate, a_window_edge_is_the_truncated_exact_product) {
    CalculatorRig rig(10);
    rig.use_windows({{10, 17.3f}});
    rig.fill(300, [](int i) { return i == 173 ? 50.0 : 1.0; });
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_DOUBLE_EQ(rig.calc.current_baseline(), 1.0);
    EXPECT_EQ(rig.calc.results()[0].area, 0.0);
    EXPECT_EQ(sample_index(17.3f, 10), 172);
}

// Whatever a broken frame put into the window, the peak maximum (the label height and the
// run file's value) is the largest real sample.
TEST(GasArea, a_sample_that_is_not_finite_never_becomes_the_peak_maximum) {
    for (const int index : {80, 100, 119}) {
        for (const double broken : {std::nan(""), double{INFINITY}, -double{INFINITY}}) {
            CalculatorRig rig(8);
            rig.use_windows({{10, 15}});
            rig.fill(160, dipped_peak);
            rig.set(index, broken);
            rig.calc.process(0, true);
            ASSERT_FALSE(rig.calc.results().empty());
            const double expected = index == 100 ? 6.0 : 10.0;  // 100 holds the top
            EXPECT_EQ(rig.calc.results()[0].peak_max, expected) << index << " " << broken;
        }
    }
}

// --- window correction ------------------------------------------------------------------

struct CorrectionCase {
    const char* what;
    std::pair<float, float> window;
    double (*signal)(int);
    float start;  // working window afterwards
    float end;
    double area;
};

// A triangle over 70 .. 130, wider than the window 80 .. 120 on both sides.
double wide_triangle(int i) {
    return std::max(0, 30 - std::abs(i - 100));
}
// A triangle over 90 .. 110, inside the window.
double narrow_triangle(int i) {
    return std::max(0, 10 - std::abs(i - 100));
}
// A triangle over 140 .. 160 at the end of the window 80 .. 160.
double late_triangle(int i) {
    return std::max(0, 10 - std::abs(i - 150));
}
double ramp(int i) {
    return i;
}
// Flat up to 84, then rising for ever.
double step_ramp(int i) {
    return i <= 84 ? 0.0 : i - 84.0;
}

class WindowCorrection : public ::testing::TestWithParam<CorrectionCase> {};

TEST_P(WindowCorrection, moves_or_keeps_the_working_window) {
    const auto& c = GetParam();
    CalculatorRig rig(8);
    rig.settings.window_correction = true;
    rig.use_windows({c.window});
    rig.fill(400, c.signal);
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_EQ(rig.gases.gas(0).work_start, c.start);
    EXPECT_EQ(rig.gases.gas(0).work_end, c.end);
    EXPECT_EQ(rig.gases.gas(0).start, c.window.first);  // the configured window stays
    EXPECT_EQ(rig.gases.gas(0).end, c.window.second);
    EXPECT_NEAR(rig.calc.results()[0].area, c.area, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    HandWorked, WindowCorrection,
    ::testing::Values(
        // Walks left from 80 to 70 and right from 120 to 130; baseline (0+1+2+1+0)/5,
        // area (900 - 59 x 0.8) / 8.
        CorrectionCase{"outward", {10, 15}, wide_triangle, 8.75f, 16.25f, 106.6},
        // Walks right from 80 to 90 and left from 120 to 110: (100 - 19 x 0.8) / 8.
        CorrectionCase{"inward", {10, 15}, narrow_triangle, 11.25f, 13.75f, 10.6},
        // The start walks its 32 steps to 112, which is no failure; the end stays.
        // Baseline (0+0+2+1+0)/5, area (100 - 19 x 0.6) / 8.
        CorrectionCase{"step_limit_right", {10, 20}, late_triangle, 14.0f, 20.0f, 88.6 / 8},
        // Walking left for 32 steps without finding an edge abandons: baseline 103.6,
        // area (sum of i - 103.6 for i = 104 .. 120) / 8.
        CorrectionCase{"step_limit_left", {10, 15}, ramp, 10.0f, 15.0f, 142.8 / 8},
        // Walking left below one second of samples abandons.
        CorrectionCase{"below_one_second", {1, 6}, ramp, 1.0f, 6.0f, 142.8 / 8},
        // The start settles at 84, the end walks left for 32 steps: abandoned, so the
        // window stays; baseline (0+0+34+35+36)/5, area sum of (i - 84 - 21) for i > 105.
        CorrectionCase{"end_step_limit_left", {10, 15}, step_ramp, 10.0f, 15.0f, 120.0 / 8},
        // A flat window turns the correction off for that gas.
        CorrectionCase{"flat",
                       {10, 15},
                       [](int i) { return 1.0 + (i == 100 ? 0.005 : 0.0); },
                       10.0f,
                       15.0f,
                       0.005 / 8}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(WindowCorrectionBounds, a_walk_that_would_read_before_the_buffer_abandons) {
    CalculatorRig rig(8);
    rig.settings.window_correction = true;
    rig.use_windows({{0, 5}});
    rig.fill(80, ramp);  // rising into the window: the start would walk to sample -1
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_EQ(rig.gases.gas(0).work_start, 0.0f);
    EXPECT_EQ(rig.gases.gas(0).work_end, 5.0f);
    // Baseline (0+1+38+39+40)/5 = 23.6; area (sum 24..40 - 17 x 23.6) / 8.
    EXPECT_NEAR(rig.calc.results()[0].area, 142.8 / 8, 1e-12);
}

TEST(WindowCorrectionBounds, a_configured_window_beyond_the_buffer_is_not_scanned) {
    CalculatorRig rig(8);
    rig.settings.window_correction = true;
    rig.use_windows({{10, 15}});
    rig.gases.gas(0).end = 200;  // configured past the buffer, working window inside
    rig.fill(400, wide_triangle);
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_EQ(rig.gases.gas(0).work_start, 10.0f);
    EXPECT_EQ(rig.gases.gas(0).work_end, 15.0f);
    // Uncorrected: baseline 10.8, area (790 - 39 x 10.8) / 8.
    EXPECT_NEAR(rig.calc.results()[0].area, 46.1, 1e-12);
}

TEST(WindowCorrectionBounds, a_corrected_window_too_close_to_the_start_falls_back) {
    CalculatorRig rig(8);
    rig.settings.window_correction = true;
    rig.use_windows({{0, 1}});  // samples 0 .. 8
    rig.fill(100, [](int i) { return i == 0 ? 5.0 : 0.0; });
    // The start walks right to 32 and the end left to 1, whose baseline would need
    // sample -1: the window that passed the gate is used instead.
    rig.calc.process(0, true);
    ASSERT_FALSE(rig.calc.results().empty());
    EXPECT_EQ(rig.gases.gas(0).work_start, 0.0f);
    EXPECT_EQ(rig.gases.gas(0).work_end, 1.0f);
    EXPECT_DOUBLE_EQ(rig.calc.current_baseline(), 1.0);
    EXPECT_DOUBLE_EQ(rig.calc.results()[0].area, 0.5);
    EXPECT_DOUBLE_EQ(rig.calc.results()[0].peak_max, 5.0);
}

TEST(WindowCorrectionBounds, a_corrected_edge_reads_back_as_the_same_sample) {
    for (int rate : {1, 3, 7, 8, 20, 25, 50, 100}) {
        for (std::int64_t index = 0; index < 20000; index += 7) {
            ASSERT_EQ(sample_index(index_seconds(index, rate), rate), index) << rate;
        }
    }
    EXPECT_FALSE(sample_index(std::nanf(""), 8).has_value());
    EXPECT_FALSE(sample_index(INFINITY, 8).has_value());
    EXPECT_EQ(sample_index(16.6f, 8), 132);
    EXPECT_EQ(sample_index(-0.5f, 8), -4);
}

// --- the processing step and publishing -------------------------------------------------

TEST(Processing, another_step_after_every_gas_is_done_changes_nothing) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}, {17, 20}});
    rig.calc.set_concentration_function(identity);
    rig.fill(200, dipped_peak);
    rig.calc.process(5, true);
    ASSERT_EQ(rig.calc.results().size(), 5u);
    const auto before = rig.calc.results();
    for (int i = 0; i < 200; ++i) {
        rig.append(50);
    }
    rig.calc.process(6, true);
    ASSERT_EQ(rig.calc.results().size(), 5u);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(rig.calc.results()[i].description, before[i].description);
        EXPECT_EQ(rig.calc.results()[i].concentration, before[i].concentration);
    }
    EXPECT_EQ(rig.published.size(), 1u);
    EXPECT_EQ(rig.calc.depth(), 6.0);
}

TEST(Processing, publishes_with_the_depth_and_stamps_the_time) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}});
    rig.fill(160, dipped_peak);
    rig.clock.set({2026, 3, 4, 10, 20, 30, 0});
    rig.calc.process(1234.5f, true);
    ASSERT_EQ(rig.published.size(), 1u);
    EXPECT_EQ(rig.published[0].depth, 1234.5f);
    EXPECT_EQ(rig.published[0].results.size(), 3u);
    EXPECT_EQ(rig.calc.resultsTime(), library::to_day_number({2026, 3, 4, 10, 20, 30, 0}));
    EXPECT_FALSE(rig.calc.ready());
    EXPECT_TRUE(rig.op.beeps.empty());         // only the manual save beeps
    EXPECT_EQ(rig.calc.results().size(), 3u);  // publishing keeps the list
}

TEST(Processing, without_publish_the_list_waits_for_publish_now) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}});
    rig.fill(160, dipped_peak);
    rig.calc.process(7, false);
    EXPECT_TRUE(rig.calc.ready());
    EXPECT_TRUE(rig.published.empty());
    rig.calc.publishNow();
    ASSERT_EQ(rig.published.size(), 1u);
    EXPECT_EQ(rig.published[0].depth, 7.0f);
    ASSERT_EQ(rig.op.beeps.size(), 2u);
    EXPECT_EQ(rig.op.beeps[0].frequency_hz, 1000);
    EXPECT_EQ(rig.op.beeps[0].duration_ms, 40);
    EXPECT_EQ(rig.op.beeps[1].frequency_hz, 600);
    EXPECT_EQ(rig.op.beeps[1].duration_ms, 40);
    rig.calc.publishNow();  // published already
    rig.calc.process(7, true);
    EXPECT_EQ(rig.published.size(), 1u);
    EXPECT_EQ(rig.op.beeps.size(), 2u);
}

TEST(Processing, publish_now_without_ready_results_is_silent) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}, {70, 75}});
    rig.fill(160, dipped_peak);
    rig.calc.process(0, false);
    ASSERT_EQ(rig.calc.results().size(), 1u);
    rig.calc.publishNow();
    EXPECT_TRUE(rig.published.empty());
    EXPECT_TRUE(rig.op.beeps.empty());
}

TEST(Processing, reset_starts_a_new_analysis) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}});
    rig.fill(160, dipped_peak);
    rig.calc.process(0, false);
    rig.calc.reset();
    EXPECT_TRUE(rig.calc.results().empty());
    EXPECT_FALSE(rig.calc.ready());
    rig.calc.publishNow();
    EXPECT_TRUE(rig.published.empty());
    rig.calc.process(0, true);
    EXPECT_EQ(rig.published.size(), 1u);
}

bool locked_elsewhere(library::LockObject& lock) {
    bool taken = false;
    std::thread([&] {
        taken = lock.try_lock();
        if (taken) {
            lock.unlock();
        }
    }).join();
    return !taken;
}

TEST(Processing, computes_under_the_data_lock_and_notifies_outside_it) {
    CalculatorRig rig(8);
    rig.use_windows({{10, 15}});
    rig.fill(160, dipped_peak);
    bool held_while_computing = false;
    bool held_while_notifying = true;
    rig.calc.set_concentration_function([&](int, double) {
        held_while_computing = locked_elsewhere(rig.lock);
        return 1.0;
    });
    rig.calc.results_notification.connect([&](const std::vector<GazResult>&, float) {
        held_while_notifying = locked_elsewhere(rig.lock);
    });
    rig.calc.process(0, true);
    EXPECT_TRUE(held_while_computing);
    EXPECT_FALSE(held_while_notifying);
}

}  // namespace
}  // namespace vetra::analysis
