#pragma once

#include <QString>
#include <optional>
#include <string>

namespace vetra::library::ui {

inline QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// A number with a fixed count of decimals and the system's separator.
QString fixed_text(double value, int decimals);

// A whole field as a number, ',' or '.' as separator; none when it is not one.
std::optional<double> number_of(const QString& text);
std::optional<int> int_of(const QString& text);

// The float reading of the settings: ',' or '.', the leading number, 0 when there is none;
// an empty field keeps `old`.
double float_of(const QString& text, double old);

}  // namespace vetra::library::ui
