#pragma once

#include <QPointer>
#include <QWidget>

#include "library/operator.h"

namespace vetra::library::ui {

// The operator as the window shows it: message boxes with the program's captions and icons
// over the main window, and the system's beep.
class QtOperator final : public Operator {
public:
    explicit QtOperator(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }

    void beep(int frequency_hz, int duration_ms) override;
    void show_message(const std::string& text, const std::string& caption,
                      MessageIcon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& caption) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace vetra::library::ui
