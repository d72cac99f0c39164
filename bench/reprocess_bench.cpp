// Re-processing a day of analyses: 720 runs (one every two minutes) written as a station
// writes them, each with its run file and companion, then computed again with a corrected
// calibration. Targets: the whole day <= 2 s, the preview's first screen (the plan and its
// first rows) <= 200 ms, writing the changes of every row through the trail <= 1 s.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_calculator.h"
#include "display/chromatogram_plot.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "library/utf8_path.h"
#include "settings/global_settings.h"
#include "storage/reprocess_trail.h"
#include "storage/reprocessor.h"
#include "storage/results_table.h"
#include "storage/run_file.h"
#include "support/synthetic_run.h"

namespace {

namespace fs = std::filesystem;
using namespace vetra;

constexpr int kRate = 10;
constexpr int kRuns = 720;
constexpr int kScreenRows = 40;  // what the preview shows before any scrolling

class QuietOperator final : public library::Operator {
public:
    void beep(int, int) override {}
    void show_message(const std::string&, const std::string&, library::MessageIcon) override {}
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
};

analysis::EtalonStorage calibration(double factor_of_first) {
    analysis::EtalonStorage c;
    analysis::EtalonPoint p;
    p.repeats = 1;
    for (int g = 0; g < 6; ++g) {
        p.pairs.emplace_back(0.05 * (g + 1), (7.3 + g) * (g == 0 ? factor_of_first : 1.0));
    }
    c.copyPointsFrom({p});
    return c;
}

// The day on disk: the table, "Analiz" with its run files, made once.
struct Day {
    fs::path dir;
    std::string program_dir;
    fs::path table_file;
    analysis::EtalonStorage wrong = calibration(1.2);
    analysis::EtalonStorage right = calibration(1.0);
    std::uint32_t from = storage::time_stamp({2026, 3, 5, 0, 0, 0, 0});
    std::uint32_t to = storage::time_stamp({2026, 3, 6, 0, 0, 0, 0});

    Day() {
        dir = fs::temp_directory_path() / ("vetra-reprocess-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir / "Analiz");
        program_dir = library::utf8_from_path(dir) + "/";
        table_file = dir / "data.tim";
        make();
    }
    ~Day() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void make() {
        library::ManualClock clock;
        settings::GlobalSettings settings;
        settings.samples_per_second = kRate;
        analysis::GazList gases;
        library::LockObject lock;
        QuietOperator op;
        std::vector<analysis::SampleRecord> samples;
        analysis::GazCalculator calculator{settings, samples, gases, lock, op, clock};
        calculator.set_concentration_function(
            [this](int g, double a) { return wrong.concentration(g, a); });
        storage::ResultsTable table(clock);
        table.open(table_file);
        std::uint32_t stamp = 0;
        calculator.results_notification.connect(
            [&](const std::vector<analysis::GazResult>& r, float depth) {
                table.append(r, depth);
                stamp = table.row(table.row_count() - 1)->stamp;
            });
        for (int run = 0; run < kRuns; ++run) {
            const int minute = 1 + 2 * run;
            const library::LocalTime end{2026, 3, 5, minute / 60, minute % 60, 30, 0};
            clock.set(end);
            test::write_synthetic_run({1.0 + run % 7, static_cast<double>(run), 0.0, 5 * kRate},
                                      kRate, settings, gases, calculator, samples, stamp,
                                      program_dir, end);
        }
        table.flush();
    }

    storage::ReprocessMethod method(const analysis::EtalonStorage& c) const {
        storage::ReprocessMethod m;
        m.calibration = &c;
        return m;
    }
};

Day& day() {
    static Day d;
    return d;
}

void BM_ReprocessDay(benchmark::State& state) {
    Day& d = day();
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    if (!table.open(d.table_file, true)) {
        state.SkipWithError("no table");
        return;
    }
    int changed = 0;
    for (auto _ : state) {
        const auto rows = storage::reprocess(table, d.program_dir, d.from, d.to, d.method(d.right));
        changed = 0;
        for (const auto& r : rows) {
            changed += r.state == storage::RowState::recomputed && r.changed_cells() > 0 ? 1 : 0;
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows_changed"] = changed;
}
BENCHMARK(BM_ReprocessDay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What the window shows first: the plan of the day (the companions only) and its first rows.
void BM_PreviewFirstScreen(benchmark::State& state) {
    Day& d = day();
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    if (!table.open(d.table_file, true)) {
        state.SkipWithError("no table");
        return;
    }
    const auto method = d.method(d.right);
    for (auto _ : state) {
        storage::ReprocessPlan plan;
        storage::plan_reprocess(plan, table, d.program_dir, d.from, d.to);
        storage::RunRecomputer recomputer;
        for (int i = 0; i < kScreenRows && i < static_cast<int>(plan.items.size()); ++i) {
            auto row = storage::reprocess_row(plan.items[static_cast<std::size_t>(i)], table,
                                              method, recomputer);
            benchmark::DoNotOptimize(row.cells.data());
        }
    }
}
BENCHMARK(BM_PreviewFirstScreen)->Unit(benchmark::kMillisecond);

// Writing every changed row of the day: the trail entry, the rows, the flush, the commit. Each
// round starts from the day as made, with no trail.
void BM_ApplyDay(benchmark::State& state) {
    Day& d = day();
    const fs::path work = d.dir / "apply";
    fs::create_directories(work);
    const fs::path table_file = work / "data.tim";
    library::SystemClock clock;
    std::vector<storage::ReprocessedRow> rows;
    {
        storage::ResultsTable table(clock);
        table.open(d.table_file, true);
        rows = storage::reprocess(table, d.program_dir, d.from, d.to, d.method(d.right));
    }
    storage::TrailNote note;
    note.from = d.from;
    note.to = d.to;
    note.calibration = "верная.cal";
    note.reason = "разбавление введено неверно";
    int cells = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(d.table_file, table_file, fs::copy_options::overwrite_existing);
        std::error_code ec;
        fs::remove(work / storage::kTrailFileName, ec);
        auto table = std::make_unique<storage::ResultsTable>(clock);
        table->open(table_file);
        storage::ReprocessTrail trail(work / storage::kTrailFileName);
        state.ResumeTiming();
        const auto out = storage::apply_reprocessing(*table, trail, rows, note, clock);
        if (!out.ok) {
            state.SkipWithError(out.message.c_str());
            return;
        }
        cells = out.cells;
    }
    state.counters["cells"] = cells;
    state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_ApplyDay)->Unit(benchmark::kMillisecond);

}  // namespace
