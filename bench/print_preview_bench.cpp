// The table's print preview: for 10^4 rows the first page must show within 1 s.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <filesystem>

#include "generated_table.h"
#include "reports/ui/table_document.h"
#include "reports/ui/tpreview_form.h"

namespace {

const QPageLayout kA4Landscape(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                               QMarginsF(10, 10, 10, 10));

// Opening the preview (every cell measured) and painting its first screen.
void preview_first_page(benchmark::State& state) {
    const vetra::bench::GeneratedTable table(static_cast<int>(state.range(0)), 15);
    vetra::reports::ui::PrintOptions options;
    options.title = "Геолого-технологические исследования";
    for (auto _ : state) {
        vetra::reports::ui::TPreviewForm preview(table, options, kA4Landscape);
        preview.resize(1000, 700);
        QImage first = preview.grab().toImage();
        benchmark::DoNotOptimize(first.bits());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(preview_first_page)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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
BENCHMARK(print_pdf)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
