#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace vetra::storage::ui {

// Asks twice before the whole results table is erased: "Стереть..." works only while the box
// is ticked, and its first press only arms the second.
class TDelTableForm : public QDialog {
    Q_OBJECT
public:
    explicit TDelTableForm(QWidget* parent = nullptr);
    bool execute() { return exec() == QDialog::Accepted; }

    QCheckBox* CheckBox1 = nullptr;
    QLabel* lblAgain = nullptr;
    QPushButton* btnErase = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void btnEraseClick();
    bool armed_ = false;
};

}  // namespace vetra::storage::ui
