#pragma once

#include <QDialog>

#include "settings/ui/dialog_services.h"

class QLineEdit;
class QPushButton;

namespace vetra::settings {
class GlobalSettings;
}

namespace vetra::settings::ui {

// The computer that runs the registration station ("reg_computer_name").
class TCompForm : public QDialog {
    Q_OBJECT
public:
    TCompForm(GlobalSettings& settings, DialogServices services, QWidget* parent = nullptr);

    bool execute() { return exec() == QDialog::Accepted; }
    void accept() override;

    // "Выбрать...": the network list, starting at the field's name.
    void choose_click();
    // "По умолчанию (локальный компьютер)".
    void default_click();

    QLineEdit* name_edit() const { return Edit1; }
    QPushButton* ok_button() const { return btnOk; }

private:
    GlobalSettings& settings_;
    DialogServices services_;
    QLineEdit* Edit1 = nullptr;
    QPushButton* btnOk = nullptr;
};

}  // namespace vetra::settings::ui
