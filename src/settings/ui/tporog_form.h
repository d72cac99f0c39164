#pragma once

#include <QDialog>

#include "library/ui/number_fields.h"
#include "settings/ui/dialog_services.h"

class QLineEdit;
class QRadioButton;

namespace vetra::settings {
class GlobalSettings;
}

namespace vetra::settings::ui {

// The threshold of the totalizer work mode and where its reading comes from.
class TPorogForm : public QDialog {
    Q_OBJECT
public:
    TPorogForm(GlobalSettings& settings, DialogServices services, QWidget* parent = nullptr);

    bool execute() { return exec() == QDialog::Accepted; }
    void accept() override;

    // Without a totalizer of its own only the station can give the reading.
    void set_internal_enabled(bool enabled);
    // "Имя компьютера...".
    void comp_click();

    QLineEdit* value_edit() const { return Edit1; }
    library::ui::NumberFields number_fields() const;
    QRadioButton* internal_button() const { return rbInternal; }
    QRadioButton* station_button() const { return rbStation; }

private:
    GlobalSettings& settings_;
    DialogServices services_;
    QLineEdit* Edit1 = nullptr;
    QRadioButton* rbInternal = nullptr;
    QRadioButton* rbStation = nullptr;
};

}  // namespace vetra::settings::ui
