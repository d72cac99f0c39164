// The history and the journal: a history entry is added at the end of every cycle, the
// history is loaded at start and saved at close, and the journal is saved after every line.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/gaz_list.h"
#include "analysis/gaz_result.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "storage/event_log.h"
#include "storage/history.h"

namespace {

namespace fs = std::filesystem;
using vetra::display::ChromatogramPlot;

constexpr int kRate = 8;
const vetra::library::LocalTime kAt{2026, 12, 7, 9, 5, 7, 0};

// A 120 s chromatogram at 8 points a second with one peak per default gas and its results.
struct Cycle {
    vetra::analysis::GazList gases;
    std::vector<vetra::analysis::GazResult> results;
    ChromatogramPlot plot;

    Cycle() {
        for (int i = 0; i < 120 * kRate; ++i) {
            const double t = static_cast<double>(i) / kRate;
            double v = 1.5 + 0.01 * t;
            for (int g = 0; g < gases.count(); ++g) {
                const double centre = (gases.gas(g).start + gases.gas(g).end) / 2.0;
                v += 100.0 / (g + 1) * std::exp(-0.5 * std::pow((t - centre) / 0.6, 2));
            }
            plot.points.push_back(v);
            plot.seconds.push_back(i / kRate);
        }
        for (int g = 0; g < gases.count(); ++g) {
            vetra::analysis::GazResult r;
            r.name = gases.gas(g).name;
            r.value_text = " 0,123% ";
            r.peak_max = 100.0 / (g + 1);
            results.push_back(r);
        }
    }

    void fill(vetra::storage::History& history) const {
        for (int i = 0; i < vetra::storage::kHistoryCapacity; ++i) {
            history.add(plot, gases, results, kRate, 0xFFFFFF, kAt);
        }
    }
};

// A scratch directory beside the system's temporary files.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("vetra-bench-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch() { fs::remove_all(dir); }
};

void history_add(benchmark::State& state) {
    const Cycle cycle;
    vetra::storage::History history;
    cycle.fill(history);
    for (auto _ : state) {
        history.add(cycle.plot, cycle.gases, cycle.results, kRate, 0xFFFFFF, kAt);
    }
}
BENCHMARK(history_add)->Unit(benchmark::kMicrosecond);

void history_save_24(benchmark::State& state) {
    const Cycle cycle;
    vetra::storage::History history;
    cycle.fill(history);
    const Scratch scratch;
    const std::string path = (scratch.dir / "vetra2.history").string();
    for (auto _ : state) {
        benchmark::DoNotOptimize(history.save(path));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
}
BENCHMARK(history_save_24)->Unit(benchmark::kMillisecond);

void history_load_24(benchmark::State& state) {
    const Cycle cycle;
    vetra::storage::History history;
    cycle.fill(history);
    const Scratch scratch;
    const std::string path = (scratch.dir / "vetra2.history").string();
    if (!history.save(path)) {
        state.SkipWithError("cannot write the history");
        return;
    }
    vetra::storage::History loaded;
    for (auto _ : state) {
        loaded.load(path);
    }
    if (loaded.count() != 24) {
        state.SkipWithError("the history did not load");
    }
}
BENCHMARK(history_load_24)->Unit(benchmark::kMillisecond);

// One operator line into a full journal: the cap, the stamp and the whole-file save.
void journal_add_and_save_257(benchmark::State& state) {
    const Scratch scratch;
    vetra::library::ManualClock clock(kAt);
    vetra::storage::EventLog log(clock);
    log.attach((scratch.dir / vetra::storage::kEventLogFileName).string());
    for (int i = 0; i < 257; ++i) {
        log.add("Произведена калибровка хроматографа");
    }
    for (auto _ : state) {
        log.add("Результат калибровки сохранен в файл");
    }
}
BENCHMARK(journal_add_and_save_257)->Unit(benchmark::kMillisecond);

// The floor under both saves: one byte written the same way, so the disk's flush shows.
void atomic_write_of_one_byte(benchmark::State& state) {
    const Scratch scratch;
    const fs::path path = scratch.dir / "one";
    for (auto _ : state) {
        benchmark::DoNotOptimize(vetra::library::write_file_atomically(path, "x"));
    }
}
BENCHMARK(atomic_write_of_one_byte)->Unit(benchmark::kMillisecond);

}  // namespace
