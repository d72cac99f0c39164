// A whole analysis as the controller runs it: samples arrive a second at a time and the
// calculator is stepped after each second, with the calibration store as its look-up.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_calculator.h"
#include "calculator_rig.h"

namespace vetra::analysis {
namespace {

using test::CalculatorRig;

constexpr double kBaseline = 1.5;
constexpr double kSigma = 0.2;  // seconds: every baseline sample lies over six sigma out
const double kAmplitude[6] = {40, 25, 12, 8, 5, 3};
const double kCentre[6] = {12.5, 18.5, 37, 51, 62.5, 72.5};

// One Gaussian per default gas, centred in its window, on a flat baseline.
double signal_at(double t) {
    double v = kBaseline;
    for (int g = 0; g < 6; ++g) {
        const double z = (t - kCentre[g]) / kSigma;
        v += kAmplitude[g] * std::exp(-0.5 * z * z);
    }
    return v;
}

// The peak area of a Gaussian: A x sigma x sqrt(2 pi) (mV s).
double expected_area(int g) {
    return kAmplitude[g] * kSigma * std::sqrt(2 * std::numbers::pi);
}

// Calibration points (1 %, area 20) and (3 %, area 50) for every gas, linear through the
// origin: below 20 the line 0 .. 20, above it the segment through both points continued.
double expected_concentration(double area) {
    return area <= 20 ? area / 20 : 1 + (area - 20) * 2 / 30;
}

EtalonStorage two_point_calibration() {
    EtalonStorage store;
    store.copyPointsFrom({{"1 / 10", 1, std::vector<std::pair<double, double>>(6, {1.0, 20.0})},
                          {"1 / 3", 1, std::vector<std::pair<double, double>>(6, {3.0, 50.0})}});
    return store;
}

struct AnalysisRun {
    std::size_t first_gas_at = 0;
    std::size_t published_at = 0;
};

AnalysisRun run_analysis(CalculatorRig& rig, const EtalonStorage& store) {
    rig.calc.set_concentration_function(
        [&store](int g, double area) { return store.concentration(g, area); });
    rig.gases.resetWorkingWindows();
    rig.calc.reset();
    AnalysisRun run;
    for (int second = 0; second < 90; ++second) {
        for (int k = 0; k < 8; ++k) {
            rig.append(signal_at(second + k / 8.0));
        }
        rig.calc.process(1500.25f, true);
        if (run.first_gas_at == 0 && !rig.calc.results().empty()) {
            run.first_gas_at = rig.samples.size();
        }
        if (run.published_at == 0 && !rig.published.empty()) {
            run.published_at = rig.samples.size();
        }
    }
    return run;
}

TEST(WholeChromatogram, published_concentrations_follow_the_calibration) {
    CalculatorRig rig(8);
    const EtalonStorage store = two_point_calibration();
    const AnalysisRun run = run_analysis(rig, store);
    EXPECT_EQ(run.first_gas_at, 160u);  // метан ends at 15 s: 120 + 40 samples
    EXPECT_EQ(run.published_at, 640u);  // гексан ends at 75 s
    ASSERT_EQ(rig.published.size(), 1u);
    EXPECT_EQ(rig.published[0].depth, 1500.25f);
    EXPECT_NEAR(rig.calc.zeroLevel(), kBaseline, 1e-12);

    const auto& r = rig.published[0].results;
    ASSERT_EQ(r.size(), 13u);
    double total = 0;
    for (int g = 0; g < 6; ++g) {
        SCOPED_TRACE(g);
        EXPECT_EQ(r[g].name, rig.gases.gas(g).name);
        EXPECT_NEAR(r[g].area, expected_area(g), 1e-6 * expected_area(g));
        EXPECT_NEAR(r[g].peak_max, kBaseline + kAmplitude[g], 1e-9);
        const double c = expected_concentration(expected_area(g));
        EXPECT_NEAR(r[g].concentration, c, 1e-6 * c);
        total += c;
    }
    EXPECT_NEAR(r[6].concentration, total, 1e-6 * total);
    for (int g = 0; g < 6; ++g) {
        const double share = expected_concentration(expected_area(g)) / total * 100;
        EXPECT_NEAR(r[7 + g].concentration, share, 1e-6 * share) << g;
    }
}

// On a perfectly flat baseline the start edge walks right and the end edge left until the
// signal changes by the threshold, so the windows close in on the peaks (or stay, where the
// peak's tail already rises at the edge): never outside the configured window.
TEST(WholeChromatogram, the_correction_closes_each_window_around_its_peak) {
    CalculatorRig rig(8);
    rig.settings.window_correction = true;
    const EtalonStorage store = two_point_calibration();
    const AnalysisRun run = run_analysis(rig, store);
    EXPECT_EQ(run.published_at, 640u);
    ASSERT_EQ(rig.published.size(), 1u);
    const auto& r = rig.published[0].results;
    ASSERT_EQ(r.size(), 13u);
    for (int g = 0; g < 6; ++g) {
        SCOPED_TRACE(g);
        const auto& gas = rig.gases.gas(g);
        EXPECT_GE(gas.work_start, gas.start);
        EXPECT_LT(gas.work_start, kCentre[g] - 2 * kSigma);
        EXPECT_GT(gas.work_end, kCentre[g] + 2 * kSigma);
        EXPECT_LE(gas.work_end, gas.end);
        EXPECT_NEAR(r[g].peak_max, kBaseline + kAmplitude[g], 1e-9);
        EXPECT_GT(r[g].area, 0.0);
        EXPECT_LE(r[g].area, expected_area(g) * (1 + 1e-9));
        EXPECT_TRUE(std::isfinite(r[g].concentration));
    }
}

}  // namespace
}  // namespace vetra::analysis
