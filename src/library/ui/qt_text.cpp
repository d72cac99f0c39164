#include "library/ui/qt_text.h"

#include <algorithm>
#include <cmath>

#include "library/number_text.h"

namespace vetra::library::ui {

QString fixed_text(double value, int decimals) {
    return q(fixed_to_text(value, std::clamp(decimals, 0, 10)));
}

std::optional<double> number_of(const QString& text) {
    return parse_number(text.toStdString());
}

std::optional<int> int_of(const QString& text) {
    if (const auto value = parse_int(text.toStdString())) {
        return *value;
    }
    // "12,0" or "12.0" from an operator used to decimal fields.
    const auto number = number_of(text);
    if (number && std::isfinite(*number) && *number == std::trunc(*number) &&
        std::fabs(*number) < 2e9) {
        return static_cast<int>(*number);
    }
    return std::nullopt;
}

double float_of(const QString& text, double old) {
    const std::string s = text.trimmed().toStdString();
    return s.empty() ? old : read_float_text(s);
}

}  // namespace vetra::library::ui
