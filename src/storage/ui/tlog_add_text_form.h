#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class QLineEdit;

namespace vetra::storage::ui {

// The journal's entry dialog ("  Журнал"): one line of text, OK or "Отмена".
class TLogAddTextForm : public QDialog {
    Q_OBJECT
public:
    explicit TLogAddTextForm(QWidget* parent = nullptr);

    // Shown modally with its top-left corner at `at`; the text typed, or empty when
    // cancelled.
    QString execute(QPoint at);
    QLineEdit* edit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace vetra::storage::ui
