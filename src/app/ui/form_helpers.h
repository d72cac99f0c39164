#pragma once

#include <QString>
#include <QToolButton>
#include <QWidget>

namespace vetra::app::ui {

// Hint on the control, and " " + hint in the status bar while the mouse is over it.
inline void set_hint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint.trimmed());
    widget->setStatusTip(" " + hint);
}

inline QToolButton* tool_button(const QString& text, const QString& hint, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumSize(34, 30);
    set_hint(b, hint);
    return b;
}

}  // namespace vetra::app::ui
