#include "control/sample_reducer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vetra::control {
namespace {

// A reducer with the points it has emitted.
struct Reduction {
    explicit Reduction(std::int32_t rate) : reducer(rate) {}

    void add(int tick, double value) {
        reducer.add(static_cast<std::uint8_t>(tick), value,
                    [this](const SampleReducer::Point& p) { points.push_back(p); });
    }
    // Frames `step` ticks apart until the total is `total`, all of one value.
    void advance_to(std::int64_t total, double value, int step = 25) {
        while (reducer.total_ticks() < total) {
            const auto left = total - reducer.total_ticks();
            tick_ = (tick_ + static_cast<int>(left < step ? left : step)) % 128;
            add(tick_, value);
        }
    }

    SampleReducer reducer;
    std::vector<SampleReducer::Point> points;

private:
    int tick_ = 0;
};

// --- tick unwrapping -------------------------------------------------------------------

struct TickCase {
    const char* name;
    std::vector<int> ticks;
    std::vector<std::int64_t> totals;  // after each frame
};

class TickUnwrapping : public ::testing::TestWithParam<TickCase> {};

TEST_P(TickUnwrapping, totals_follow_the_counter) {
    Reduction run(8);
    std::vector<std::int64_t> totals;
    for (int tick : GetParam().ticks) {
        run.add(tick, 1.0);
        totals.push_back(run.reducer.total_ticks());
    }
    EXPECT_EQ(totals, GetParam().totals);
}

INSTANTIATE_TEST_SUITE_P(
    KnownSequences, TickUnwrapping,
    ::testing::Values(
        // 120 -> 125 adds 5; 125 -> 3 wraps and adds 3 + 128 - 125 = 6.
        TickCase{"wrap_adds_the_distance_through_127", {120, 125, 3}, {120, 125, 131}},
        TickCase{"backward_step_without_wrap_subtracts", {10, 5}, {10, 5}},
        TickCase{"127_to_0_is_one_tick", {127, 0}, {127, 128}},
        TickCase{"from_64_a_lower_tick_is_not_a_wrap", {64, 0}, {64, 0}},
        TickCase{"from_65_any_tick_below_64_is_a_wrap", {65, 63}, {65, 191}},
        TickCase{"a_tick_of_64_is_not_a_wrap", {65, 64}, {65, 64}},
        TickCase{"a_repeated_tick_adds_nothing", {100, 100, 101}, {100, 100, 101}},
        TickCase{"several_wraps", {100, 10, 100, 10, 0}, {100, 138, 228, 266, 256}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SampleReducer, a_backward_step_produces_no_point_and_the_ticks_are_counted_again) {
    Reduction run(8);
    run.add(0, 7.0);
    run.add(49, 7.0);  // 49 values waiting
    EXPECT_TRUE(run.points.empty());
    run.add(44, 7.0);  // back by 5: nothing joins the block
    EXPECT_EQ(run.reducer.total_ticks(), 44);
    EXPECT_TRUE(run.points.empty());
    run.add(45, 7.0);  // one more tick completes the block
    ASSERT_EQ(run.points.size(), 1u);
    EXPECT_DOUBLE_EQ(run.points[0].value, 7.0);
}

TEST(SampleReducer, a_repeated_tick_gives_no_point_but_sets_the_start_of_the_next_interpolation) {
    Reduction run(8);
    run.add(50, 0.0);
    ASSERT_EQ(run.points.size(), 1u);
    run.add(50, 100.0);
    EXPECT_EQ(run.points.size(), 1u);
    // Interpolating from 0 instead of 100 would give 2, 4, ..., 100 and a point of 51.
    run.add(100, 100.0);
    ASSERT_EQ(run.points.size(), 2u);
    EXPECT_DOUBLE_EQ(run.points[1].value, 100.0);
}

TEST(SampleReducer, fifty_ticks_of_one_value_make_one_point_of_that_value) {
    Reduction run(8);
    for (int tick = 1; tick <= 49; ++tick) {
        run.add(tick, 3.25);
    }
    EXPECT_TRUE(run.points.empty());
    run.add(50, 3.25);
    ASSERT_EQ(run.points.size(), 1u);
    EXPECT_DOUBLE_EQ(run.points[0].value, 3.25);
    EXPECT_EQ(run.points[0].seconds, 0);
}

struct SpikeCase {
    int at_tick;
    double spike;
};

class SingleSpike : public ::testing::TestWithParam<SpikeCase> {};

TEST_P(SingleSpike, among_fifty_ticks_does_not_change_the_point) {
    Reduction run(8);
    for (int tick = 1; tick <= 50; ++tick) {
        run.add(tick, tick == GetParam().at_tick ? GetParam().spike : 3.25);
    }
    ASSERT_EQ(run.points.size(), 1u);
    EXPECT_DOUBLE_EQ(run.points[0].value, 3.25);
}

INSTANTIATE_TEST_SUITE_P(Positions, SingleSpike,
                         ::testing::Values(SpikeCase{1, 1000.0}, SpikeCase{25, 1000.0},
                                           SpikeCase{50, 1000.0}, SpikeCase{1, -1000.0},
                                           SpikeCase{37, -1000.0}, SpikeCase{50, -1e9}));

TEST(SampleReducer, a_long_frame_is_interpolated_tick_by_tick_and_may_complete_two_points) {
    Reduction run(1);
    run.add(0, 0.0);
    run.add(120, 120.0);  // values 1, 2, ..., 120
    ASSERT_EQ(run.points.size(), 2u);
    // Middle ten of 1..50 and of 51..100.
    EXPECT_DOUBLE_EQ(run.points[0].value, 25.5);
    EXPECT_DOUBLE_EQ(run.points[1].value, 75.5);
    // Both carry the seconds of the frame that completed them: 120 / 1 / 50.
    EXPECT_EQ(run.points[0].seconds, 2);
    EXPECT_EQ(run.points[1].seconds, 2);
}

TEST(SampleReducer, interpolation_starts_from_zero_before_the_first_frame) {
    Reduction ramp(8);
    ramp.add(50, 50.0);  // values 1..50
    ASSERT_EQ(ramp.points.size(), 1u);
    EXPECT_DOUBLE_EQ(ramp.points[0].value, 25.5);
}

struct SecondsCase {
    std::int32_t rate;
    std::int64_t total;
    std::int32_t seconds;
};

class Seconds : public ::testing::TestWithParam<SecondsCase> {};

TEST_P(Seconds, are_ticks_over_rate_over_fifty_truncated) {
    const SecondsCase& c = GetParam();
    Reduction run(c.rate);
    run.advance_to(c.total, 1.0);
    EXPECT_EQ(run.reducer.total_ticks(), c.total);
    EXPECT_EQ(run.reducer.seconds(), c.seconds);
    ASSERT_EQ(run.points.size(), static_cast<std::size_t>(c.total / 50));
    if (!run.points.empty()) {
        EXPECT_LE(run.points.back().seconds, c.seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(KnownAnswers, Seconds,
                         ::testing::Values(SecondsCase{8, 399, 0}, SecondsCase{8, 400, 1},
                                           SecondsCase{8, 4000, 10}, SecondsCase{8, 4399, 10},
                                           SecondsCase{1, 49, 0}, SecondsCase{1, 50, 1},
                                           SecondsCase{3, 299, 1}, SecondsCase{3, 300, 2},
                                           SecondsCase{20, 999, 0}, SecondsCase{20, 1000, 1}));

TEST(SampleReducer, a_point_carries_the_seconds_at_the_frame_that_completed_it) {
    Reduction run(1);
    run.advance_to(100, 1.0);
    ASSERT_EQ(run.points.size(), 2u);
    EXPECT_EQ(run.points[0].seconds, 1);
    EXPECT_EQ(run.points[1].seconds, 2);
}

// --- trimmed mean ----------------------------------------------------------------------

// 1..n in a scrambled order (7 is coprime with 50).
std::vector<double> scrambled(int n) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i) {
        v.push_back(1.0 + static_cast<double>((i * 7) % n));
    }
    return v;
}

std::vector<double> repeated(std::initializer_list<std::pair<int, double>> runs) {
    std::vector<double> v;
    for (const auto& [count, value] : runs) {
        v.insert(v.end(), static_cast<std::size_t>(count), value);
    }
    return v;
}

struct MeanCase {
    const char* name;
    std::vector<double> values;
    double mean;
};

class TrimmedMean : public ::testing::TestWithParam<MeanCase> {};

TEST_P(TrimmedMean, drops_the_twenty_largest_and_the_twenty_smallest) {
    EXPECT_DOUBLE_EQ(trimmed_mean(GetParam().values), GetParam().mean);
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, TrimmedMean,
    ::testing::Values(
        MeanCase{"fifty_values_give_the_mean_of_the_middle_ten", scrambled(50), 25.5},
        MeanCase{"middle_block_survives_outliers_on_both_sides",
                 repeated({{10, 100.0}, {5, 7.0}, {20, -100.0}, {5, 7.0}, {10, 100.0}}), 7.0},
        MeanCase{"ties_are_removed_one_at_a_time", repeated({{25, 1.0}, {25, 3.0}}), 2.0},
        MeanCase{"ties_across_the_cut", repeated({{20, 9.0}, {30, 2.0}}), 2.0},
        MeanCase{"negative_and_fractional_values", repeated({{20, -0.5}, {10, -2.5}, {20, -9.0}}),
                 -2.5},
        MeanCase{"forty_values_leave_nothing", scrambled(40), 0.0},  // 20 + 20 removals
        MeanCase{"no_values", {}, 0.0}, MeanCase{"one_value", {5.0}, 0.0},
        MeanCase{"forty_one_values_leave_the_median", scrambled(41), 21.0},
        MeanCase{"forty_five_values_leave_five", scrambled(45), 23.0},
        MeanCase{"a_hundred_values_leave_sixty", scrambled(100), 50.5}),
    [](const auto& info) { return std::string(info.param.name); });

// --- full scale ------------------------------------------------------------------------

struct ScaleCase {
    std::int32_t bits, factor, ranges;
    double scale;
};

class FullScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(FullScale, is_two_to_the_bits_times_the_factor_to_the_ranges_less_one) {
    const ScaleCase& c = GetParam();
    EXPECT_DOUBLE_EQ(full_scale(c.bits, c.factor, c.ranges), c.scale);
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, FullScale,
    ::testing::Values(ScaleCase{14, 10, 3, 1638400.0}, ScaleCase{14, 10, 4, 16384000.0},
                      ScaleCase{12, 10, 1, 4096.0}, ScaleCase{14, 1, 4, 16384.0},
                      ScaleCase{10, 2, 3, 4096.0}, ScaleCase{16, 10, 0, 6553.6}));

TEST(FullScale, a_decoded_16384_at_one_volt_is_10_millivolts) {
    const double scale = full_scale(14, 10, 3);
    EXPECT_DOUBLE_EQ(16384.0 * 1000.0 * 1.0 / scale, 10.0);
}

}  // namespace
}  // namespace vetra::control
