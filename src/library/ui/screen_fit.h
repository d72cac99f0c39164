#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace vetra::library::ui {

// `wanted`, but no larger than nine tenths of the screen the window opens on, so that a
// window sized for a normal font still shows its buttons on a small screen at a large one.
QSize within_screen(const QWidget* window, QSize wanted);

// A stored window rectangle as it was, when the strip along its top (where the title bar is
// dragged) shows on some screen; otherwise moved, and if need be shrunk, onto the screen that
// shows most of it or onto the window's own: a placement kept with a second monitor that is
// gone must not open the window where nobody can reach it.
QRect on_screen(const QWidget* window, QRect wanted);

// Where a window opens: at `kept` (where the operator last put it) when that is valid and
// shows on a screen, otherwise at `size` centred on its parent window, or on the screen
// when it has none, and wholly on that screen.
QRect opening_place(const QWidget* window, QSize size, QRect kept = {});

}  // namespace vetra::library::ui
