#include "widgets/ui/drag_handle.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

namespace vetra::widgets::ui {

DragHandle::DragHandle(Shape shape, QWidget* parent) : QWidget(parent), shape_(shape) {
    setCursor(Qt::SizeVerCursor);
    setFixedSize(sizeHint());
}

void DragHandle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.setBrush(start_row_ >= 0 ? QColor(0xC8, 0xD8, 0xF0) : QColor(0xE8, 0xE8, 0xE4));
    p.drawRoundedRect(r, 3, 3);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    const double cx = r.center().x();
    const double w = 4.5;
    const auto up = [&](double y) {
        p.drawPolygon(
            QPolygonF({QPointF(cx, y - 3), QPointF(cx - w, y + 2), QPointF(cx + w, y + 2)}));
    };
    const auto down = [&](double y) {
        p.drawPolygon(
            QPolygonF({QPointF(cx, y + 3), QPointF(cx - w, y - 2), QPointF(cx + w, y - 2)}));
    };
    switch (shape_) {
        case Shape::up:
            up(r.center().y());
            break;
        case Shape::down:
            down(r.center().y());
            break;
        case Shape::both:
            up(r.center().y() - 4);
            down(r.center().y() + 4);
            break;
    }
}

void DragHandle::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    start_row_ = static_cast<int>(event->globalPosition().y());
    update();
    Q_EMIT dragStarted();
}

void DragHandle::mouseMoveEvent(QMouseEvent* event) {
    if (start_row_ >= 0) {
        Q_EMIT dragged(static_cast<int>(event->globalPosition().y()) - start_row_);
    }
}

void DragHandle::mouseReleaseEvent(QMouseEvent*) {
    if (start_row_ >= 0) {
        start_row_ = -1;
        update();
        Q_EMIT dragFinished();
    }
}

}  // namespace vetra::widgets::ui
