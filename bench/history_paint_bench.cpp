// Painting the whole "История" page: 24 thinned chromatograms on a full-HD screen.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "analysis/gaz_list.h"
#include "storage/history.h"
#include "storage/ui/history_page.h"

namespace {

void paint_history_page(benchmark::State& state) {
    vetra::analysis::GazList gases;
    std::vector<vetra::analysis::GazResult> results;
    vetra::display::ChromatogramPlot plot;
    for (int i = 0; i < 960; ++i) {  // 120 s at 8 a second: 239 points once thinned
        double v = 1.5;
        for (int g = 0; g < gases.count(); ++g) {
            const double centre = (gases.gas(g).start + gases.gas(g).end) * 4.0;
            v += 100.0 / (g + 1) * std::exp(-0.5 * std::pow((i - centre) / 5.0, 2));
        }
        plot.points.push_back(v);
    }
    for (int g = 0; g < gases.count(); ++g) {
        vetra::analysis::GazResult r;
        r.name = gases.gas(g).name;
        r.value_text = " 0,123% ";
        r.peak_max = 100.0 / (g + 1);
        results.push_back(r);
    }
    vetra::storage::History history;
    for (int i = 0; i < vetra::storage::kHistoryCapacity; ++i) {
        history.add(plot, gases, results, 8, 0xFFFFFF, {2026, 12, 7, 9, 5, 7, 0});
    }
    vetra::storage::ui::HistoryPaint how;
    how.style.font_name = "TAHOMA";
    how.style.curve_colour = Qt::black;
    how.gas_count = gases.count();
    how.font = QApplication::font();
    QImage image(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        p.fillRect(image.rect(), Qt::lightGray);
        vetra::storage::ui::paint_history(p, image.rect(), image.rect(), history, how);
    }
}
BENCHMARK(paint_history_page)->Unit(benchmark::kMillisecond);

}  // namespace
