// The gas log page over a million-row results table and a full three-day totalizer log:
// opening (the model read from the mapped table), painting at each scale, and the PDF of
// 1000 m at 1:500.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "app/ui/gas_log_rows.h"
#include "display/ui/gas_log_painter.h"
#include "library/clock.h"
#include "reports/ui/gas_log_document.h"
#include "storage/results_table.h"

namespace {

using namespace vetra;
namespace fs = std::filesystem;

constexpr int kRows = 1'000'000;
constexpr double kStart = 500.0;

// A table of a million analyses, 13 columns as the default gas list stores them, drilled
// from 500 m at about 3 mm a row with a trip every 2000 rows; written once per run.
struct Well {
    fs::path dir = fs::temp_directory_path() / ("vetra-gas-log-bench-" + std::to_string(getpid()));
    library::SystemClock clock;
    analysis::TotalizerLog log;
    double bottom = kStart;

    Well() {
        fs::create_directories(dir);
        const char* names[] = {"метан", "этан", "пропан", "бутан", "пентан", "гексан"};
        std::vector<storage::ColumnEntry> columns;
        for (const char* n : names) {
            columns.push_back({n, n, "%", std::string(n) + "_абс"});
        }
        columns.push_back({"сумм_газ", "сумм_газ", "%", "сумм_газ"});
        for (const char* n : names) {
            columns.push_back({std::string(n) + "_отн", n, "%", std::string(n) + "_отн"});
        }
        std::ofstream(dir / storage::kColumnFileName, std::ios::binary)
            << storage::encode_columns(columns);
        std::ofstream out(dir / storage::kTableFileName, std::ios::binary);
        std::mt19937 random(3);
        std::uniform_real_distribution<float> u(0.0f, 1.0f);
        std::vector<unsigned char> chunk;
        for (int i = 0; i < kRows; ++i) {
            storage::TableRow row;
            const bool trip = i % 2000 >= 1990;
            if (!trip) {
                bottom += 0.003;
            }
            row.depth = static_cast<float>(trip ? bottom - (i % 2000 - 1989) * 3.0 : bottom);
            row.stamp = 1'700'000'000u + static_cast<std::uint32_t>(i) * 26u;
            const float show = std::exp(-std::pow(std::fmod(row.depth, 97.0f) - 50.0f, 2.0f) / 30);
            const float c1 = 0.02f + 4.0f * show * (0.5f + u(random));
            for (int g = 0; g < 6; ++g) {
                row.values[static_cast<std::size_t>(g)] =
                    c1 * std::pow(0.3f, g) * (0.5f + u(random));
            }
            const std::size_t at = chunk.size();
            chunk.resize(at + storage::kRowSize);
            storage::encode_row(row, chunk.data() + at);
            if (chunk.size() > (1u << 22) || i + 1 == kRows) {
                out.write(reinterpret_cast<const char*>(chunk.data()),
                          static_cast<std::streamsize>(chunk.size()));
                chunk.clear();
            }
        }
        // The last three days of totalizer readings, one a second, at the bottom.
        const double per_second = 0.003 / 26.0;
        for (std::size_t s = 0; s < analysis::kTotalizerLogCapacity; ++s) {
            const double depth = bottom - (analysis::kTotalizerLogCapacity - s) * per_second;
            log.append(46000.0 + s * library::kSecondInDays,
                       static_cast<float>(1.0 + std::sin(s / 300.0)), static_cast<float>(depth));
        }
    }
    ~Well() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Well& well() {
    static Well w;
    return w;
}

long anon_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0) {
            return std::stol(line.substr(8));
        }
    }
    return 0;
}

struct Opened {
    storage::ResultsTable table{well().clock};
    std::unique_ptr<app::ui::TableGasLogRows> rows;
    display::GasLogModel model;
    Opened() {
        table.open(well().dir / storage::kTableFileName, true);
        rows = std::make_unique<app::ui::TableGasLogRows>(table, nullptr);
        model.update(*rows);
    }
};

Opened& opened() {
    static Opened o;
    return o;
}

// Opening the page: the table mapped and the model read from it.
void open_page(benchmark::State& state) {
    well();
    long growth = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const long before = anon_kb();
        auto o = std::make_unique<Opened>();
        // The largest: later rounds may reuse what the allocator kept from earlier ones.
        growth = std::max(growth, anon_kb() - before);
        bytes = o->model.memory_bytes();
        benchmark::DoNotOptimize(o->model.size());
    }
    state.counters["model_MB"] = static_cast<double>(bytes) / (1 << 20);
    state.counters["anon_growth_MB"] = growth / 1024.0;
}
BENCHMARK(open_page)->Unit(benchmark::kMillisecond)->Iterations(3);

