#include "analysis/etalon_program.h"

#include <algorithm>
#include <cmath>

#include "library/number_range.h"
#include "library/number_text.h"

namespace vetra::analysis {
namespace {

bool discarded(double v) {
    return std::fabs(v - kDiscarded) < 0.1;
}

// Marks the largest (or smallest) value still counted, first occurrence.
void discard_extreme(std::vector<double>& v, bool largest) {
    int at = -1;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!discarded(v[i]) && (at < 0 || (largest ? v[i] > v[static_cast<std::size_t>(at)]
                                                    : v[i] < v[static_cast<std::size_t>(at)]))) {
            at = static_cast<int>(i);
        }
    }
    if (at >= 0) {
        v[static_cast<std::size_t>(at)] = kDiscarded;
    }
}

std::optional<int> whole_number(std::string_view text) {
    const auto v = library::parse_number(text);
    if (!v || *v != std::trunc(*v) || std::fabs(*v) > 1e9) {
        return std::nullopt;
    }
    return static_cast<int>(*v);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

double reduce_repeats(std::vector<double> v) {
    const std::size_t n = v.size();
    if (n == 3) {
        double sum = 0;
        for (double x : v) {
            sum += x;
        }
        const double m = sum / 3;
        const auto largest = std::max_element(v.begin(), v.end());
        const auto smallest = std::min_element(v.begin(), v.end());
        const bool far_largest = std::fabs(*largest - m) > std::fabs(*smallest - m);
        *(far_largest ? largest : smallest) = kDiscarded;
    } else if (n >= 4) {
        discard_extreme(v, true);
        discard_extreme(v, false);
        if (n > 6) {
            discard_extreme(v, true);
            discard_extreme(v, false);
        }
    }
    double sum = 0;
    int kept = 0;
    for (double x : v) {
        if (!discarded(x)) {
            sum += x;
            ++kept;
        }
    }
    return kept > 0 ? sum / kept : 0.0;
}

double grid_coefficient(double concentration, double area, double degassing) {
    if (concentration == 0) {
        return 0;
    }
    return (area / degassing) / concentration;
}

std::vector<std::string> result_row(const EtalonPoint& point, int gas_count, double degassing) {
    std::vector<std::string> row;
    for (int g = 0; g < gas_count; ++g) {
        const auto [c, a] = static_cast<std::size_t>(g) < point.pairs.size()
                                ? point.pairs[static_cast<std::size_t>(g)]
                                : std::pair<double, double>{0, 0};
        row.push_back(library::fixed_to_text(c, 6));
        row.push_back(library::fixed_to_text(grid_coefficient(c, a, degassing), 6));
    }
    return row;
}

void read_result_row(EtalonPoint& point, const std::vector<std::string>& cells, double degassing) {
    const std::size_t gases = std::min(point.pairs.size(), cells.size() / 2);
    for (std::size_t g = 0; g < gases; ++g) {
        const auto c = library::parse_number(cells[2 * g]);
        const auto k = library::parse_number(cells[2 * g + 1]);
        if (!c || !k) {
            continue;
        }
        point.pairs[g] = {*c, *c * *k * degassing};
    }
}

void sort_points(std::vector<EtalonPoint>& points) {
    const auto first = [](const EtalonPoint& p) {
        return p.pairs.empty() ? 0.0 : p.pairs[0].first;
    };
    std::stable_sort(points.begin(), points.end(), [&](const EtalonPoint& a, const EtalonPoint& b) {
        return first(a) < first(b);
    });
}

std::optional<double> parse_degassing(std::string_view text) {
    return library::number_in_range(text, kDegassingRange);
}

std::string dilution_caption(std::string_view dilution) {
    return dilution.empty() ? std::string(kUndiluted) : std::string(dilution);
}

std::string attempt_caption(std::string_view dilution, int attempt, int repeats) {
    const std::string count =
        "попытка " + std::to_string(attempt) + " из " + std::to_string(repeats);
    if (dilution.empty()) {
        return "Без разбавления, " + count;
    }
    return "Разбавление \"" + std::string(dilution) + "\", " + count;
}

const std::vector<std::string>& dilution_numerators() {
    static const std::vector<std::string> list{"1",  "2",   "4",   "5",   "10",  "20",  "40",
                                               "50", "100", "200", "400", "500", "1000"};
    return list;
}

const std::vector<std::string>& dilution_denominators() {
    static const std::vector<std::string> list = [] {
        std::vector<std::string> l{"10", "20", "50"};
        for (int v = 100; v <= 2000; v += 100) {
            l.push_back(std::to_string(v));
        }
        return l;
    }();
    return list;
}

std::optional<std::pair<int, int>> parse_dilution(std::string_view text) {
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto a = whole_number(text.substr(0, slash));
    const auto b = whole_number(text.substr(slash + 1));
    if (!a || !b || *a == 0 || *b == 0) {
        return std::nullopt;
    }
    return std::pair{*a, *b};
}

double dilution_factor(std::string_view numerator, std::string_view denominator) {
    const auto a = whole_number(numerator);
    const auto b = whole_number(denominator);
    if (!a || !b || *a == 0 || *b == 0) {
        return 1.0;
    }
    return static_cast<double>(*a) / *b;
}

std::string dilution_text(std::string_view numerator, std::string_view denominator) {
    return std::string(trimmed(numerator)) + " / " + std::string(trimmed(denominator));
}

std::vector<std::optional<double>> parse_percents(std::string_view text, int gas_count) {
    std::vector<std::optional<double>> values(static_cast<std::size_t>(std::max(gas_count, 0)));
    for (std::size_t i = 0; i < values.size() && !text.empty(); ++i) {
        const auto comma = text.find(',');
        values[i] = library::parse_number(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return values;
}

std::string percents_text(const std::vector<double>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i ? "," : "") + library::float_to_text(values[i], '.');
    }
    return text;
}

double decade_above(double largest) {
    double decade = 1e-7;
    for (int k = -7; k < 6 && decade <= largest; ++k) {
        decade *= 10;
    }
    return std::max(decade, kAxisBottom * 10);
}

double log_position(double value, double top, double length) {
    const double span = std::log10(top) - std::log10(kAxisBottom);
    return (std::log10(value) - std::log10(kAxisBottom)) / span * length;
}

double log_value(double position, double top, double length) {
    const double span = std::log10(top) - std::log10(kAxisBottom);
    return std::pow(10.0, std::log10(kAxisBottom) + position / length * span);
}

bool RepeatCapture::add_attempt(const std::vector<GazResult>& results) {
    if (results.size() < static_cast<std::size_t>(gas_count_)) {
        return false;
    }
    std::vector<double> areas;
    for (std::size_t i = 0; i < std::min(results.size(), kCapacity); ++i) {
        areas.push_back(results[i].area);
    }
    attempts_.push_back(std::move(areas));
    return true;
}

void RepeatCapture::apply(EtalonPoint& point) const {
    const std::size_t gases =
        std::min<std::size_t>(static_cast<std::size_t>(gas_count_), kCapacity);
    if (point.pairs.size() < gases) {
        point.pairs.resize(gases, {0.0, 0.0});
    }
    for (std::size_t g = 0; g < gases; ++g) {
        std::vector<double> areas;
        for (const auto& attempt : attempts_) {
            areas.push_back(attempt[g]);
        }
        point.pairs[g].second = reduce_repeats(std::move(areas));
    }
}

}  // namespace vetra::analysis
