#include "library/format_auto.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "library/number_text.h"

namespace vetra::library {
namespace {

int decimals_for(double magnitude) {
    if (magnitude <= 0.0001) {
        return 7;
    }
    if (magnitude <= 0.001) {
        return 6;
    }
    if (magnitude <= 0.01) {
        return 5;
    }
    if (magnitude <= 0.1) {
        return 4;
    }
    if (magnitude <= 1) {
        return 3;
    }
    if (magnitude > 10) {
        return 1;
    }
    return 2;
}

void trim_decimals(std::string& text, char separator) {
    const auto point = text.find(separator);
    if (point == std::string::npos) {
        return;
    }
    const auto last = text.find_last_not_of('0');
    text.erase(last == point ? point : last + 1);
}

}  // namespace

std::string formatAuto(double v, int decimals, int min_width) {
    const char separator = decimal_separator();
    std::string text;
    if (v == 0.0) {
        text = "0";
    } else if (!std::isfinite(v)) {
        text = float_to_text(v, separator);
    } else if (decimals >= 0) {
        text = fixed_to_text(v, decimals, separator);
    } else {
        text = fixed_to_text(v, decimals_for(std::fabs(v)), separator);
        trim_decimals(text, separator);
    }
    const auto width = static_cast<std::size_t>(std::max(min_width, 1));
    if (text.size() < width) {
        text = std::string(width - text.size(), ' ') + text;
    }
    return text;
}

}  // namespace vetra::library
