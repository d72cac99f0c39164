#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/gaz_list.h"
#include "analysis/gaz_result.h"
#include "display/chromatogram_plot.h"
#include "display/ui/chromatogram_painter.h"
#include "library/format_auto.h"

namespace vetra::test {

// A finished 120 s analysis at 8 samples per second: one Gaussian peak per default gas
// inside its window over a drifting, slightly noisy baseline, with a complete result list.
struct SamplePlot {
    static constexpr int kRate = 8;
    static constexpr int kSeconds = 120;

    analysis::GazList gases;
    std::vector<analysis::GazResult> results;
    display::ChromatogramPlot plot;

    SamplePlot() {
        const double heights[] = {182.0, 96.0, 58.0, 31.0, 17.5, 9.0};
        const double widths[] = {0.45, 0.4, 0.7, 0.8, 0.75, 0.8};  // seconds
        const double shares[] = {0.82, 0.095, 0.041, 0.018, 0.0062, 0.0021};
        std::uint32_t noise = 12345;
        for (int i = 0; i < kRate * kSeconds; ++i) {
            const double t = static_cast<double>(i) / kRate;
            noise = noise * 1664525u + 1013904223u;
            double v = 1.2 + 0.012 * t + ((noise >> 8) % 1000) / 1000.0 * 0.25;
            for (int g = 0; g < gases.count(); ++g) {
                const auto& gas = gases.gas(g);
                const double centre = (gas.start + gas.end) / 2.0;
                const double d = (t - centre) / widths[g];
                v += heights[g] * std::exp(-0.5 * d * d);
            }
            plot.points.push_back(v);
        }
        double total = 0;
        for (int g = 0; g < gases.count(); ++g) {
            const auto& gas = gases.gas(g);
            analysis::GazResult r;
            r.colour = gas.colour;
            r.name = gas.name;
            r.code = gas.code;
            r.concentration = shares[g];
            r.value_text = " " + library::formatAuto(shares[g]) + "% ";
            r.peak_max = heights[g] + 1.2 + 0.012 * (gas.start + gas.end) / 2.0;
            r.description = gas.name + ": конц. = " + library::formatAuto(shares[g]) + "%";
            total += shares[g];
            results.push_back(r);
        }
        analysis::GazResult sum;
        sum.name = "сумм_газ";
        sum.description = "сумм_газ = " + library::formatAuto(total) + "%";
        sum.derived = true;
        results.push_back(sum);
        for (int g = 0; g < gases.count(); ++g) {
            analysis::GazResult r;
            r.colour = gases.gas(g).colour;
            r.name = gases.gas(g).name + "_отн";
            r.description = r.name + " = " + library::formatAuto(shares[g] / total * 100) + "%";
            r.derived = true;
            results.push_back(r);
        }
        plot.rebuild_windows(gases, results, kRate);
        plot.results = &results;
    }

    SamplePlot(const SamplePlot&) = delete;
    SamplePlot& operator=(const SamplePlot&) = delete;

    static display::ui::PlotStyle style() {
        display::ui::PlotStyle s;
        s.font_name = "TAHOMA";
        s.font_size = 8;
        s.curve_colour = Qt::black;
        s.curve_width = 1;
        s.vertical_grid = 10;
        s.horizontal_grid = 5;
        s.screen_seconds = kSeconds;
        s.samples_per_second = kRate;
        return s;
    }
};

}  // namespace vetra::test
