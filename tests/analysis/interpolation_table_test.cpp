#include "analysis/interpolation_table.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vetra::analysis {
namespace {

InterpolationTable table_of(const std::vector<std::pair<double, double>>& points) {
    InterpolationTable t;
    t.resize(static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        t.setPoint(static_cast<int>(i), points[i].first, points[i].second);
    }
    return t;
}

TEST(InterpolationLinear, interpolates_and_extrapolates_both_ends) {
    auto t = table_of({{100, 1}, {0, 0}});  // unsorted on purpose
    EXPECT_DOUBLE_EQ(t.linear(50), 0.5);
    EXPECT_DOUBLE_EQ(t.linear(200), 2.0);
    EXPECT_DOUBLE_EQ(t.linear(-100), -1.0);
    EXPECT_DOUBLE_EQ(t.linear(0), 0.0);
    EXPECT_DOUBLE_EQ(t.linear(100), 1.0);
}

TEST(InterpolationLinear, a_point_in_the_middle_starts_its_segment) {
    auto t = table_of({{300, 2}, {0, 0}, {100, 1}});
    EXPECT_DOUBLE_EQ(t.linear(100), 1.0);
    EXPECT_DOUBLE_EQ(t.linear(200), 1.5);
    EXPECT_DOUBLE_EQ(t.linear(50), 0.5);
    EXPECT_DOUBLE_EQ(t.linear(500), 3.0);  // the last segment continued
}

TEST(InterpolationLinear, coinciding_abscissae_or_too_few_points_give_zero) {
    auto same = table_of({{5, 1}, {5, 3}});
    EXPECT_EQ(same.linear(0), 0.0);
    EXPECT_EQ(same.linear(5), 0.0);
    EXPECT_EQ(same.linear(10), 0.0);
    auto one = table_of({{5, 1}});
    EXPECT_EQ(one.linear(5), 0.0);
    EXPECT_EQ(one.linear(7), 0.0);
    InterpolationTable empty;
    EXPECT_EQ(empty.linear(1), 0.0);
    EXPECT_EQ(empty.polynomial(1), 0.0);
}

TEST(InterpolationLinear, a_duplicate_inside_the_table_is_skipped_over) {
    // x = 100 lies on two points; the segment runs from the first to 300.
    auto t = table_of({{0, 0}, {100, 1}, {100, 1}, {300, 3}});
    EXPECT_DOUBLE_EQ(t.linear(100), 1.0);
    EXPECT_DOUBLE_EQ(t.linear(200), 2.0);
}

TEST(InterpolationPolynomial, passes_through_every_point) {
    auto t = table_of({{3, 9}, {1, 1}, {2, 4}});
    EXPECT_DOUBLE_EQ(t.polynomial(4), 16.0);
    EXPECT_DOUBLE_EQ(t.polynomial(2), 4.0);
    EXPECT_DOUBLE_EQ(t.polynomial(0), 0.0);
    EXPECT_DOUBLE_EQ(t.polynomial(1.5), 2.25);
}

TEST(InterpolationPolynomial, one_point_is_a_constant) {
    auto t = table_of({{7, 2.5}});
    EXPECT_DOUBLE_EQ(t.polynomial(7), 2.5);
    EXPECT_DOUBLE_EQ(t.polynomial(-40), 2.5);
}

TEST(InterpolationPolynomial, duplicate_abscissae_drop_out) {
    // The two points at x = 2 have zero denominators; only (1, 1) is left.
    auto t = table_of({{1, 1}, {2, 4}, {2, 5}});
    EXPECT_DOUBLE_EQ(t.polynomial(3), 1.0);
    EXPECT_DOUBLE_EQ(t.polynomial(0), 4.0);  // (0 - 2)(0 - 2) / ((1 - 2)(1 - 2)) x 1
}

TEST(InterpolationTable, an_index_outside_the_table_throws_the_array_message) {
    InterpolationTable t;
    t.resize(2);
    t.setPoint(1, 1, 1);
    for (int index : {-1, 2}) {
        try {
            t.setPoint(index, 0, 0);
            ADD_FAILURE() << "no exception for index " << index;
        } catch (const std::out_of_range& e) {
            EXPECT_EQ(std::string(e.what()), "array::operator[]");
        }
    }
}

TEST(InterpolationTable, setting_a_point_after_evaluation_sorts_again) {
    auto t = table_of({{0, 0}, {100, 1}});
    EXPECT_DOUBLE_EQ(t.linear(50), 0.5);
    t.setPoint(0, 200, 3);  // now (100, 1), (200, 3)
    EXPECT_DOUBLE_EQ(t.linear(150), 2.0);
}

TEST(IsNearZero, takes_the_interval_from_minus_1e12_to_1e5) {
    EXPECT_TRUE(isNearZero(0.0));
    EXPECT_TRUE(isNearZero(9e-6));
    EXPECT_FALSE(isNearZero(1e-5));
    EXPECT_TRUE(isNearZero(-1e-13));
    EXPECT_FALSE(isNearZero(-1e-12));
    EXPECT_FALSE(isNearZero(-1.0));
}

}  // namespace
}  // namespace vetra::analysis
