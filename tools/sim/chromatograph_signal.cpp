#include "chromatograph_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "analysis/gaz_list.h"
#include "library/number_text.h"
#include "link/wire_protocol.h"

namespace vetra::sim {
namespace {

// Heights fall along the list, so that one cycle crosses ranges 2, 1 and back.
constexpr double kDefaultHeights[] = {80.0, 40.0, 25.0, 12.0, 6.0, 3.0};

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

std::optional<double> finite_number(std::string_view text) {
    const auto v = library::parse_number(text);
    return v && std::isfinite(*v) ? v : std::nullopt;
}

}  // namespace

std::vector<Peak> default_peaks() {
    std::vector<Peak> peaks;
    std::size_t index = 0;
    for (const auto& gas : analysis::GazList::default_gases()) {
        const double height = index < std::size(kDefaultHeights) ? kDefaultHeights[index] : 3.0;
        peaks.push_back(
            {gas.name, (gas.start + gas.end) / 2.0, height, (gas.end - gas.start) / 10.0});
        ++index;
    }
    return peaks;
}

std::optional<std::vector<Peak>> parse_peaks(std::string_view text) {
    std::vector<Peak> peaks;
    for (const auto item : split(text, ',')) {
        const auto fields = split(item, ':');
        if (fields.size() != 4 || fields[0].empty()) {
            return std::nullopt;
        }
        const auto centre = finite_number(fields[1]);
        const auto height = finite_number(fields[2]);
        const auto sigma = finite_number(fields[3]);
        if (!centre || !height || !sigma || *sigma <= 0 || *centre < 0) {
            return std::nullopt;
        }
        peaks.push_back({std::string(fields[0]), *centre, *height, *sigma});
    }
    return peaks;
}

double peak_area(const Peak& peak) {
    return peak.height * peak.sigma * std::sqrt(2.0 * std::numbers::pi);
}

std::string truth_text(const std::vector<Peak>& peaks) {
    std::string text;
    for (const auto& p : peaks) {
        char number[64];
        std::snprintf(number, sizeof number, "%.10g", peak_area(p));
        text += p.name + "=" + number + "\n";
    }
    return text;
}

namespace {

std::optional<Mixture> parse_pairs(std::string_view text, char separator, bool allow_comments) {
    Mixture mixture;
    for (auto line : split(text, separator)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.remove_suffix(1);
        }
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        if (allow_comments && (line.empty() || line.front() == '#')) {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return std::nullopt;
        }
        const auto value = finite_number(line.substr(eq + 1));
        if (!value || *value < 0) {
            return std::nullopt;
        }
        auto name = line.substr(0, eq);
        while (!name.empty() && name.back() == ' ') {
            name.remove_suffix(1);
        }
        mixture.emplace_back(std::string(name), *value);
    }
    return mixture;
}

const double* find_value(const Mixture& mixture, const std::string& name) {
    for (const auto& [n, v] : mixture) {
        if (n == name) {
            return &v;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<Mixture> parse_mixture(std::string_view text) {
    return parse_pairs(text, '\n', true);
}

std::optional<Mixture> parse_response(std::string_view text) {
    return parse_pairs(text, ',', false);
}

Mixture default_response() {
    Mixture response;
    double area = 100.0;
    for (const auto& gas : analysis::GazList::default_gases()) {
        response.emplace_back(gas.name, area);
        area -= 10.0;
    }
    return response;
}

std::vector<Peak> mixture_peaks(const std::vector<Peak>& peaks, const Mixture& mixture,
                                const Mixture& response) {
    std::vector<Peak> result;
    for (Peak p : peaks) {
        const double* percent = find_value(mixture, p.name);
        const double* per_percent = find_value(response, p.name);
        p.height = percent && per_percent
                       ? *percent * *per_percent / (p.sigma * std::sqrt(2.0 * std::numbers::pi))
                       : 0.0;
        result.push_back(p);
    }
    return result;
}

double AdcScale::codes_per_mv() const {
    return std::pow(2.0, bits) * std::pow(static_cast<double>(range_factor), ranges - 1) /
           (1000.0 * input_voltage);
}

std::optional<AdcScale> parse_adc(std::string_view text) {
    const auto fields = split(text, ':');
    if (fields.size() != 4) {
        return std::nullopt;
    }
    const auto bits = finite_number(fields[0]);
    const auto factor = finite_number(fields[1]);
    const auto ranges = finite_number(fields[2]);
    const auto volts = finite_number(fields[3]);
    // Codes travel in two 7-bit halves, and the range in two bits.
    if (!bits || !factor || !ranges || !volts || *bits < 2 || *bits > 14 || *factor < 1 ||
        *ranges < 1 || *ranges > 4 || *volts <= 0 || *bits != std::trunc(*bits) ||
        *factor != std::trunc(*factor) || *ranges != std::trunc(*ranges)) {
        return std::nullopt;
    }
    return AdcScale{static_cast<int>(*bits), static_cast<int>(*factor), static_cast<int>(*ranges),
                    *volts};
}

AdcReading to_adc(double millivolts, const AdcScale& adc) {
    const long high = (1L << (adc.bits - 1)) - 1;
    const long low = -(1L << (adc.bits - 1));
    const double codes = millivolts * adc.codes_per_mv();
    double divisor = 1.0;
    for (int range = 0; range < adc.ranges; ++range) {
        const long code = std::lround(codes / divisor);
        if ((code >= low && code <= high) || range == adc.ranges - 1) {
            return {range, static_cast<int>(std::clamp(code, low, high))};
        }
        divisor *= adc.range_factor;
    }
    return {};
}

Frame sample_frame(int model, std::uint8_t tick, const AdcReading& reading, int adc_bits) {
    const unsigned code = static_cast<unsigned>(reading.code) & ((1u << adc_bits) - 1);
    auto high = static_cast<std::uint8_t>((code >> 7) & 0x7F);
    auto low = static_cast<std::uint8_t>(code & 0x7F);
    if (model == 0) {
        high = link::reverse7(high);
        low = link::reverse7(low);
    }
    return {static_cast<std::uint8_t>(0x80 | (tick & 0x7F)),
            static_cast<std::uint8_t>(reading.range & 3), high, low};
}

Frame totalizer_frame(std::uint8_t tick, int channel, int code) {
    const auto c = static_cast<unsigned>(std::clamp(code, 0, 0x3FFF));
    return {static_cast<std::uint8_t>(0x80 | (tick & 0x7F)),
            static_cast<std::uint8_t>(0x04 | (channel & 1)), static_cast<std::uint8_t>(c >> 7),
            static_cast<std::uint8_t>(c & 0x7F)};
}

SignalSource::SignalSource(double baseline_mv, double noise_mv, std::vector<Peak> peaks,
                           std::uint32_t seed)
    : baseline_(baseline_mv),
      peaks_(std::move(peaks)),
      random_(seed),
      noise_(0.0, std::max(noise_mv, 0.0)) {}

double SignalSource::clean(double t) const {
    double v = baseline_;
    for (const auto& p : peaks_) {
        const double z = (t - p.centre) / p.sigma;
        // Beyond 12 sigma the peak adds nothing a double could hold next to the baseline.
        if (std::fabs(z) < 12.0) {
            v += p.height * std::exp(-0.5 * z * z);
        }
    }
    return v;
}

double SignalSource::sample(double t) {
    return clean(t) + (noise_.stddev() > 0 ? noise_(random_) : 0.0);
}

}  // namespace vetra::sim
