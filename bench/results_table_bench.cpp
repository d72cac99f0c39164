// The results table at a million rows (145 MB): opening, the first screen, an append with the
// display update, one cell, deleting rows, scrolling, and the memory beyond the mapping.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "library/clock.h"
#include "library/number_text.h"
#include "library/operator.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "storage/ui/ttable_page.h"

namespace {

using namespace vetra;
namespace fs = std::filesystem;

constexpr int kRows = 1'000'000;
constexpr int kScreenRows = 40;

std::vector<analysis::GazResult> result_list() {
    std::vector<analysis::GazResult> list;
    for (int i = 0; i < 13; ++i) {
        list.push_back({0, i == 6 ? "сумм_газ" : "газ" + std::to_string(i), "", "k", "", "C",
                        0.01 * (i + 1), 0, 0, i >= 6});
    }
    return list;
}

// A fresh directory holding a table of `rows` rows and its column file.
fs::path make_table(const std::string& name, int rows) {
    const fs::path dir = fs::temp_directory_path() / ("vetra_table_bench_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    library::ManualClock clock;
    {
        storage::ResultsTable table(clock);
        (void)table.open(dir / "data.tim");
        table.append(result_list(), 1000.f);  // writes the column file
    }
    std::ofstream out(dir / "data.tim", std::ios::binary | std::ios::trunc);
    std::vector<unsigned char> chunk(storage::kRowSize * 10000);
    storage::TableRow row;
    for (int r = 0; r < rows; r += 10000) {
        for (int i = 0; i < 10000; ++i) {
            row.stamp = 1299420420u + 120u * static_cast<std::uint32_t>(r + i);
            row.depth = 1000.f + 0.1f * static_cast<float>(r + i);
            for (int v = 0; v < 13; ++v) {
                row.values[v] = 0.001f * static_cast<float>((r + i + v) % 1000);
            }
            storage::encode_row(row, chunk.data() + storage::kRowSize * i);
        }
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(std::min(10000, rows - r) * storage::kRowSize));
    }
    return dir / "data.tim";
}

const fs::path& million() {
    static const fs::path path = make_table("million", kRows);
    return path;
}

long rss_anon_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0) {
            return std::stol(line.substr(8));
        }
    }
    return -1;
}

void format_screen(const storage::ResultsTableText& text, int first_row) {
    for (int r = first_row; r < first_row + kScreenRows; ++r) {
        for (int c = 0; c < text.column_count(); ++c) {
            benchmark::DoNotOptimize(text.cell_text(r, c));
        }
    }
}

void BM_OpenAndFormatFirstScreen(benchmark::State& state) {
    const fs::path& path = million();
    library::ManualClock clock;
    for (auto _ : state) {
        storage::ResultsTable table(clock);
        (void)table.open(path);
        storage::ResultsTableText text(table);
        format_screen(text, table.row_count() - kScreenRows);
    }
}
BENCHMARK(BM_OpenAndFormatFirstScreen)->Unit(benchmark::kMillisecond);

void BM_FormatOneCell(benchmark::State& state) {
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    (void)table.open(million());
    storage::ResultsTableText text(table);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> row(1, kRows);
    std::uniform_int_distribution<int> column(0, 14);
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.cell_text(row(random), column(random)));
    }
}
BENCHMARK(BM_FormatOneCell);

// The window's page on the table: construction lays out a million rows and paints the screen.
void BM_WindowOpensTheTable(benchmark::State& state) {
    library::ManualClock clock;
    library::ConsoleOperator op;
    for (auto _ : state) {
        storage::ResultsTable table(clock);
        (void)table.open(million());
        storage::ResultsTableText text(table);
        storage::ui::TTablePage page(text, op);
        page.resize(1000, 700);
        benchmark::DoNotOptimize(page.grab());
    }
}
BENCHMARK(BM_WindowOpensTheTable)->Unit(benchmark::kMillisecond);

