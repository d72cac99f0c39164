// Loading and saving the settings record happens at start-up and after every dialog;
// this keeps an eye on what a full record costs.
#include <benchmark/benchmark.h>

#include "settings/global_settings.h"
#include "settings/ini_file.h"

namespace {

void BM_settings_save_then_load(benchmark::State& state) {
    vetra::settings::GlobalSettings settings;
    vetra::settings::IniFile file;
    settings.save(file);
    const std::string text = file.text();
    for (auto _ : state) {
        auto doc = vetra::settings::IniFile::from_text(text);
        vetra::settings::GlobalSettings loaded;
        loaded.load(doc);
        loaded.save(doc);
        benchmark::DoNotOptimize(doc);
    }
}
BENCHMARK(BM_settings_save_then_load);

}  // namespace
