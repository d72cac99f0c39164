#include "library/format_auto.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

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

// Rounds half away from zero, as the pattern formatting of the original display does;
// printf alone would round exact binary ties to even.
std::string fixed_text(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    double rounded = v;
    if (std::fabs(v * scale) < 1e15) {
        rounded = std::round(v * scale) / scale;
    }
    // to_chars, not printf: a GUI toolkit may have switched LC_NUMERIC to a decimal comma.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
    std::string text(buf, r.ec == std::errc() ? r.ptr : buf);
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') {
        text.erase(0, 1);  // no "-0.00" for a value that rounds to zero
    }
    return text;
}

void trim_decimals(std::string& text) {
    const auto point = text.find('.');
    if (point == std::string::npos) {
        return;
    }
    const auto last = text.find_last_not_of('0');
    text.erase(last == point ? point : last + 1);
}

}  // namespace

std::string formatAuto(double v, int decimals, int min_width) {
    std::string text;
    if (v == 0.0) {
        text = "0";
    } else if (!std::isfinite(v)) {
        text = float_to_text(v);
    } else if (decimals >= 0) {
        text = fixed_text(v, std::min(decimals, 30));
    } else {
        text = fixed_text(v, decimals_for(std::fabs(v)));
        trim_decimals(text);
    }
    std::replace(text.begin(), text.end(), '.', decimal_separator());
    const auto width = static_cast<std::size_t>(std::max(min_width, 1));
    if (text.size() < width) {
        text = std::string(width - text.size(), ' ') + text;
    }
    return text;
}

}  // namespace vetra::library
