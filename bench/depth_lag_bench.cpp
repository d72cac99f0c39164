// What each analysis adds to a cycle when the depth is lagged here: the lag lookup in a
// week of depth history (by strokes and by time), the rig context of the gas's moment and
// the show picker's step with its background over the last 10 m; and a corrected lag
// applied to a week of rows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/gas_shows.h"
#include "library/clock.h"
#include "storage/depth_history.h"
#include "storage/results_table.h"
#include "storage/row_depths.h"

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

// "Применить к строкам" over a week of analyses, one in two minutes (5040 rows): each row's
// depth found again in the history, written into the table and recorded beside it.
void BM_ApplyLagToAWeekOfRows(benchmark::State& state) {
    namespace fs = std::filesystem;
    const auto& h = week();
    const fs::path dir =
        fs::temp_directory_path() / ("vetra-lag-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    vetra::library::ManualClock clock({2026, 1, 1, 0, 0, 0, 0});
    {
        vetra::storage::ResultsTable table(clock);
        (void)table.open(dir / "data.tim");
        std::vector<vetra::analysis::GazResult> results(7);
        for (int i = 0; i < 7 * 720; ++i) {
            clock.advance(std::chrono::minutes(2));
            (void)table.append(results, 1000.0f + i * 0.01f);
            vetra::storage::RowDepth r;
            r.row = static_cast<std::uint32_t>(i);
            r.stamp = table.row(i)->stamp;
            r.injection = kT0 + (120.0 * i + 60) * kS;
            (void)vetra::storage::append_row_depth(dir / "data_depth.vdr", r);
        }
    }
    vetra::storage::ResultsTable table(clock);
    (void)table.open(dir / "data.tim");
    double minutes = 30;
    for (auto _ : state) {
        minutes += 1;  // a new lag each time, so every row changes
        const auto change = vetra::storage::apply_lag(table, h, dir / "data_depth.vdr", 0,
                                                      {0, minutes, 60});
        benchmark::DoNotOptimize(change);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_ApplyLagToAWeekOfRows)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
