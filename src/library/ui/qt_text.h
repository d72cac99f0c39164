#pragma once

#include <QString>

class QLineEdit;
class QWidget;
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

// A pasted line break or other control character becomes a blank as it arrives, so a
// one-line field never holds text that would break a settings or report file.
void keep_single_line(QLineEdit* edit);
// The same for every one-line field under `root` (editable combo boxes too).
void keep_single_line_fields(QWidget* root);

}  // namespace vetra::library::ui