// One paint of the whole page at 1920 x 1080. Arg 0: scale (0: the whole well in view),
// arg 1: only the rows drilled (1) or the trips too (0).
void paint_page(benchmark::State& state) {
    const auto& model = opened().model;
    QImage image(1920, 1080, QImage::Format_RGB32);
    display::ui::GasLogView view;
    view.dots_per_cm = 96 / 2.54;
    view.drilling_only = state.range(1) != 0;
    const double length = *model.deepest() - kStart;
    view.scale = state.range(0) > 0 ? static_cast<double>(state.range(0))
                                    : length * 100.0 / (1000 / view.dots_per_cm);
    view.top = state.range(0) > 0 ? *model.deepest() - 1000 / (view.dots_per_cm * 100 / view.scale)
                                  : kStart;
    view.cursor = view.top + 5;
    for (auto _ : state) {
        QPainter p(&image);
        display::ui::paint_gas_log(p, image.rect(), model, &well().log, view);
    }
}
BENCHMARK(paint_page)
    ->Args({200, 1})
    ->Args({500, 1})
    ->Args({1000, 1})
    ->Args({0, 1})
    ->Args({500, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond);

// The totalizer's background over its full three-day log, taken once as the page opens; later
// paints take only the records new since.
void totalizer_background_full_log(benchmark::State& state) {
    for (auto _ : state) {
        display::TotalizerBackground background;
        background.update(well().log, {});
        benchmark::DoNotOptimize(background.at(0));
    }
    state.counters["records"] = static_cast<double>(well().log.size());
}
BENCHMARK(totalizer_background_full_log)->Unit(benchmark::kMillisecond);

// The same paint with the well's shows shaded and the totalizer's background line. Arg 0: scale as
// above, arg 1: shows over the well (the drilled shows every 97 m of the table, the rest
// connection gas spread evenly, as a stand every 28 m would give them).
void paint_page_with_shows(benchmark::State& state) {
    const auto& model = opened().model;
    const double deepest = *model.deepest();
    std::vector<analysis::GasShow> shows;
    const auto count = static_cast<std::size_t>(state.range(1));
    for (double d = kStart + 45; d < deepest && shows.size() < count; d += 97) {
        analysis::GasShow s;
        s.top = d;
        s.bottom = d + 10;
        s.background = 0.1;
        shows.push_back(s);
    }
    const std::size_t drilled = shows.size();
    for (std::size_t i = drilled; i < count; ++i) {
        analysis::GasShow s;
        s.top = kStart + (deepest - kStart) * static_cast<double>(i - drilled) /
                             static_cast<double>(count - drilled);
        s.bottom = s.top + 0.5;
        s.background = 0.1;
        s.show_class = analysis::ShowClass::connection;
        shows.push_back(s);
    }
    QImage image(1920, 1080, QImage::Format_RGB32);
    display::ui::GasLogView view;
    view.dots_per_cm = 96 / 2.54;
    const double length = deepest - kStart;
    view.scale = state.range(0) > 0 ? static_cast<double>(state.range(0))
                                    : length * 100.0 / (1000 / view.dots_per_cm);
    view.top = state.range(0) > 0 ? deepest - 1000 / (view.dots_per_cm * 100 / view.scale) : kStart;
    view.shows = &shows;
    display::TotalizerBackground background;
    background.update(well().log, {});
    view.totalizer_background = &background;
    for (auto _ : state) {
        QPainter p(&image);
        display::ui::paint_gas_log(p, image.rect(), model, &well().log, view);
    }
    state.counters["shows"] = static_cast<double>(shows.size());
}
BENCHMARK(paint_page_with_shows)
    ->Args({500, 130})
    ->Args({0, 130})
    ->Args({500, 10000})
    ->Args({0, 10000})
    ->Unit(benchmark::kMillisecond);

// vetra-tool gaslog: 1000 m at 1:500 (20 A4 pages) written as PDF.
void pdf_1000_m(benchmark::State& state) {
    well();
    const QString path = QString::fromStdString((well().dir / "log.pdf").string());
    for (auto _ : state) {
        const Opened o;  // as the command does: the table opened and read first
        reports::ui::GasLogPrintOptions options;
        options.from = *o.model.deepest() - 1000;
        options.to = *o.model.deepest();
        options.scale = 500;
        reports::ui::GasLogDocument document(o.model, &well().log, *o.rows, options);
        QString error;
        if (!reports::ui::save_gas_log(document, path, error)) {
            state.SkipWithError(error.toStdString().c_str());
        }
    }
    state.counters["pdf_MB"] =
        static_cast<double>(fs::file_size(well().dir / "log.pdf")) / (1 << 20);
}
BENCHMARK(pdf_1000_m)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
