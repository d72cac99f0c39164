#pragma once

#include <QDialog>

class QLabel;

namespace vetra::analysis::ui {

// The feed prompt before a point is run: asks the operator to feed the diluted gas.
class TEtalStartForm : public QDialog {
    Q_OBJECT
public:
    TEtalStartForm(const QString& dilution, QWidget* parent = nullptr);

    QString text() const;

private:
    QLabel* label_;
};

}  // namespace vetra::analysis::ui