// An append to a million rows, file and column list only.
void BM_AppendToTheFile(benchmark::State& state) {
    const fs::path path = make_table("append_file", kRows);
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    (void)table.open(path);
    const auto list = result_list();
    for (auto _ : state) {
        table.append(list, 1234.5f);
    }
    fs::remove_all(path.parent_path());
}
BENCHMARK(BM_AppendToTheFile)->Unit(benchmark::kMicrosecond);

// An append to a million rows with the page showing it: one row for the model and the view.
void BM_AppendWithDisplay(benchmark::State& state) {
    const fs::path path = make_table("append", static_cast<int>(state.range(0)));
    library::ManualClock clock;
    library::ConsoleOperator op;
    storage::ResultsTable table(clock);
    (void)table.open(path);
    storage::ResultsTableText text(table);
    storage::ui::TTablePage page(text, op);
    page.resize(1000, 700);
    page.show();
    QApplication::processEvents();
    const auto list = result_list();
    for (auto _ : state) {
        table.append(list, 1234.5f);
        QApplication::processEvents();
    }
    state.counters["rows"] = table.row_count();
    fs::remove_all(path.parent_path());
}
BENCHMARK(BM_AppendWithDisplay)->Arg(1000)->Arg(kRows)->Unit(benchmark::kMicrosecond);

// Scrolling a screen anywhere in the table and painting it; memory beyond the mapping after
// the page has shown rows from the first to the last.
void BM_ScrollAndPaint(benchmark::State& state) {
    library::ManualClock clock;
    library::ConsoleOperator op;
    const long before = rss_anon_kb();
    storage::ResultsTable table(clock);
    (void)table.open(million());
    storage::ResultsTableText text(table);
    storage::ui::TTablePage page(text, op);
    page.resize(1000, 700);
    page.show();
    QApplication::processEvents();
    QScrollBar* bar = page.grTextValues->verticalScrollBar();
    std::mt19937 random(1);
    for (auto _ : state) {
        bar->setValue(std::uniform_int_distribution<int>(0, bar->maximum())(random));
        benchmark::DoNotOptimize(page.grTextValues->viewport()->grab());
    }
    for (int v = 0; v <= bar->maximum(); v += bar->maximum() / 50) {
        bar->setValue(v);
        benchmark::DoNotOptimize(page.grTextValues->viewport()->grab());
    }
    state.counters["anon_MB_added"] = static_cast<double>(rss_anon_kb() - before) / 1024;
    state.counters["anon_MB_process"] = static_cast<double>(rss_anon_kb()) / 1024;
}
BENCHMARK(BM_ScrollAndPaint)->Unit(benchmark::kMillisecond);

// A repaint of the screen costs the same at ten rows as at a million.
void BM_RepaintScreen(benchmark::State& state) {
    const auto rows = static_cast<int>(state.range(0));
    const fs::path path = rows == kRows ? million() : make_table("repaint", rows);
    library::ManualClock clock;
    library::ConsoleOperator op;
    storage::ResultsTable table(clock);
    (void)table.open(path);
    storage::ResultsTableText text(table);
    storage::ui::TTablePage page(text, op);
    page.resize(1000, 700);
    page.show();
    QApplication::processEvents();
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.grTextValues->viewport()->grab());
    }
}
BENCHMARK(BM_RepaintScreen)->Arg(40)->Arg(kRows)->Unit(benchmark::kMillisecond);

void BM_DeleteTenRowsFromTheMiddle(benchmark::State& state) {
    const fs::path path = make_table("delete", kRows);
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    (void)table.open(path);
    for (auto _ : state) {
        if (!table.delete_rows(kRows / 2, kRows / 2 + 9, false)) {
            state.SkipWithError("delete failed");
        }
    }
    state.counters["rows"] = table.row_count();
    fs::remove_all(path.parent_path());
}
BENCHMARK(BM_DeleteTenRowsFromTheMiddle)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    vetra::library::set_decimal_separator(',');
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / "vetra_table_bench_million", ec);
    return 0;
}
