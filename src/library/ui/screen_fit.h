#pragma once

#include <QSize>

class QWidget;

namespace vetra::library::ui {

// `wanted`, but no larger than nine tenths of the screen the window opens on, so that a
// window sized for a normal font still shows its buttons on a small screen at a large one.
QSize within_screen(const QWidget* window, QSize wanted);

}  // namespace vetra::library::ui
