// Export of the results table: 10^5 rows must take at most 3 s and 10^6 rows must keep
// memory flat.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "generated_table.h"
#include "library/clock.h"
#include "reports/table_export.h"
#include "reports/table_las.h"
#include "results_file.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"

namespace {

using vetra::reports::SheetFormat;

// The largest resident size since the last reset, in kB.
long peak_rss_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void reset_peak_rss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::filesystem::path out_path(const char* name) {
    return std::filesystem::temp_directory_path() /
           ("vetra_export_bench_" + std::to_string(::getpid()) + name);
}

void export_file(benchmark::State& state, SheetFormat format, const char* name) {
    const vetra::bench::GeneratedTable table(static_cast<int>(state.range(0)), 15);
    const auto path = out_path(name);
    reset_peak_rss();
    const long before = peak_rss_kb();
    for (auto _ : state) {
        const auto outcome = vetra::reports::write_table_file(table, path.string(), format);
        if (!outcome.ok) {
            state.SkipWithError(outcome.message.c_str());
        }
    }
    state.counters["peak_rss_growth_MB"] = (peak_rss_kb() - before) / 1024.0;
    state.counters["file_MB"] = std::filesystem::file_size(path) / 1048576.0;
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(path);
}

void export_xlsx(benchmark::State& state) {
    export_file(state, SheetFormat::xlsx, ".xlsx");
}
BENCHMARK(export_xlsx)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

void export_csv(benchmark::State& state) {
    export_file(state, SheetFormat::csv, ".csv");
}
BENCHMARK(export_csv)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The window's way: rows read on one thread in blocks and written on another.
void export_xlsx_through_feed(benchmark::State& state) {
    const vetra::bench::GeneratedTable table(static_cast<int>(state.range(0)), 15);
    const auto path = out_path("_feed.xlsx");
    for (auto _ : state) {
        vetra::reports::RowFeed feed(table.row_count(), table.column_count());
        std::jthread worker([&] {
            (void)vetra::reports::write_table_file(feed, path.string(), SheetFormat::xlsx);
        });
        for (int r = 0; r < table.row_count();) {
            if (!feed.has_room()) {
                std::this_thread::yield();
                continue;
            }
            std::vector<vetra::reports::RowFeed::Row> block;
            for (const int end = std::min(r + 500, table.row_count()); r < end; ++r) {
                table.row_cells(r, block.emplace_back());
            }
            feed.push(std::move(block));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(path);
}
BENCHMARK(export_xlsx_through_feed)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The window's export of a real results table: the typed cells of the mapped rows, numbers
// and dates as the workbook keeps them, 15 columns.
void export_results_xlsx(benchmark::State& state) {
    const auto dir = out_path("_dir");
    std::filesystem::create_directories(dir);
    const auto file = vetra::bench::make_results_file(dir, static_cast<int>(state.range(0)));
    vetra::library::SystemClock clock;
    vetra::storage::ResultsTable table(clock);
    table.open(file, true);
    const vetra::storage::ResultsTableText text(table);
    const auto path = dir / "table.xlsx";
    reset_peak_rss();
    const long before = peak_rss_kb();
    for (auto _ : state) {
        const auto outcome =
            vetra::reports::write_table_file(text, path.string(), SheetFormat::xlsx);
        if (!outcome.ok) {
            state.SkipWithError(outcome.message.c_str());
        }
    }
    state.counters["columns"] = text.column_count();
    state.counters["peak_rss_growth_MB"] = (peak_rss_kb() - before) / 1024.0;
    state.counters["file_MB"] = std::filesystem::file_size(path) / 1048576.0;
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(dir);
}
BENCHMARK(export_results_xlsx)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The LAS export as the window's worker runs it: the table file opened on its own.
void export_results_las(benchmark::State& state) {
    const auto dir = out_path("_las");
    std::filesystem::create_directories(dir);
    const auto file = vetra::bench::make_results_file(dir, static_cast<int>(state.range(0)));
    const auto path = dir / "table.las";
    for (auto _ : state) {
        const auto result = vetra::reports::write_table_file_las(file, {}, true, {}, path,
                                                                 [](int, int) { return true; });
        if (!result.ok) {
            state.SkipWithError(result.error.c_str());
        }
    }
    state.counters["file_MB"] = std::filesystem::file_size(path) / 1048576.0;
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(dir);
}
BENCHMARK(export_results_las)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
