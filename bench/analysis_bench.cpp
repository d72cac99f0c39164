// The calculator runs on every 400 ms tick of a cycle while samples arrive, so one step
// must stay far below the tick. Each iteration replays one whole cycle, one step per tick;
// "per_call" is the mean time of one step.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_calculator.h"
#include "analysis/gaz_list.h"
#include "analysis/sample_record.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "settings/global_settings.h"

namespace {

using namespace vetra;

class SilentOperator final : public library::Operator {
public:
    void beep(int, int) override {}
    void show_message(const std::string&, const std::string&, library::MessageIcon) override {}
    bool ask_yes_no(const std::string&, const std::string&) override { return true; }
};

// Gases with windows of `width` seconds spread over the cycle, a Gaussian peak in each,
// on a noisy baseline.
std::vector<analysis::SampleRecord> make_cycle(analysis::GazList& gases, int count, int rate,
                                               int seconds, float width) {
    gases.resize(count);
    const float step = static_cast<float>(seconds - 10) / static_cast<float>(count);
    for (int g = 0; g < count; ++g) {
        gases.gas(g).name = "gas" + std::to_string(g);
        const float start = 5 + step * static_cast<float>(g);
        gases.setWindow(g, start, start + width);
    }
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.01);
    std::vector<analysis::SampleRecord> samples(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 1.0 + noise(random);
        for (int g = 0; g < count; ++g) {
            const double centre = gases.gas(g).start + width / 2;
            const double z = (t - centre) / (width / 10);
            v += (10 + g) * std::exp(-0.5 * z * z);
        }
        samples[i].value = v;
    }
    return samples;
}

void run_cycles(benchmark::State& state, int gas_count, int rate, int seconds, float width,
                bool correction) {
    settings::GlobalSettings settings;
    settings.samples_per_second = rate;
    settings.window_correction = correction;
    analysis::GazList gases;
    const auto source = make_cycle(gases, gas_count, rate, seconds, width);
    std::vector<analysis::SampleRecord> samples;
    samples.reserve(source.size());
    library::LockObject lock;
    SilentOperator op;
    library::ManualClock clock;
    analysis::GazCalculator calc(settings, samples, gases, lock, op, clock);
    analysis::EtalonStorage store;
    store.copyPointsFrom(
        {{"", 1,
          std::vector<std::pair<double, double>>(static_cast<std::size_t>(gas_count), {1.0, 50.0})},
         {"", 1,
          std::vector<std::pair<double, double>>(static_cast<std::size_t>(gas_count),
                                                 {2.0, 90.0})}});
    calc.set_concentration_function(
        [&store](int g, double area) { return store.concentration(g, area); });

    const double per_tick = rate * 0.4;  // samples arriving per 400 ms tick
    std::int64_t calls = 0;
    std::size_t published = 0;
    calc.results_notification.connect(
        [&](const std::vector<analysis::GazResult>&, float) { ++published; });
    for (auto _ : state) {
        state.PauseTiming();
        samples.clear();
        gases.resetWorkingWindows();
        calc.reset();
        state.ResumeTiming();
        double due = 0;
        while (samples.size() < source.size()) {
            due += per_tick;
            while (samples.size() < source.size() && static_cast<double>(samples.size()) < due) {
                samples.push_back(source[samples.size()]);
            }
            calc.process(100.0f, true);
            ++calls;
        }
    }
    if (published != static_cast<std::size_t>(state.iterations())) {
        state.SkipWithError("a cycle did not publish its results");
    }
    state.counters["per_call"] = benchmark::Counter(
        static_cast<double>(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["calls_per_cycle"] =
        static_cast<double>(calls) / static_cast<double>(state.iterations());
}

void BM_process_6_gases_8_per_second_120_s(benchmark::State& state) {
    run_cycles(state, 6, 8, 120, 5, false);
}
BENCHMARK(BM_process_6_gases_8_per_second_120_s)->Unit(benchmark::kMillisecond);

void BM_process_15_gases_20_per_second_600_s_corrected(benchmark::State& state) {
    run_cycles(state, 15, 20, 600, 20, true);
}
BENCHMARK(BM_process_15_gases_20_per_second_600_s_corrected)->Unit(benchmark::kMillisecond);

}  // namespace
