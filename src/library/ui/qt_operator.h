#pragma once

#include <QPointer>
#include <QWidget>

#include "library/operator.h"

namespace vetra::library::ui {

// The operator as the window shows it: message boxes with the program's captions and icons
// over the window the operator is looking at (a dialog, the calibration window; the main
// window otherwise), and the system's beep.
class QtOperator final : public Operator {
public:
    explicit QtOperator(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }

    void beep(int frequency_hz, int duration_ms) override;
    void show_message(const std::string& text, const std::string& caption,
                      MessageIcon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& caption) override;

    // The window a box opens over: the modal dialog up now, else this program's active
    // window, else the main window. A box over any other would open hidden behind it.
    QWidget* box_parent() const;

private:
    QPointer<QWidget> parent_;
};

}  // namespace vetra::library::ui
