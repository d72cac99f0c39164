#include "analysis/etalon_program.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "library/number_text.h"

namespace vetra::analysis {
namespace {

struct Reduction {
    std::vector<double> areas;
    double expected;
};

void PrintTo(const Reduction& r, std::ostream* out) {
    *out << r.areas.size() << " repeats";
    for (double a : r.areas) {
        *out << " " << a;
    }
}

class RepeatReduction : public ::testing::TestWithParam<Reduction> {};

TEST_P(RepeatReduction, keeps_the_values_closest_together) {
    EXPECT_NEAR(reduce_repeats(GetParam().areas), GetParam().expected, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Repeats, RepeatReduction,
    ::testing::Values(Reduction{{}, 0}, Reduction{{1234.5}, 1234.5}, Reduction{{100, 103}, 101.5},
                      Reduction{{1000, 1010, 1200}, 1005}, Reduction{{100, 102, 130}, 101},
                      // Far below the mean: the smallest goes.
                      Reduction{{50, 100, 102}, 101},
                      // Equally far: a tie discards the smallest.
                      Reduction{{90, 100, 110}, 105}, Reduction{{100, 101, 102, 150, 99}, 101},
                      Reduction{{5, 1, 9, 3}, 4},
                      // Six, the most with only one pair discarded.
                      Reduction{{1, 10, 11, 12, 20, 90}, 13.25},
                      // Seven: two largest and two smallest go.
                      Reduction{{1, 2, 50, 51, 52, 90, 99}, 51},
                      // Equal extremes: only one of each is discarded.
                      Reduction{{7, 7, 7, 7}, 7}));

TEST(ResultGrid, coefficients_follow_the_degassing_and_the_texts_read_back_to_the_areas) {
    library::set_decimal_separator(',');
    EtalonPoint point{"1 / 10", 3, {{0.5, 1000}, {0, 40}, {0.25, 333.333}}};
    const auto row1 = result_row(point, 3, 1.0);
    EXPECT_EQ(row1, (std::vector<std::string>{"0,500000", "2000,000000", "0,000000", "0,000000",
                                              "0,250000", "1333,332000"}));
    // Degassing 2 halves every coefficient shown.
    const auto row2 = result_row(point, 3, 2.0);
    EXPECT_EQ(row2[1], "1000,000000");
    EXPECT_EQ(row2[5], "666,666000");

    // Reading back with the same degassing gives the areas unchanged, through six decimals;
    // a hand-edited cell takes effect, one that does not parse leaves its value.
    EtalonPoint back = point;
    auto cells = row2;
    cells[0] = "0.6";
    cells[3] = "x";
    read_result_row(back, cells, 2.0);
    EXPECT_NEAR(back.pairs[0].first, 0.6, 1e-12);
    EXPECT_NEAR(back.pairs[0].second, 0.6 * 1000 * 2, 1e-9);
    EXPECT_EQ(back.pairs[1], point.pairs[1]);
    EXPECT_NEAR(back.pairs[2].second, 333.333, 1e-6);
    library::set_decimal_separator('.');
}

TEST(ProgramGrid, points_are_sorted_by_the_first_gas) {
    std::vector<EtalonPoint> points{
        {"a", 1, {{0.5, 0}}}, {"b", 1, {{0.1, 0}}}, {"c", 1, {{0.3, 0}}}, {"d", 1, {}}};
    sort_points(points);
    std::string order;
    for (const auto& p : points) {
        order += p.dilution;
    }
    EXPECT_EQ(order, "dbca");
}

TEST(PointEditor, dilutions_lists_and_percents) {
    EXPECT_EQ(dilution_numerators().size(), 13u);
    EXPECT_EQ(dilution_denominators().front(), "10");
    EXPECT_EQ(dilution_denominators()[3], "100");
    EXPECT_EQ(dilution_denominators().back(), "2000");
    EXPECT_EQ(dilution_denominators().size(), 23u);

    EXPECT_EQ(parse_dilution("1 / 100"), (std::pair{1, 100}));
    EXPECT_EQ(parse_dilution("2/50"), (std::pair{2, 50}));
    EXPECT_FALSE(parse_dilution("0 / 100"));
    EXPECT_FALSE(parse_dilution("1,5 / 10"));
    EXPECT_FALSE(parse_dilution("эталон"));
    EXPECT_DOUBLE_EQ(dilution_factor("5", " 100 "), 0.05);
    EXPECT_DOUBLE_EQ(dilution_factor("5", "0"), 1.0);
    EXPECT_EQ(dilution_text(" 5 ", "100 "), "5 / 100");

    const auto p = parse_percents("5,2.5,,x", 6);
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(p[0], 5.0);
    EXPECT_EQ(p[1], 2.5);
    EXPECT_FALSE(p[2]);
    EXPECT_FALSE(p[3]);
    EXPECT_FALSE(p[5]);
    EXPECT_EQ(percents_text({5, 2.5, 0.001}), "5,2.5,0.001");
    EXPECT_EQ(parse_degassing("2,5"), 2.5);
    EXPECT_FALSE(parse_degassing("0"));
    EXPECT_FALSE(parse_degassing("1,2,3"));
}

GazResult record(double area) {
    GazResult r;
    r.area = area;
    return r;
}

TEST(RepeatCaptureTest, short_lists_fail_and_long_ones_are_capped) {
    RepeatCapture capture(2);
    EXPECT_FALSE(capture.add_attempt({record(1)}));
    std::vector<GazResult> long_list(60, record(7));
    long_list[0] = record(1000);
    EXPECT_TRUE(capture.add_attempt(long_list));
    long_list[0] = record(1010);
    EXPECT_TRUE(capture.add_attempt(long_list));
    long_list[0] = record(1200);
    EXPECT_TRUE(capture.add_attempt(long_list));
    EXPECT_EQ(capture.attempts(), 3);
    EtalonPoint point{"", 3, {{0.5, 1.0}}};
    capture.apply(point);
    ASSERT_EQ(point.pairs.size(), 2u);
    EXPECT_DOUBLE_EQ(point.pairs[0].first, 0.5);
    EXPECT_DOUBLE_EQ(point.pairs[0].second, 1005);
    EXPECT_DOUBLE_EQ(point.pairs[1].second, 7);
}

}  // namespace
}  // namespace vetra::analysis

namespace vetra::analysis {
namespace {

TEST(CurveAxes, decades_and_the_drag_inverse) {
    EXPECT_DOUBLE_EQ(decade_above(0.5), 1.0);
    EXPECT_DOUBLE_EQ(decade_above(1.0), 10.0);
    EXPECT_DOUBLE_EQ(decade_above(1234.5), 1e4);
    EXPECT_DOUBLE_EQ(decade_above(5e7), 1e6);
    EXPECT_DOUBLE_EQ(decade_above(0), 1e-4);
    EXPECT_NEAR(log_position(1e-5, 1e3, 800), 0, 1e-9);
    EXPECT_NEAR(log_position(1e3, 1e3, 800), 800, 1e-9);
    EXPECT_NEAR(log_value(log_position(42.5, 1e3, 800), 1e3, 800), 42.5, 1e-9);
}

}  // namespace
}  // namespace vetra::analysis
