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

// The tool bar's buttons: the mode that is on is filled and lettered white, so it reads at a
// glance; the keyboard focus is only a dashed frame, never mistaken for it.
inline constexpr const char* kToolBarStyle =
    "QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 2px 6px; }"
    "QToolButton:hover { border: 1px solid #8A8A8A; background: #F7F7F3; }"
    "QToolButton:pressed { background: #D8D8D0; }"
    "QToolButton:checked { background: #1F5FBF; color: white; border: 1px solid #0D3A80; }"
    "QToolButton:focus { border: 1px dashed #303030; }"
    "QToolButton:checked:focus { border: 2px dashed #0D3A80; }"
    "QToolButton:disabled { color: #A0A0A0; }";

inline QToolButton* tool_button(const QString& text, const QString& hint, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumSize(34, 30);
    set_hint(b, hint);
    return b;
}

}  // namespace vetra::app::ui
