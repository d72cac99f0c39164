#include "library/ui/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vetra::library::ui {

QSize within_screen(const QWidget* window, QSize wanted) {
    const QScreen* screen = window != nullptr ? window->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return wanted;
    }
    return wanted.boundedTo(screen->availableGeometry().size() * 0.9);
}

}  // namespace vetra::library::ui
