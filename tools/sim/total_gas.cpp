#include "total_gas.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "library/number_text.h"

namespace vetra::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<double> numbers_after(std::string_view spec, std::size_t colon) {
    std::vector<double> out;
    std::string_view rest = spec.substr(colon + 1);
    while (true) {
        const auto next = rest.find(':');
        const auto v = library::parse_number(std::string(rest.substr(0, next)));
        if (!v || !std::isfinite(*v)) {
            return {};
        }
        out.push_back(*v);
        if (next == std::string_view::npos) {
            return out;
        }
        rest = rest.substr(next + 1);
    }
}

}  // namespace

TotalGasCurve TotalGasCurve::constant(double percent) {
    TotalGasCurve c;
    c.a_ = percent;
    return c;
}

std::optional<TotalGasCurve> TotalGasCurve::parse(std::string_view spec) {
    const auto colon = spec.find(':');
    const std::string_view name = spec.substr(0, colon);
    TotalGasCurve c;
    if (colon != std::string_view::npos && (name == "const" || name == "ramp" || name == "sine")) {
        const auto n = numbers_after(spec, colon);
        if (name == "const" && n.size() == 1) {
            return constant(n[0]);
        }
        if (n.size() != 3 || !(n[2] > 0)) {
            return std::nullopt;
        }
        c.shape_ = name == "ramp" ? Shape::ramp : Shape::sine;
        c.a_ = n[0];
        c.b_ = n[1];
        c.c_ = n[2];
        return c;
    }
    std::ifstream in{std::string(spec)};
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string t, v;
        if (!(fields >> t)) {
            continue;
        }
        const auto tv = library::parse_number(t);
        const auto vv = fields >> v ? library::parse_number(v) : std::nullopt;
        if (!tv || !vv || !std::isfinite(*tv) || !std::isfinite(*vv)) {
            return std::nullopt;
        }
        c.points_.emplace_back(*tv, *vv);
    }
    if (c.points_.empty()) {
        return std::nullopt;
    }
    std::sort(c.points_.begin(), c.points_.end());
    c.shape_ = Shape::table;
    return c;
}

double TotalGasCurve::at(double seconds) const {
    switch (shape_) {
        case Shape::constant:
            return a_;
        case Shape::ramp:
            return a_ + (b_ - a_) * std::fmod(std::max(seconds, 0.0), c_) / c_;
        case Shape::sine:
            return a_ + b_ * std::sin(2 * kPi * seconds / c_);
        case Shape::table:
            break;
    }
    if (seconds <= points_.front().first) {
        return points_.front().second;
    }
    for (std::size_t i = 1; i < points_.size(); ++i) {
        const auto& [t1, v1] = points_[i];
        if (seconds <= t1) {
            const auto& [t0, v0] = points_[i - 1];
            return t1 > t0 ? v0 + (v1 - v0) * (seconds - t0) / (t1 - t0) : v1;
        }
    }
    return points_.back().second;
}

std::pair<int, int> builtin_codes(double percent, double summ_max1, double summ_max10) {
    const auto code = [&](double summ_max) {
        const double r = summ_max > 0 ? percent * 10.0 / summ_max : 0.0;
        return static_cast<int>(std::clamp(std::lround(r * 8191.0 / 10.0), 0L, 8191L));
    };
    return {code(summ_max1), code(summ_max10)};
}

std::array<std::uint8_t, 24> totalizer_packet(double percent, std::uint8_t counter, double coeff,
                                              bool bad_sum) {
    double main = coeff > 0 ? percent * 8192.0 / coeff : 0.0;
    int e = 0;
    while (std::fabs(main) > 32767.0 && e < 9) {
        main /= 10.0;
        ++e;
    }
    const auto m = static_cast<std::int16_t>(std::clamp(std::lround(main), -32767L, 32767L));
    std::array<std::uint8_t, 24> p{'M', 'M', 'V'};
    p[3] = counter;
    p[4] = static_cast<std::uint8_t>(e);
    p[5] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(m) & 0xFF);
    p[6] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(m) >> 8);
    p[7] = 0x01;  // fields of the instrument the program does not read
    p[12] = static_cast<std::uint8_t>(counter * 3);
    unsigned sum = 0;
    for (std::size_t i = 3; i < 23; ++i) {
        sum += p[i];
    }
    p[23] = static_cast<std::uint8_t>((256 - sum % 256 + (bad_sum ? 1 : 0)) % 256);
    return p;
}

}  // namespace vetra::sim
