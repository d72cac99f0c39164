#include "display/gas_log_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "support/synthetic_well.h"

namespace vetra::display {
namespace {

constexpr double kScreen = 96 / 2.54;  // dots per cm of a 96 dpi screen

// Each scale puts exactly 1 cm of the device on scale/100 m, whatever its dots.
TEST(DepthAxis, each_scale_maps_one_centimetre_to_its_depth) {
    for (const double dots : {kScreen, 300 / 2.54, 1200 / 2.54}) {
        for (const int scale : kGasLogScales) {
            const DepthAxis a = DepthAxis::at_scale(1000.0, scale, dots);
            EXPECT_DOUBLE_EQ(a.y_of(1000.0), 0.0);
            EXPECT_NEAR(a.y_of(1000.0 + scale / 100.0), dots, 1e-9) << scale;
            EXPECT_NEAR(a.depth_at(a.y_of(1234.56)), 1234.56, 1e-9);
        }
    }
    // 1:500 on a 300 dpi printer: 5 m take 118.11 dots.
    EXPECT_NEAR(DepthAxis::at_scale(0, 500, 300 / 2.54).y_of(5.0), 118.110236, 1e-5);
}

struct Reference {
    float lo = 2, hi = -1;
};

// The exact fraction of a value along its track, computed without the model's levels.
double exact_fraction(int curve, const GasLogSample& s, const std::vector<GasLogGas>& gases) {
    const int n = static_cast<int>(gases.size());
    if (curve < n || curve == n + 3) {
        const double v = curve < n ? s.gases[static_cast<std::size_t>(curve)] : s.total;
        if (std::isnan(v)) {
            return NAN;
        }
        return v <= kGasLogMin ? 0.0 : std::min(1.0, std::log10(v / kGasLogMin) / 5.0);
    }
    std::vector<analysis::CodedValue> coded;
    for (int g = 0; g < n; ++g) {
        coded.push_back(
            {gases[static_cast<std::size_t>(g)].code, s.gases[static_cast<std::size_t>(g)]});
    }
    const auto r = analysis::gas_ratios(analysis::light_gases(coded));
    const auto v = curve == n ? r.wetness : curve == n + 1 ? r.balance : r.character;
    if (!v) {
        return NAN;
    }
    if (curve == n + 2) {
        return std::clamp(*v / kCharacterMax, 0.0, 1.0);
    }
    return *v <= kRatioLogMin ? 0.0 : std::min(1.0, std::log10(*v / kRatioLogMin) / 4.0);
}

class Decimation : public ::testing::TestWithParam<std::tuple<double, bool>> {};

// Every pixel row holds exactly the extremes of the rows that fall on it, found by reading
// every row of the source; runs come in time order and never join across a missing value.
TEST_P(Decimation, matches_a_brute_force_reference_at_every_scale) {
    const auto [scale, drilling_only] = GetParam();
    const test::SyntheticWell well(30000, 1500.0);
    GasLogModel model;
    ASSERT_TRUE(model.update(well));
    ASSERT_EQ(model.size(), 30000);
    const int rows = 700;
    // Tops at the start, in the middle (trips above and below) and past the end.
    for (const double top : {1490.0, 1500.0 + 1500.0, 1500.0 + 3700.0}) {
        const DepthAxis axis = DepthAxis::at_scale(top, scale, kScreen);
        // Every curve but the background, whose values come from the show picker.
        for (int curve = 0; curve < model.background_curve(); ++curve) {
            std::map<int, Reference> expected;
            std::vector<int> order;  // pixel rows in view, as visited in time order
            float deepest = 0;
            bool gap = false;
            GasLogSample s;
            for (int i = 0; i < well.size(); ++i) {
                ASSERT_TRUE(well.read(i, s));
                if (drilling_only && s.depth <= deepest) {
                    continue;
                }
                deepest = std::max(deepest, s.depth);
                const double f = exact_fraction(curve, s, well.gases());
                if (std::isnan(f)) {
                    gap = true;
                    continue;
                }
                const double y = std::floor(axis.y_of(s.depth));
                if (y < 0 || y >= rows) {
                    gap = gap || !order.empty();
                    continue;
                }
                const int row = static_cast<int>(y);
                if (order.empty() || order.back() != row || gap) {
                    order.push_back(row);
                }
                gap = false;
                Reference& r = expected[row];
                r.lo = std::min(r.lo, static_cast<float>(f));
                r.hi = std::max(r.hi, static_cast<float>(f));
            }
            std::map<int, Reference> got;
            std::vector<int> got_order;
            for (const LogRun& run : model.runs(curve, axis, rows, drilling_only)) {
                ASSERT_GE(run.y, -1);
                ASSERT_LE(run.y, rows);
                if (run.y < 0 || run.y >= rows) {
                    continue;
                }
                if (got_order.empty() || got_order.back() != run.y || run.gap_before) {
                    got_order.push_back(run.y);
                }
                Reference& r = got[run.y];
                r.lo = std::min(r.lo, run.lo);
                r.hi = std::max(r.hi, run.hi);
            }
            ASSERT_EQ(got.size(), expected.size()) << "curve " << curve << " top " << top;
            for (const auto& [row, e] : expected) {
                const Reference& g = got[row];
                EXPECT_NEAR(g.lo, e.lo, 2e-5) << "curve " << curve << " row " << row;
                EXPECT_NEAR(g.hi, e.hi, 2e-5) << "curve " << curve << " row " << row;
            }
            // Leaving the view and coming back, or a gap, starts a new run in both.
            std::vector<int> a = order, b = got_order;
            a.erase(std::unique(a.begin(), a.end()), a.end());
            b.erase(std::unique(b.begin(), b.end()), b.end());
            EXPECT_EQ(a, b) << "curve " << curve;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, Decimation,
                         ::testing::Combine(::testing::Values(200.0, 500.0, 1000.0, 7300.0,
                                                              60000.0),
                                            ::testing::Bool()));

// Only rows deeper than every row before them count as drilled; the cursor finds the
// nearest, and a source that changed is read again.
TEST(GasLogModel, drilled_rows_cursor_rows_and_changes_of_the_source) {
    test::SyntheticWell well(0, 0);
    const auto row = [&](float depth, float c1) {
        GasLogSample s;
        s.depth = depth;
        s.stamp = 1'700'000'000u + static_cast<std::uint32_t>(well.samples_.size());
        s.gases = {c1, c1 / 10, c1 / 20, 0, c1 / 50, 0, 0};
        well.samples_.push_back(s);
    };
    row(0, 1);  // no depth yet
    row(100, 1);
    row(101, 2);
    row(100.5, 3);  // a trip
    row(101, 4);    // back at the bottom: not deeper
    row(102, 5);
    GasLogModel model;
    EXPECT_TRUE(model.update(well));
    EXPECT_FALSE(model.update(well));
    EXPECT_EQ(model.drilling_rows(), (std::vector<int>{1, 2, 5}));
    EXPECT_FALSE(model.is_drilling(3));
    EXPECT_EQ(model.shallowest(), 100.0f);
    EXPECT_EQ(model.deepest(), 102.0f);
    EXPECT_EQ(model.nearest_row(100.6, true), 2);
    EXPECT_EQ(model.nearest_row(100.6, false), 3);
    EXPECT_EQ(model.nearest_row(101.0, false), 4);  // the newest of equals
    EXPECT_EQ(model.zone(1), analysis::FluidZone::gas);

    row(103, 6);
    EXPECT_TRUE(model.update(well));
    EXPECT_EQ(model.size(), 7);
    EXPECT_EQ(model.drilling_rows().back(), 6);
    well.samples_.erase(well.samples_.begin() + 1, well.samples_.begin() + 3);
    ++well.generation_;
    EXPECT_TRUE(model.update(well));
    EXPECT_EQ(model.size(), 5);
    EXPECT_EQ(model.drilling_rows(), (std::vector<int>{1, 2, 3, 4}));  // 100.5 is new now
}

// The background of the total gas along every row: held through a show (not raised by it),
// the same read row by row as all at once, taken again when its parameters change, and
// drawn as fractions of the linear total-gas track.
TEST(GasLogModel, background_follows_every_row_and_its_parameters) {
    test::SyntheticWell well(0, 0);
    for (int i = 0; i < 120; ++i) {
        GasLogSample s;
        s.depth = static_cast<float>(1000 + 0.5 * i);
        s.stamp = 1'700'000'000u + static_cast<std::uint32_t>(i) * 60u;
        s.gases[0] = 1;
        s.total = i >= 40 && i < 55 ? 4.0f : (i % 2 == 0 ? 0.9f : 1.1f);
        well.samples_.push_back(s);
    }
    GasLogModel whole;
    whole.update(well);
    ASSERT_TRUE(whole.has_total());
    ASSERT_TRUE(whole.has_background());
    EXPECT_FALSE(whole.background(0));  // too few readings yet
    for (int row = 10; row < 120; ++row) {
        ASSERT_TRUE(whole.background(row)) << row;
        EXPECT_NEAR(*whole.background(row), 1.0, 0.11) << row;
    }

    GasLogModel by_rows;
    test::SyntheticWell growing(0, 0);
    for (const auto& s : well.samples_) {
        growing.samples_.push_back(s);
        by_rows.update(growing);
    }
    for (int row = 0; row < 120; ++row) {
        EXPECT_EQ(by_rows.level(by_rows.background_curve(), row),
                  whole.level(whole.background_curve(), row));
    }

    // With a factor of 5 the 4 % are no show: the background rises with them.
    well.parameters_.factor = 5;
    EXPECT_TRUE(whole.update(well));
    EXPECT_GT(*whole.background(54), 2.0);

    // On the 0..10 % track the background of 1 % is a tenth of it; no totals, no curve.
    const DepthAxis axis{1000, 10};
    const auto runs = whole.linear_runs(whole.background_curve(), axis, 600, true, 10.0);
    ASSERT_FALSE(runs.empty());
    EXPECT_NEAR(runs.front().lo, 0.1, 0.012);
    for (auto& s : well.samples_) {
        s.total = NAN;
    }
    ++well.generation_;
    whole.update(well);
    EXPECT_FALSE(whole.has_background());
    EXPECT_TRUE(whole.linear_runs(whole.total_curve(), axis, 600, true, 10.0).empty());
}

// The total gas is drawn against the depth each reading was logged at; readings at the
// bottom while drilling stay, those above it after a trip go with "только бурение".
TEST(TotalizerRuns, follow_the_logged_depth_and_leave_out_the_trip) {
    analysis::TotalizerLog log;
    const double t0 = 46000;
    const auto add = [&](int s, float value, float depth) {
        log.append(t0 + s * library::kSecondInDays, value, depth);
    };
    add(0, 5, 0);     // no depth: never drawn
    add(1, 1, 10.0);  // row 100 at 10 px a metre from top 0
    add(2, 3, 10.0);  // the same depth, drilling
    add(3, 9, 5.0);   // tripped out
    add(4, 2, 10.05);
    const DepthAxis axis{0.0, 10.0};
    const auto drilled = totalizer_runs(log, axis, 200, true, 10.0);
    ASSERT_EQ(drilled.size(), 1u);
    EXPECT_EQ(drilled[0].y, 100);
    EXPECT_FLOAT_EQ(drilled[0].lo, 0.1f);
    EXPECT_FLOAT_EQ(drilled[0].hi, 0.3f);
    const auto all = totalizer_runs(log, axis, 200, false, 10.0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].y, 50);
    EXPECT_FLOAT_EQ(all[1].hi, 0.9f);
    EXPECT_EQ(totalizer_record_at(log, 6.0, false), 3u);
    EXPECT_EQ(totalizer_record_at(log, 6.0, true), 2u);
}

// Kept up in steps of any size while the full ring drops its oldest records, the totalizer's
// background is, record for record, the picker's over every reading ever logged; other
// parameters or a reset log take it all again.
TEST(TotalizerBackground, follows_the_ring_as_it_drops_its_oldest) {
    analysis::TotalizerLog log;
    analysis::ShowPicker reference;
    std::vector<float> expected;
    TotalizerBackground background;
    std::mt19937 random(5);
    const std::size_t total = analysis::kTotalizerLogCapacity + 3000;
    for (std::size_t i = 0; i < total;) {
        const std::size_t step = 1 + random() % 4000;
        for (const std::size_t end = std::min(total, i + step); i < end; ++i) {
            const float depth = 1000.0f + 0.003f * static_cast<float>(i);
            const float value = i % 20000 < 300 ? 3.0f : 0.4f + 0.01f * (random() % 10);
            log.append(46000.0 + static_cast<double>(i) / 86400.0, value, depth);
            const auto b = reference.background_after(depth, value);
            expected.push_back(b ? static_cast<float>(*b) : NAN);
        }
        background.update(log, {});
    }
    ASSERT_EQ(log.size(), analysis::kTotalizerLogCapacity);
    const std::size_t dropped = total - log.size();
    for (std::size_t i = 0; i < log.size(); i += 97) {
        const float b = background.at(i);
        ASSERT_TRUE(b == expected[dropped + i] ||
                    (std::isnan(b) && std::isnan(expected[dropped + i])))
            << i;
    }
    const auto curves = totalizer_curves(log, DepthAxis{1700, 1}, 100, true, 10.0, &background);
    ASSERT_FALSE(curves.background.empty());
    EXPECT_EQ(curves.background.size(), curves.readings.size());

    // Over half a metre and with a factor of 10 the 3 % are no show: they raise the
    // background now.
    background.update(log, {0.5, 10, 0.05});
    const std::size_t in_show = 20000 * 13 + 299 - dropped;
    EXPECT_LT(background.at(in_show - 300), 0.6f);
    EXPECT_GT(background.at(in_show), 2.0f);
    log.reset(1);
    log.append(47000.0, 1.0f, 500.0f);
    background.update(log, {0.5, 10, 0.05});
    EXPECT_TRUE(std::isnan(background.at(0)));
}

}  // namespace
}  // namespace vetra::display
