#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/gaz_calculator.h"
#include "analysis/gaz_list.h"
#include "analysis/sample_record.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "settings/global_settings.h"
#include "support/recording_operator.h"

namespace vetra::analysis::test {

// A calculator with everything it reads: settings, a sample buffer the test fills, a gas
// list, the data lock, a recording operator and a manual clock. Published lists are kept.
struct CalculatorRig {
    settings::GlobalSettings settings;
    std::vector<analysis::SampleRecord> samples;
    GazList gases;
    library::LockObject lock;
    vetra::test::RecordingOperator op;
    library::ManualClock clock;
    GazCalculator calc{settings, samples, gases, lock, op, clock};

    struct Published {
        std::vector<GazResult> results;
        float depth;
    };
    std::vector<Published> published;

    explicit CalculatorRig(int rate = 8) {
        settings.samples_per_second = rate;
        settings.zero_seconds = 5;
        calc.results_notification.connect([this](const std::vector<GazResult>& r, float depth) {
            published.push_back({r, depth});
        });
    }

    // One gas per window, named g0, g1, ...
    void use_windows(const std::vector<std::pair<float, float>>& windows) {
        gases.resize(0);
        gases.resize(static_cast<int>(windows.size()));
        for (int i = 0; i < gases.count(); ++i) {
            gases.gas(i).name = "g" + std::to_string(i);
            gases.gas(i).code = "G" + std::to_string(i);
            gases.setWindow(i, windows[static_cast<std::size_t>(i)].first,
                            windows[static_cast<std::size_t>(i)].second);
        }
    }

    void append(double value) {
        analysis::SampleRecord r;
        r.value = value;
        r.seconds = static_cast<std::int32_t>(samples.size()) / settings.samples_per_second;
        samples.push_back(r);
    }
    void fill(int count, const std::function<double(int)>& signal) {
        for (int i = 0; i < count; ++i) {
            append(signal(i));
        }
    }
    void set(int index, double value) { samples.at(static_cast<std::size_t>(index)).value = value; }
};

}  // namespace vetra::analysis::test
