// What each analysis adds to a cycle when the depth is lagged here: the lag lookup in a
// week of depth history (by strokes and by time), the rig context of the gas's moment and
// the show picker's step with its background over the last 10 m.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "analysis/gas_shows.h"
#include "storage/depth_history.h"

namespace {

using vetra::storage::DepthHistory;
using vetra::storage::DepthSample;

constexpr double kS = 1.0 / 86400.0;
constexpr double kT0 = 46000;
constexpr int kWeek = 7 * 86400;

// A week at one record a second: 20 m/h, 100 strokes a minute, a connection every 1.5 h.
const DepthHistory& week() {
    static const DepthHistory h = [] {
        DepthHistory out;
        double depth = 1000;
        double strokes = 0;
        for (int i = 0; i < kWeek; ++i) {
            const bool connection = i % 5400 < 240;
            if (!connection) {
                depth += 20.0 / 3600.0;
                strokes += 100.0 / 60.0;
            }
            DepthSample s;
            s.time = kT0 + i * kS;
            s.hole_depth = static_cast<float>(depth);
            s.bit_depth = static_cast<float>(connection ? depth - 2 : depth);
            s.strokes = strokes;
            s.strokes_live = true;
            (void)out.add(s);
        }
        return out;
    }();
    return h;
}

void BM_LagLookupAndContext(benchmark::State& state) {
    const auto& h = week();
    const vetra::storage::LagParameters lag{3000, 30, 60};
    int i = 0;
    for (auto _ : state) {
        const double at = kT0 + (kWeek - 1 - (i++ % 3600) * 60) * kS;
        const auto d = h.lagged_depth(at, lag);
        benchmark::DoNotOptimize(d);
        if (d) {
            benchmark::DoNotOptimize(h.context_at(d->bit_time));
        }
    }
}
BENCHMARK(BM_LagLookupAndContext);

void BM_ShowPickerStep(benchmark::State& state) {
    // Slow drilling fills the 10 m window with many readings: 2 m/h, one analysis in 2 min.
    vetra::analysis::ShowPicker picker;
    double depth = 1000;
    int i = 0;
    for (int k = 0; k < 400; ++k) {
        depth += 2.0 / 30;
        (void)picker.add({depth, 0.5 + 0.05 * std::sin(k), k * 120 * kS, false, false, nullptr});
    }
    for (auto _ : state) {
        depth += 2.0 / 30;
        const double total = (i++ % 200) < 10 ? 3.0 : 0.5 + 0.05 * std::sin(i);
        benchmark::DoNotOptimize(picker.add({depth, total, i * 120 * kS, false, false, nullptr}));
    }
}
BENCHMARK(BM_ShowPickerStep);

}  // namespace
