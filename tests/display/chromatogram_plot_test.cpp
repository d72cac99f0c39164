#include "display/chromatogram_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/gaz_list.h"

namespace vetra::display {
namespace {

// ---- automatic top -------------------------------------------------------------------

struct TopCase {
    std::vector<double> points;
    double top;
};

class AutomaticTop : public ::testing::TestWithParam<TopCase> {};

TEST_P(AutomaticTop, is_the_first_step_not_below_the_largest_point) {
    EXPECT_DOUBLE_EQ(automatic_top(GetParam().points), GetParam().top);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AutomaticTop,
    ::testing::Values(TopCase{{}, 1.0},                // no points: 0 .. 1
                      TopCase{{0.8}, 0.8},             // a step itself stays
                      TopCase{{0.1, 0.81, 0.3}, 1.0},  // just above a step
                      TopCase{{0.0}, 0.05},            // the smallest step
                      TopCase{{-3.0, -1.0}, 0.05},     // all below zero
                      TopCase{{0.41}, 0.5}, TopCase{{2.5}, 4.0}, TopCase{{4.2}, 5.0},
                      TopCase{{9.0}, 10.0}, TopCase{{8000.5}, 10000.0},
                      TopCase{{8000001.0}, 1e7},  // the last step
                      TopCase{{1e7}, 1e7},
                      TopCase{{1.5e7, 3.0}, 1.5e7},  // above the list: the value itself
                      TopCase{{std::numeric_limits<double>::quiet_NaN()}, 1.0}));

TEST(AutomaticTopList, has_forty_two_ascending_steps) {
    std::vector<double> steps;
    double x = -1;
    for (;;) {
        const double top = automatic_top_for(x);
        if (top == x) {
            break;  // above the list
        }
        ASSERT_TRUE(steps.empty() || top > steps.back());
        steps.push_back(top);
        x = std::nextafter(top, 1e300);
    }
    ASSERT_EQ(steps.size(), 42u);
    EXPECT_DOUBLE_EQ(steps.front(), 0.05);
    EXPECT_DOUBLE_EQ(steps[5], 0.8);
    EXPECT_DOUBLE_EQ(steps[6], 1.0);
    EXPECT_DOUBLE_EQ(steps.back(), 1e7);
}

// ---- zoom and drag -------------------------------------------------------------------

struct ZoomCase {
    double top;
    double factor;
    std::optional<double> expected;
};

class Zoom : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(Zoom, keeps_the_top_within_the_limits) {
    const auto& c = GetParam();
    const auto got = zoomed_top(c.top, c.factor);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
        EXPECT_DOUBLE_EQ(*got, *c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, Zoom,
                         ::testing::Values(ZoomCase{0.0005, 0.1, std::nullopt},  // 0.00005
                                           ZoomCase{0.01, 0.1, 0.001}, ZoomCase{5.0, 10.0, 50.0},
                                           ZoomCase{2000.0, 10.0, 20000.0},  // the limit
                                           ZoomCase{5000.0, 10.0, std::nullopt},
                                           ZoomCase{0.0005, 0.0, 0.0},  // automatic
                                           ZoomCase{50000.0, 0.0, 0.0}));

TEST(Zoom, works_on_the_fixed_top_when_one_is_set) {
    ChromatogramPlot plot;
    plot.top = 2;
    EXPECT_EQ(plot.range(), std::make_pair(0.0, 2.0));
    plot.set_range(0, 40);
    EXPECT_EQ(plot.range(), std::make_pair(0.0, 40.0));
    EXPECT_DOUBLE_EQ(zoomed_top(plot.range().second, 0.1).value(), 4.0);
}

struct DragCase {
    DragHandle handle;
    int rows;
    int height;
    std::pair<double, double> expected;
};

class Drag : public ::testing::TestWithParam<DragCase> {};

TEST_P(Drag, moves_the_dragged_limits_by_rows_times_range_over_height) {
    const auto& c = GetParam();
    const auto got = dragged_range(c.handle, {1.0, 5.0}, c.rows, c.height);
    EXPECT_DOUBLE_EQ(got.first, c.expected.first);
    EXPECT_DOUBLE_EQ(got.second, c.expected.second);
}

INSTANTIATE_TEST_SUITE_P(
    Handles, Drag,
    ::testing::Values(DragCase{DragHandle::upper, 50, 200, {1.0, 6.0}},
                      DragCase{DragHandle::whole, 50, 200, {2.0, 6.0}},
                      DragCase{DragHandle::lower, -100, 200, {-1.0, 5.0}},
                      DragCase{DragHandle::upper, -1000, 200, {1.0, 0.0001}},  // floor
                      DragCase{DragHandle::whole, -1000, 200, {-19.0, 0.0001}},
                      DragCase{DragHandle::lower, 300, 0, {1.0, 5.0}}));  // no height

// ---- contrast colour -----------------------------------------------------------------

struct ContrastCase {
    Colour background;
    Colour expected;
};

class Contrast : public ::testing::TestWithParam<ContrastCase> {};

TEST_P(Contrast, is_black_from_a_weighted_brightness_of_120) {
    EXPECT_EQ(contrast_colour(GetParam().background), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Colours, Contrast,
                         ::testing::Values(ContrastCase{0xFFFFFF, 0x000000},
                                           ContrastCase{0x000000, 0xFFFFFF},
                                           ContrastCase{0x0000FF, 0xFFFFFF},  // red: 76.5
                                           ContrastCase{0x00FF00, 0x000000},  // green: 127.5
                                           ContrastCase{0xFF0000, 0xFFFFFF},  // blue: 51
                                           ContrastCase{0x787878, 0x000000},  // exactly 120
                                           ContrastCase{0x777777, 0xFFFFFF}));

TEST(Background, sets_the_contrasting_foreground) {
    ChromatogramPlot plot;
    plot.set_background(0x400000);
    EXPECT_EQ(plot.background, 0x400000);
    EXPECT_EQ(plot.foreground, 0xFFFFFF);
}

// ---- windows -------------------------------------------------------------------------

analysis::GazResult gas_record(const std::string& name, const std::string& text, double peak) {
    analysis::GazResult r;
    r.name = name;
    r.value_text = text;
    r.peak_max = peak;
    return r;
}

TEST(Windows, take_their_bounds_from_the_working_windows) {
    analysis::GazList gases;
    gases.gas(1).work_start = 16.6f;
    gases.gas(1).work_end = 19.4f;
    ChromatogramPlot plot;
    plot.rebuild_windows(gases, {}, 8);
    ASSERT_EQ(plot.windows.size(), 6u);
    EXPECT_EQ(plot.windows[0].start, 79);   // 10 * 8 - 1
    EXPECT_EQ(plot.windows[0].end, 121);    // 8 * 15 + 1
    EXPECT_EQ(plot.windows[1].start, 132);  // round(131.8)
    EXPECT_EQ(plot.windows[1].end, 156);    // round(156.2)
    EXPECT_EQ(plot.windows[2].code, "C3");
    EXPECT_EQ(plot.windows[2].colour, 32768);
    for (const auto& w : plot.windows) {
        EXPECT_FALSE(w.has_result);
        EXPECT_TRUE(w.value_text.empty());
    }
}

TEST(Windows, at_another_rate_scale_with_it) {
    analysis::GazList gases;
    ChromatogramPlot plot;
    plot.rebuild_windows(gases, {}, 2);
    EXPECT_EQ(plot.windows[5].start, 139);  // 70 * 2 - 1
    EXPECT_EQ(plot.windows[5].end, 151);
}

TEST(Windows, are_labelled_only_for_the_records_that_exist) {
    analysis::GazList gases;
    const std::vector<analysis::GazResult> results{gas_record("метан", " 0.5% ", 12.5),
                                                   gas_record("этан", " 0.1% ", 3.0)};
    ChromatogramPlot plot;
    plot.rebuild_windows(gases, results, 8);
    ASSERT_EQ(plot.windows.size(), 6u);
    EXPECT_TRUE(plot.windows[0].has_result);
    EXPECT_EQ(plot.windows[0].value_text, " 0.5% ");
    EXPECT_DOUBLE_EQ(plot.windows[0].level, 12.5);
    EXPECT_TRUE(plot.windows[1].has_result);
    EXPECT_DOUBLE_EQ(plot.windows[1].level, 3.0);
    for (int i = 2; i < 6; ++i) {
        EXPECT_FALSE(plot.windows[static_cast<std::size_t>(i)].has_result) << i;
    }
}

TEST(Windows, take_their_own_gas_record_when_records_come_out_of_order) {
    analysis::GazList gases;
    // Butane's window ended before propane's after a correction.
    std::vector<analysis::GazResult> results{
        gas_record("метан", "m", 1), gas_record("этан", "e", 2), gas_record("бутан", "b", 4)};
    ChromatogramPlot plot;
    plot.rebuild_windows(gases, results, 8);
    EXPECT_EQ(plot.windows[2].has_result, false);
    EXPECT_EQ(plot.windows[3].value_text, "b");
    EXPECT_DOUBLE_EQ(plot.windows[3].level, 4.0);

    analysis::GazResult total;
    total.name = "сумм_газ";
    total.derived = true;
    results.insert(results.begin() + 2, total);
    plot.rebuild_windows(gases, results, 8);
    EXPECT_FALSE(plot.windows[2].has_result);  // the total is no gas's record
}

TEST(Windows, follow_the_gas_list_length) {
    analysis::GazList gases;
    ChromatogramPlot plot;
    plot.rebuild_windows(gases, {}, 8);
    gases.resize(2);
    plot.rebuild_windows(gases, {}, 8);
    EXPECT_EQ(plot.windows.size(), 2u);
}

TEST(Plot, a_new_cycle_drops_the_message_and_the_points) {
    ChromatogramPlot plot;
    plot.message = "Нет связи";
    plot.points = {1, 2, 3};
    plot.fixed_top = 5;
    plot.clear_for_cycle();
    EXPECT_TRUE(plot.message.empty());
    EXPECT_EQ(plot.point_count(), 0);
    EXPECT_DOUBLE_EQ(plot.fixed_top, 5.0);  // the operator's zoom stays
}

TEST(AxisLabels, thin_out_to_a_round_stride_that_keeps_them_apart) {
    EXPECT_EQ(tick_label_stride(30, 20), 1);
    EXPECT_EQ(tick_label_stride(12, 20), 2);
    EXPECT_EQ(tick_label_stride(5, 20), 5);
    EXPECT_EQ(tick_label_stride(0.3, 20), 100);  // a long span: 2 s lines over 10 minutes
    EXPECT_EQ(tick_label_stride(0, 20), 1);
    EXPECT_EQ(tick_label_stride(std::numeric_limits<double>::quiet_NaN(), 20), 1);
}

TEST(ResultLabels, that_would_overlap_are_stacked_inside_the_plot) {
    // Three close peaks at one height and one far away.
    std::vector<LabelBox> boxes{
        {100, 50, 40, 16}, {120, 50, 40, 16}, {130, 52, 40, 16}, {400, 50, 40, 16}};
    separate_labels(boxes, 10, 300);
    EXPECT_EQ(boxes[0].top, 50);
    EXPECT_EQ(boxes[1].top, 32);
    EXPECT_EQ(boxes[2].top, 70);  // above is taken as well
    EXPECT_EQ(boxes[3].top, 50);
    // At the top edge the next place is below.
    std::vector<LabelBox> top{{100, 10, 40, 16}, {110, 12, 40, 16}};
    separate_labels(top, 10, 300);
    EXPECT_EQ(top[1].top, 30);
}

}  // namespace
}  // namespace vetra::display
