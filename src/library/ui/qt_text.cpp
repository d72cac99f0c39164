#include "library/ui/qt_text.h"

#include <QLineEdit>
#include <algorithm>
#include <cmath>

#include "library/field_text.h"
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

void keep_single_line(QLineEdit* edit) {
    const auto fix = [edit](const QString& text) {
        const std::string utf8 = text.toStdString();
        if (!has_control_characters(utf8)) {
            return;
        }
        const int cursor = edit->cursorPosition();
        edit->setText(QString::fromStdString(single_line(utf8)));
        edit->setCursorPosition(cursor);
    };
    QObject::connect(edit, &QLineEdit::textChanged, edit, fix);
    fix(edit->text());  // whatever the field was given before
}

void keep_single_line_fields(QWidget* root) {
    for (QLineEdit* edit : root->findChildren<QLineEdit*>()) {
        keep_single_line(edit);
    }
}

}  // namespace vetra::library::ui
