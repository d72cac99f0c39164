#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace vetra::storage::ui {

// Asks what to do with the selected rows of the results table: remove them or fill their
// values with zeros. "Удалить" waits for a choice.
class TDelTableRowsForm : public QDialog {
    Q_OBJECT
public:
    explicit TDelTableRowsForm(QWidget* parent = nullptr);
    bool execute() { return exec() == QDialog::Accepted; }
    bool zeros_only() const;

    QRadioButton* rbErase = nullptr;
    QRadioButton* rbZeros = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnCancel = nullptr;
};

}  // namespace vetra::storage::ui
