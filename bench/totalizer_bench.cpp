// The totalizer log: a full three days saved and loaded (at close, at start-up and every ten
// minutes in the background), the copy the tick hands to the background save, and one
// built-in reading through scaling and averaging on the acquisition thread.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "control/chromatograph_link.h"
#include "control/mess_caller.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "settings/global_settings.h"
#include "storage/totalizer_file.h"

namespace {

using vetra::analysis::TotalizerLog;

TotalizerLog full_log() {
    TotalizerLog log;
    for (std::size_t i = 0; i < vetra::analysis::kTotalizerLogCapacity; ++i) {
        log.append(46000.0 + static_cast<double>(i) / 86400.0,
                   static_cast<float>(1.0 + std::sin(static_cast<double>(i) / 500.0)),
                   static_cast<float>(1500.0 + static_cast<double>(i) * 0.001));
    }
    return log;
}

std::filesystem::path bench_file() {
    return std::filesystem::temp_directory_path() / "vetra_bench_gsumm.dat";
}

void BM_save_full_log(benchmark::State& state) {
    const TotalizerLog log = full_log();
    for (auto _ : state) {
        benchmark::DoNotOptimize(vetra::storage::save_totalizer_file(log, bench_file()));
    }
    state.counters["MB"] = static_cast<double>(log.memory_bytes()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_save_full_log)->Unit(benchmark::kMillisecond);

void BM_load_full_log(benchmark::State& state) {
    if (!vetra::storage::save_totalizer_file(full_log(), bench_file())) {
        state.SkipWithError("cannot write the log");
        return;
    }
    TotalizerLog log;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vetra::storage::load_totalizer_file(log, bench_file()));
    }
    state.counters["records"] = static_cast<double>(log.size());
    std::filesystem::remove(bench_file());
}
BENCHMARK(BM_load_full_log)->Unit(benchmark::kMillisecond);

// What the 400 ms tick does before it hands a background save to its worker.
void BM_snapshot_full_log(benchmark::State& state) {
    const TotalizerLog log = full_log();
    for (auto _ : state) {
        TotalizerLog copy = log;
        benchmark::DoNotOptimize(copy.size());
    }
}
BENCHMARK(BM_snapshot_full_log)->Unit(benchmark::kMillisecond);

void BM_reading_through_scaling_and_averaging(benchmark::State& state) {
    vetra::settings::GlobalSettings settings;
    settings.totalizer_use = true;
    vetra::library::LockObject lock;
    vetra::control::MessCaller calls;
    vetra::library::ConsoleOperator op;
    vetra::library::SystemClock clock;
    vetra::control::ChromatographLink link(settings, lock, calls, op, clock);
    double r = 0.0;
    for (auto _ : state) {
        vetra::library::ScopedLock guard(lock);  // as the acquisition thread holds it
        link.totalizer_scaling(1, r);
        r = r < 9.0 ? r + 0.001 : 0.0;
    }
    calls.shut_down();
}
BENCHMARK(BM_reading_through_scaling_and_averaging);

}  // namespace
