#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "library/number_range.h"

class QComboBox;
class QLineEdit;
class QTableWidget;
class QWidget;

namespace vetra::library::ui {

// The number fields of a dialog with what each may hold. Nothing is applied while one holds
// something else: the first such field is brought into view and focused, its message names
// it and its range, and every entry stays as typed.
class NumberFields {
public:
    struct Field {
        QString name;
        NumberRange range;
        std::function<QString()> text;
        std::function<void(const QString&)> set_text;
        std::function<void()> show;    // brings the field into view and focuses it
        std::function<bool()> in_use;  // a field hidden for this model is not checked
        bool may_be_empty = false;     // the dialog gives an emptied field its meaning
    };

    Field& add_line(QLineEdit* edit, const QString& name, NumberRange range);
    Field& add_combo(QComboBox* box, const QString& name, NumberRange range);
    // The cell must exist whenever it is checked.
    Field& add_cell(QTableWidget* grid, int row, int column, const QString& name,
                    NumberRange range);

    // Every field so far may be emptied (the dialog keeps the stored value then).
    void allow_empty();
    const std::vector<Field>& fields() const { return fields_; }

    // The message for the first field in use that holds no allowed number (after bringing
    // it into view); empty when every field may be applied.
    QString first_refusal() const;
    static std::optional<QString> refusal(const Field& field);

private:
    std::vector<Field> fields_;
};

// Selects the tab of every tab widget above `widget`, so that it can be seen.
void bring_into_view(QWidget* widget);

}  // namespace vetra::library::ui
