// The table's print preview and printing: the preview's whole opening with its first page
// must take at most 300 ms (100 ms for the page itself) at any row count, and printing to a
// PDF file at least 20,000 rows a second.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <filesystem>

#include "generated_table.h"
#include "reports/ui/table_document.h"
#include "reports/ui/tpreview_form.h"
#include "reports/ui/tprint_grid_form.h"

namespace {

const QPageLayout kA4Landscape(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                               QMarginsF(10, 10, 10, 10));

// "Просмотр..." as the print dialog opens it: the page set-up, the preview window and its
// first screen painted.
void preview_first_page(benchmark::State& state) {
    const vetra::bench::GeneratedTable table(static_cast<int>(state.range(0)), 15);
    vetra::reports::ui::TPrintGridForm form;
    form.prepare(table, {1, 1, 1, 1});
    form.set_landscape(true);
    for (auto _ : state) {
        vetra::reports::ui::TPreviewForm preview(table, form.options(), form.page_layout());
        preview.resize(1000, 700);
        QImage first = preview.grab().toImage();
        benchmark::DoNotOptimize(first.bits());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(preview_first_page)->Arg(12)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Only the page: a page deep in a long table drawn onto the screen.
void preview_page_paint(benchmark::State& state) {
    const vetra::bench::GeneratedTable table(static_cast<int>(state.range(0)), 15);
    vetra::reports::ui::PrintOptions options;
    options.title = "Геолого-технологические исследования";
    QImage screen(1000, 760, QImage::Format_RGB32);
    const vetra::reports::ui::TableDocument document(table, options, 96 * 0.3937, QSize(1050, 720),
                                                     &screen);
    for (auto _ : state) {
        QPainter p(&screen);
        document.render_page(p, document.page_count() / 2);
    }
    state.counters["pages"] = document.page_count();
}
BENCHMARK(preview_page_paint)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Printing the whole table to a PDF file.
void print_pdf(benchmark::State& state) {
    const vetra::bench::GeneratedTable table(static_cast<int>(state.range(0)), 15);
    vetra::reports::ui::PrintOptions options;
    options.title = "Геолого-технологические исследования";
    const auto path = std::filesystem::temp_directory_path() / "vetra_print_bench.pdf";
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path.string()));
        printer.setPageLayout(kA4Landscape);
        benchmark::DoNotOptimize(vetra::reports::ui::print_document(table, options, printer));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(path);
}
BENCHMARK(print_pdf)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
