#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/gaz_calculator.h"
#include "analysis/gaz_list.h"
#include "analysis/sample_record.h"
#include "display/chromatogram_plot.h"
#include "library/datetime.h"
#include "settings/global_settings.h"
#include "storage/run_file.h"

namespace vetra::test {

// The shape of one synthetic analysis: a Gaussian peak in the middle of each gas's window,
// the n-th gas's `size * n * 0.37` mV high, on a base near 2.3 mV that wanders a little.
struct SyntheticRun {
    double size = 1.0;
    double phase = 0.0;   // of the base's wander
    double drift = 0.0;   // mV a sample
    int step = 4;         // samples between two runs of the calculation
    double offset = 0.0;  // the zero level taken off the plot (the previous cycle's)
};

// Runs one analysis of 85 s as the controller does (the samples grow, the calculation runs
// every `run.step` samples) and writes its run file with the companion for a re-run.
// `row_stamp` is read after the calculation, as the table's listener sets it.
inline bool write_synthetic_run(const SyntheticRun& run, int rate,
                                const settings::GlobalSettings& settings,
                                analysis::GazList& gases, analysis::GazCalculator& calculator,
                                std::vector<analysis::SampleRecord>& samples,
                                const std::uint32_t& row_stamp, const std::string& program_dir,
                                const library::LocalTime& end) {
    gases.resetWorkingWindows();
    calculator.reset();
    samples.clear();
    std::vector<std::int64_t> computed_at(static_cast<std::size_t>(gases.count()), -1);
    const int n = 85 * rate;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 2.3 + 0.01 * std::sin(t * 1.7 + run.phase) + run.drift * i;
        for (int g = 0; g < gases.count(); ++g) {
            const double mid = (gases.gas(g).start + gases.gas(g).end) / 2.0;
            v += run.size * (g + 1) * 0.37 * std::exp(-(t - mid) * (t - mid) / 0.8);
        }
        samples.push_back({0, v, static_cast<std::int32_t>(t), 0});
        if (i % run.step == run.step - 1 || i + 1 == n) {
            calculator.process(12.5f, true);
            // The sample count at which each gas was first computed, as the controller keeps.
            for (const auto& r : calculator.results()) {
                for (int g = 0; g < gases.count(); ++g) {
                    auto& at = computed_at[static_cast<std::size_t>(g)];
                    if (!r.derived && at < 0 && gases.gas(g).name == r.name) {
                        at = static_cast<std::int64_t>(samples.size());
                    }
                }
            }
        }
    }
    display::ChromatogramPlot plot;
    for (const auto& s : samples) {
        plot.points.push_back(s.value - run.offset);
        plot.seconds.push_back(s.seconds);
    }
    plot.rebuild_windows(gases, calculator.results(), rate);
    storage::RunExtra extra;
    extra.row_stamp = row_stamp;
    extra.rate = rate;
    extra.zero_seconds = settings.zero_seconds;
    extra.window_correction = settings.window_correction;
    extra.min_gaz_value = settings.min_gaz_value;
    storage::keep_samples(extra, plot.points, samples, run.offset);
    for (int g = 0; g < gases.count(); ++g) {
        const auto& gas = gases.gas(g);
        extra.gases.push_back({gas.name, gas.code, gas.colour, gas.start, gas.end,
                               computed_at[static_cast<std::size_t>(g)]});
    }
    return storage::write_run_file(-100, true, plot, calculator, program_dir, end, nullptr,
                                   &extra);
}

}  // namespace vetra::test
