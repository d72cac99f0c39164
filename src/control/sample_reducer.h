#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vetra::control {

// Mean of the values left after the 20 largest and the 20 smallest are removed (for 50
// values, the middle 10); 0 when nothing is left. Ties remove the first occurrence.
double trimmed_mean(std::span<const double> values);

// 2^N x K^(G-1): the code that stands for the ADC's input voltage on its widest range.
double full_scale(std::int32_t adc_bits, std::int32_t range_factor, std::int32_t adc_ranges);

// Turns the device's frames into chromatogram points: unwraps the 7-bit tick counter,
// interpolates linearly between frames tick by tick, and reduces every 50 ticks to one
// point with `trimmed_mean`.
class SampleReducer {
public:
    static constexpr int kTicksPerPoint = 50;

    explicit SampleReducer(std::int32_t samples_per_second);

    struct Point {
        double value;
        std::int32_t seconds;
    };

    // Adds one sample frame; calls `emit(Point)` for every point it completes.
    template <class Emit>
    void add(std::uint8_t tick, double millivolts, Emit&& emit);

    std::int64_t total_ticks() const { return total_; }
    std::int32_t seconds() const { return seconds_; }

private:
    std::int32_t rate_;
    double previous_value_ = 0.0;
    std::int64_t previous_total_ = 0;
    std::int64_t total_ = 0;
    int previous_tick_ = 0;
    std::int32_t seconds_ = 0;
    std::vector<double> block_;
};

template <class Emit>
void SampleReducer::add(std::uint8_t tick, double v, Emit&& emit) {
    const int c = tick & 0x7F;
    if (previous_tick_ > 64 && c < 64) {
        total_ += c + 128 - previous_tick_;  // the counter wrapped
    } else {
        total_ += c - previous_tick_;
    }
    previous_tick_ = c;
    seconds_ = rate_ > 0 ? static_cast<std::int32_t>(total_ / rate_ / kTicksPerPoint) : 0;
    for (std::int64_t j = previous_total_ + 1; j <= total_; ++j) {
        block_.push_back(previous_value_ + static_cast<double>(j - previous_total_) *
                                               (v - previous_value_) /
                                               static_cast<double>(total_ - previous_total_));
        if (block_.size() == kTicksPerPoint) {
            emit(Point{trimmed_mean(block_), seconds_});
            block_.clear();
        }
    }
    previous_total_ = total_;
    previous_value_ = v;
}

}  // namespace vetra::control
