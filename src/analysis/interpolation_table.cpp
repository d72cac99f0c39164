#include "analysis/interpolation_table.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vetra::analysis {

bool isNearZero(double v) {
    return v > -1e-12 && v < 1e-5;
}

void InterpolationTable::resize(int count) {
    points_.assign(static_cast<std::size_t>(std::max(count, 0)), {0.0, 0.0});
    sorted_ = false;
}

void InterpolationTable::setPoint(int index, double x, double y) {
    if (index < 0 || index >= size()) {
        throw std::out_of_range("array::operator[]");
    }
    points_[static_cast<std::size_t>(index)] = {x, y};
    sorted_ = false;
}

void InterpolationTable::sort() {
    if (!sorted_) {
        // NaN abscissae go last, so the order stays a strict weak one.
        std::sort(points_.begin(), points_.end(), [](const auto& l, const auto& r) {
            return l.first < r.first || (!std::isnan(l.first) && std::isnan(r.first));
        });
        sorted_ = true;
    }
}

double InterpolationTable::linear(double x) {
    sort();
    const std::size_t n = points_.size();
    if (n <= 1) {
        return 0.0;
    }
    const auto abscissa_less = [](const auto& p, double v) { return p.first < v; };
    const auto value_less = [](double v, const auto& p) { return v < p.first; };
    std::size_t lo = n - 2;
    std::size_t hi = n - 1;
    if (x < points_.front().first) {
        lo = 0;
        hi = 1;
    } else if (x <= points_.back().first) {
        lo = static_cast<std::size_t>(
            std::lower_bound(points_.begin(), points_.end(), x, abscissa_less) - points_.begin());
        hi = static_cast<std::size_t>(
            std::upper_bound(points_.begin(), points_.end(), x, value_less) - points_.begin());
        if (lo == hi) {
            if (lo == 0) {
                ++hi;
            } else {
                --lo;
            }
        }
        if (hi >= n) {
            hi = n - 1;
            lo = n - 2;
        }
    }
    const auto [x_lo, y_lo] = points_[lo];
    const auto [x_hi, y_hi] = points_[hi];
    if (isNearZero(x_lo - x_hi)) {
        return 0.0;
    }
    return y_lo + (x - x_lo) * (y_hi - y_lo) / (x_hi - x_lo);
}

double InterpolationTable::polynomial(double x) {
    sort();
    for (const auto& [xi, yi] : points_) {
        if (xi == x) {
            return yi;
        }
    }
    double sum = 0.0;
    for (std::size_t j = 0; j < points_.size(); ++j) {
        double numerator = 1.0;
        double denominator = 1.0;
        for (std::size_t k = 0; k < points_.size(); ++k) {
            if (k != j) {
                numerator *= x - points_[k].first;
                denominator *= points_[j].first - points_[k].first;
            }
        }
        if (denominator != 0.0) {
            sum += points_[j].second * numerator / denominator;
        }
    }
    return sum;
}

}  // namespace vetra::analysis
