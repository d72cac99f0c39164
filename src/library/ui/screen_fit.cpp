#include "library/ui/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace vetra::library::ui {

namespace {

const QScreen* screen_of(const QWidget* window) {
    const QScreen* screen = window != nullptr ? window->screen() : nullptr;
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

// `placed` moved the least way to lie wholly in `area` (it is no larger than `area`).
QRect moved_into(QRect placed, const QRect& area) {
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() + 1 - placed.height()));
    return placed;
}

}  // namespace

QSize within_screen(const QWidget* window, QSize wanted) {
    const QScreen* screen = screen_of(window);
    if (screen == nullptr) {
        return wanted;
    }
    return wanted.boundedTo(screen->availableGeometry().size() * 0.9);
}

QRect on_screen(const QWidget* window, QRect wanted) {
    constexpr int kGrip = 100;  // pixels of the title bar enough to take hold of it
    const QRect title(wanted.left(), wanted.top(), wanted.width(), 24);
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersected(title).width() >=
            std::min(kGrip, title.width())) {
            return wanted;
        }
    }
    const QScreen* best = screen_of(window);
    int best_area = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(wanted);
        if (shown.width() * shown.height() > best_area) {
            best_area = shown.width() * shown.height();
            best = screen;
        }
    }
    if (best == nullptr) {
        return wanted;
    }
    const QRect area = best->availableGeometry();
    return moved_into(QRect(wanted.topLeft(), wanted.size().boundedTo(area.size())), area);
}

QRect opening_place(const QWidget* window, QSize size, QRect kept) {
    if (kept.isValid()) {
        return on_screen(window, QRect(kept.topLeft(), within_screen(window, kept.size())));
    }
    // Only a parent on the screen has a place to open over.
    const QWidget* parent = window->parentWidget() != nullptr ? window->parentWidget()->window()
                                                                : nullptr;
    if (parent != nullptr && !parent->isVisible()) {
        parent = nullptr;
    }
    const QScreen* screen = parent != nullptr ? parent->screen() : screen_of(window);
    if (screen == nullptr) {
        return QRect(window->pos(), size);
    }
    const QRect area = screen->availableGeometry();
    const QRect around = parent != nullptr ? parent->frameGeometry() : area;
    QRect placed(QPoint(), within_screen(window, size));
    placed.moveCenter(around.center());
    return moved_into(placed, area);
}

}  // namespace vetra::library::ui
