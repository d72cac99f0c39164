#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vetra::sim {

// One gas leaving the column: a Gaussian of the given height above the baseline.
struct Peak {
    std::string name;
    double centre = 0;  // s from the start of the cycle
    double height = 0;  // mV above the baseline
    double sigma = 1;   // s, the Gaussian's standard deviation
};

// One peak per gas of the default gas list, centred in its exit-time window and narrow
// enough (sigma = a tenth of the window) that its tails neither reach the samples the
// program takes its baseline from nor leave the window.
std::vector<Peak> default_peaks();

// "name:centre:height:width,..." with width the standard deviation in seconds.
std::optional<std::vector<Peak>> parse_peaks(std::string_view text);

// Area above the baseline in the program's units, mV x s: height x sigma x sqrt(2 pi).
double peak_area(const Peak& peak);

// "name=area" lines, one per peak.
std::string truth_text(const std::vector<Peak>& peaks);

// A calibration gas: concentration in % per gas name. Text: one "name=percent" per line
// (',' or '.'), blank lines and lines starting with '#' ignored; nullopt for any other line.
using Mixture = std::vector<std::pair<std::string, double>>;
std::optional<Mixture> parse_mixture(std::string_view text);

// The instrument's response, peak area (mV x s) per % of each gas: "name=area,...".
std::optional<Mixture> parse_response(std::string_view text);
// 100 mV x s per % for метан, falling by a tenth of that for each later default gas.
Mixture default_response();

// The peaks with their heights set by the mixture: area = percent x response; a gas the
// mixture does not name is absent (0 %), one without a response gives no peak.
std::vector<Peak> mixture_peaks(const std::vector<Peak>& peaks, const Mixture& mixture,
                                const Mixture& response);

// The instrument's ADC: bits N, range factor K, number of ranges G, input voltage U.
// Must agree with the program's settings for the millivolts to come out right.
struct AdcScale {
    int bits = 14;
    int range_factor = 10;
    int ranges = 4;
    double input_voltage = 2.5;

    // Codes per millivolt on range 0: 2^N x K^(G-1) / (1000 U).
    double codes_per_mv() const;
};

std::optional<AdcScale> parse_adc(std::string_view text);  // "N:K:G:U"

struct AdcReading {
    int range = 0;
    int code = 0;  // signed, fits N bits
};

// The lowest range on which the signal's code still fits the ADC's signed width; a
// signal beyond the widest range saturates.
AdcReading to_adc(double millivolts, const AdcScale& adc);

using Frame = std::array<std::uint8_t, 4>;

// A detector sample as model 0 (halves bit-reversed) or model 1 sends it.
Frame sample_frame(int model, std::uint8_t tick, const AdcReading& reading, int adc_bits);
// A built-in totalizer reading (model 1): channel 0 or 1, an unsigned 14-bit code.
Frame totalizer_frame(std::uint8_t tick, int channel, int code);
inline constexpr Frame kClosingFrame{0xFF, 0xFF, 0xFF, 0xFF};

// Baseline, white noise and the peaks, evaluated at signal time t.
class SignalSource {
public:
    SignalSource(double baseline_mv, double noise_mv, std::vector<Peak> peaks, std::uint32_t seed);

    void set_peaks(std::vector<Peak> peaks) { peaks_ = std::move(peaks); }
    double clean(double t) const;
    double sample(double t);

private:
    double baseline_;
    std::vector<Peak> peaks_;
    std::mt19937 random_;
    std::normal_distribution<double> noise_;
};

}  // namespace vetra::sim
