// Painting the chromatogram page: the 400 ms tick repaints it while a cycle runs.
#include <benchmark/benchmark.h>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "display/ui/chromatogram_painter.h"

namespace {

using vetra::display::ChromatogramPlot;
using vetra::display::ui::PlotStyle;

void paint_plot(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    PlotStyle style;
    style.font_name = "TAHOMA";
    style.curve_colour = Qt::black;
    style.curve_width = width;
    // A 120 s screen, however many samples a second make up the points.
    style.screen_seconds = 120;
    style.samples_per_second = points / 120;
    ChromatogramPlot plot;
    for (int i = 0; i < points; ++i) {
        plot.points.push_back(
            2 +
            150 *
                std::exp(-0.5 * std::pow((i % (points / 4) - points / 16) / (points / 240.0), 2)) +
            0.3 * std::sin(i * 0.7));
    }
    QImage image(1100, 560, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        vetra::display::ui::paint_chromatogram(p, image.rect(), plot, 0, style, {});
    }
    state.SetItemsProcessed(state.iterations() * points);
}
BENCHMARK(paint_plot)
    ->Args({960, 1})
    ->Args({15000, 1})
    ->Args({15000, 3})
    ->Args({60000, 1})
    ->Unit(benchmark::kMillisecond);

// A screen of a million seconds at one sample a second: 200 000 time lines every 5 s fall
// on some 1 000 pixel columns, and each column is drawn once.
void paint_long_span(benchmark::State& state) {
    PlotStyle style;
    style.font_name = "TAHOMA";
    style.curve_colour = Qt::black;
    style.screen_seconds = static_cast<int>(state.range(0));
    style.samples_per_second = 1;
    ChromatogramPlot plot;
    plot.points.assign(960, 1.0);
    QImage image(1100, 560, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        vetra::display::ui::paint_chromatogram(p, image.rect(), plot, 0, style, {});
    }
}
BENCHMARK(paint_long_span)->Arg(120)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
