#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "display/gas_log_model.h"

namespace vetra::test {

// A well logged in time order: drilling down with shows of gas, and now and then a trip
// that logs rows above the bottom before drilling on. Rows are held in memory.
class SyntheticWell final : public display::GasLogRows {
public:
    SyntheticWell(int rows, double start_depth, unsigned seed = 7, int trip_every = 400) {
        gases_ = {{"метан", "C1", 255},    {"этан", "C2", 16711680},
                  {"пропан", "C3", 32768}, {"изобутан", "C4i", 8421376},
                  {"бутан", "C4", 32896},  {"пентан", "C5", 16711935},
                  {"гексан", "C6", 0}};
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        double bottom = start_depth;
        int trip_left = 0;
        double trip_depth = 0;
        for (int i = 0; i < rows; ++i) {
            display::GasLogSample s;
            if (trip_every > 0 && i % trip_every == trip_every - 1) {
                trip_left = 10;
                trip_depth = bottom;
            }
            if (trip_left > 0) {
                --trip_left;
                trip_depth -= 1.5 + u(random);
                s.depth = static_cast<float>(std::max(1.0, trip_depth));
            } else {
                bottom += 0.05 + 0.2 * u(random);
                s.depth = static_cast<float>(bottom);
            }
            s.stamp = 1'700'000'000u + static_cast<std::uint32_t>(i) * 60u;
            const double show = std::exp(-std::pow(std::fmod(s.depth, 97.0) - 50.0, 2) / 30.0);
            const double c1 = 0.02 + 4.0 * show * (0.5 + u(random));
            const double wet = 0.03 + 0.25 * show * u(random);
            s.gases = {static_cast<float>(c1),
                       static_cast<float>(c1 * wet),
                       static_cast<float>(c1 * wet * 0.5),
                       static_cast<float>(c1 * wet * 0.12),
                       static_cast<float>(c1 * wet * 0.2),
                       static_cast<float>(c1 * wet * 0.08 * u(random)),
                       i % 53 == 0 ? 0.0f : static_cast<float>(c1 * wet * 0.02)};
            s.total = i % 71 == 0 ? NAN : 0.0f;
            for (const float g : s.gases) {
                s.total += g;
            }
            samples_.push_back(s);
        }
    }

    const std::vector<display::GasLogGas>& gases() const override { return gases_; }
    int size() const override { return static_cast<int>(samples_.size()); }
    bool read(int index, display::GasLogSample& out) const override {
        if (index < 0 || index >= size()) {
            return false;
        }
        out = samples_[static_cast<std::size_t>(index)];
        return true;
    }
    std::uint64_t generation() const override { return generation_; }
    std::string stamp_text(std::uint32_t stamp) const override {
        return "день " + std::to_string((stamp - 1'700'000'000u) / 86400 + 1);
    }

    analysis::ShowParameters show_parameters() const override { return parameters_; }

    std::vector<display::GasLogSample> samples_;
    std::uint64_t generation_ = 1;
    analysis::ShowParameters parameters_;

private:
    std::vector<display::GasLogGas> gases_;
};

}  // namespace vetra::test
