#include "library/ui/number_fields.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>

#include "library/ui/qt_text.h"

namespace vetra::library::ui {
namespace {

// Hidden by the dialog (another model's field, a group switched off), not merely on a tab
// or page that is not the current one.
bool shown_in_dialog(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
        if (w->isHidden() && qobject_cast<const QStackedWidget*>(w->parentWidget()) == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

void bring_into_view(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            // Pages may sit in scroll areas: the tab is the one holding the widget.
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->widget(i) == widget || tabs->widget(i)->isAncestorOf(widget)) {
                    tabs->setTabVisible(i, true);  // a page kept out of sight, too
                    tabs->setCurrentIndex(i);
                }
            }
        }
    }
}

NumberFields::Field& NumberFields::add_line(QLineEdit* edit, const QString& name,
                                            NumberRange range) {
    fields_.push_back({name, range, [edit] { return edit->text(); },
                       [edit](const QString& text) { edit->setText(text); },
                       [edit] {
                           bring_into_view(edit);
                           edit->setFocus();
                           edit->selectAll();
                       },
                       [edit] { return shown_in_dialog(edit); }});
    return fields_.back();
}

NumberFields::Field& NumberFields::add_combo(QComboBox* box, const QString& name,
                                             NumberRange range) {
    fields_.push_back({name, range, [box] { return box->currentText(); },
                       [box](const QString& text) { box->setEditText(text); },
                       [box] {
                           bring_into_view(box);
                           box->setFocus();
                       },
                       [box] { return shown_in_dialog(box); }});
    return fields_.back();
}

NumberFields::Field& NumberFields::add_cell(QTableWidget* grid, int row, int column,
                                            const QString& name, NumberRange range) {
    fields_.push_back({name, range,
                       [grid, row, column] {
                           const QTableWidgetItem* item = grid->item(row, column);
                           return item != nullptr ? item->text() : QString();
                       },
                       // As pasted: the checks a grid runs while typing stay out.
                       [grid, row, column](const QString& text) {
                           if (QTableWidgetItem* item = grid->item(row, column)) {
                               const QSignalBlocker block(grid);
                               item->setText(text);
                           }
                       },
                       [grid, row, column] {
                           bring_into_view(grid);
                           grid->setFocus();
                           grid->setCurrentCell(row, column);
                       },
                       [grid, row] { return shown_in_dialog(grid) && row < grid->rowCount(); }});
    return fields_.back();
}

void NumberFields::allow_empty() {
    for (Field& field : fields_) {
        field.may_be_empty = true;
    }
}

std::optional<QString> NumberFields::refusal(const Field& field) {
    const QString text = field.text().trimmed();
    if (field.may_be_empty && text.isEmpty()) {
        return std::nullopt;
    }
    if (number_in_range(text.toStdString(), field.range)) {
        return std::nullopt;
    }
    return q(refusal_text(field.name.toStdString(), text.toStdString(), field.range));
}

QString NumberFields::first_refusal() const {
    for (const Field& field : fields_) {
        if (field.in_use && !field.in_use()) {
            continue;
        }
        if (const auto message = refusal(field)) {
            field.show();
            return *message;
        }
    }
    return {};
}

}  // namespace vetra::library::ui
