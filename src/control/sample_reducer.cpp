#include "control/sample_reducer.h"

#include <cmath>

namespace vetra::control {
namespace {
constexpr int kTrimmed = 20;
constexpr std::size_t kSmall = 64;
}  // namespace

double trimmed_mean(std::span<const double> values) {
    // Removed entries are flagged rather than overwritten with a marker value, so no real
    // reading can be mistaken for a removed one. The usual 50 values need no allocation.
    const std::span<const double> v = values;
    unsigned char small_flags[kSmall] = {};
    std::vector<unsigned char> big_flags(v.size() > kSmall ? v.size() : 0, 0);
    unsigned char* flags = v.size() > kSmall ? big_flags.data() : small_flags;
    const auto removed = [flags](std::size_t i) -> unsigned char& { return flags[i]; };
    const auto drop = [&](bool largest) {
        double best = largest ? -1e20 : 1e20;
        std::size_t at = v.size();
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (removed(i)) {
                continue;
            }
            if (largest ? v[i] > best : v[i] < best) {
                best = v[i];
                at = i;
            }
        }
        if (at < v.size()) {
            removed(at) = 1;
        }
    };
    for (int k = 0; k < kTrimmed; ++k) {
        drop(true);
    }
    for (int k = 0; k < kTrimmed; ++k) {
        drop(false);
    }
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!removed(i)) {
            sum += v[i];
            ++count;
        }
    }
    return count > 0 ? sum / count : 0.0;
}

double full_scale(std::int32_t adc_bits, std::int32_t range_factor, std::int32_t adc_ranges) {
    return std::pow(2.0, adc_bits) * std::pow(static_cast<double>(range_factor), adc_ranges - 1);
}

SampleReducer::SampleReducer(std::int32_t samples_per_second) : rate_(samples_per_second) {
    block_.reserve(kTicksPerPoint);
}

}  // namespace vetra::control
