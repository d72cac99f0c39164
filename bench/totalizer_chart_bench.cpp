// The totalizer chart repaints on every 400 ms tick; a full log of three days must paint in
// the same short time at every span, the time axis 1920 pixels long.
#include <benchmark/benchmark.h>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "display/ui/totalizer_chart.h"

namespace {

void paint_full_log(benchmark::State& state) {
    vetra::analysis::TotalizerLog log;
    for (std::size_t i = 0; i < vetra::analysis::kTotalizerLogCapacity; ++i) {
        log.append(46000.0 + static_cast<double>(i) / 86400.0,
                   static_cast<float>(3.0 + 2.5 * std::sin(static_cast<double>(i) / 97.0) *
                                                std::cos(static_cast<double>(i) / 13.0)),
                   1500.0f);
    }
    const int span = static_cast<int>(state.range(0));
    QImage image(300, 1920 + 28, QImage::Format_RGB32);
    vetra::display::ui::StripStyle style;
    for (auto _ : state) {
        QPainter p(&image);
        vetra::display::ui::paint_totalizer_strip(p, image.rect(), log,
                                                  vetra::display::totalizer_span_days(span), 0.0,
                                                  style, std::nullopt);
    }
}
BENCHMARK(paint_full_log)->Arg(0)->Arg(5)->Arg(9)->Arg(11)->Unit(benchmark::kMillisecond);

}  // namespace
