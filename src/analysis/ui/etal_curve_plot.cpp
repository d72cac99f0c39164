#include "analysis/ui/etal_curve_plot.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "analysis/etalon_program.h"
#include "library/format_auto.h"

namespace vetra::analysis::ui {
namespace {

constexpr int kMargin = 48;

QString auto_text(double v) {
    return QString::fromStdString(library::formatAuto(v));
}

}  // namespace

EtalCurvePlot::EtalCurvePlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EtalCurvePlot"));
    setMinimumSize(360, 260);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
}

void EtalCurvePlot::set_points(std::vector<std::pair<double, double>> points) {
    points_ = std::move(points);
    picked_ = -1;
    update();
}

QRect EtalCurvePlot::plot_rect() const {
    return rect().adjusted(kMargin + 16, 16, -16, -kMargin);
}

double EtalCurvePlot::x_top() const {
    double largest = 0;
    for (const auto& p : points_) {
        largest = std::max(largest, p.first);
    }
    return decade_above(largest);
}

double EtalCurvePlot::y_top() const {
    double largest = 0;
    for (const auto& p : points_) {
        largest = std::max(largest, p.second);
    }
    return decade_above(largest);
}

QPointF EtalCurvePlot::position_of(int index) const {
    const QRect r = plot_rect();
    const auto [c, v] = points_[static_cast<std::size_t>(index)];
    const double x = r.left() + log_position(c, x_top(), r.width());
    const double y = r.bottom() - log_position(v, y_top(), r.height());
    return {x, y};
}

void EtalCurvePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect r = plot_rect();
    const double xt = x_top();
    const double yt = y_top();

    painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    for (double d = kAxisBottom; d <= xt * 1.0001; d *= 10) {
        const double x = r.left() + log_position(d, xt, r.width());
        painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
        painter.drawText(QRectF(x - 40, r.bottom() + 2, 80, 16), Qt::AlignCenter, auto_text(d));
    }
    for (double d = kAxisBottom; d <= yt * 1.0001; d *= 10) {
        const double y = r.bottom() - log_position(d, yt, r.height());
        painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        painter.drawText(QRectF(0, y - 8, r.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                         auto_text(d));
    }
    painter.setPen(Qt::green);
    painter.drawText(QRect(r.left(), r.bottom() + 20, r.width(), 20), Qt::AlignCenter,
                     QStringLiteral("Конц."));
    painter.save();
    painter.translate(12, r.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-40, -10, 80, 20), Qt::AlignCenter, QStringLiteral("Площ."));
    painter.restore();

    // Only positive values have a place on a logarithmic axis.
    const int shown = std::min<int>(static_cast<int>(points_.size()), kMaxPoints);
    const auto drawable = [this](int i) {
        return points_[static_cast<std::size_t>(i)].first > 0 &&
               points_[static_cast<std::size_t>(i)].second > 0;
    };
    painter.setPen(QPen(Qt::red, 2));
    for (int i = 1; i < shown; ++i) {
        if (drawable(i - 1) && drawable(i)) {
            painter.drawLine(position_of(i - 1), position_of(i));
        }
    }
    const double radius = logicalDpiY() / 20.0;
    for (int i = 0; i < shown; ++i) {
        if (!drawable(i)) {
            continue;
        }
        const QPointF at = position_of(i);
        painter.setPen(Qt::red);
        painter.setBrush(Qt::red);
        painter.drawEllipse(at, radius, radius);
        const QString label = auto_text(points_[static_cast<std::size_t>(i)].second);
        const QRectF box(at.x() + radius + 2, at.y() - radius - 16,
                         fontMetrics().horizontalAdvance(label) + 6, 16);
        painter.fillRect(box, Qt::yellow);
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignCenter, label);
    }
}

void EtalCurvePlot::press_at(QPoint at) {
    picked_ = -1;
    double best = 0;
    const int shown = std::min<int>(static_cast<int>(points_.size()), kMaxPoints);
    for (int i = 0; i < shown; ++i) {
        if (points_[static_cast<std::size_t>(i)].second <= 0 ||
            points_[static_cast<std::size_t>(i)].first <= 0) {
            continue;
        }
        const double distance = std::fabs(position_of(i).y() - at.y());
        if (picked_ < 0 || distance < best) {
            picked_ = i;
            best = distance;
        }
    }
}

void EtalCurvePlot::move_to(QPoint at) {
    if (picked_ < 0) {
        return;
    }
    const QRect r = plot_rect();
    const double height = std::clamp<double>(r.bottom() - at.y(), 0, r.height());
    const double value = log_value(height, y_top(), r.height());
    points_[static_cast<std::size_t>(picked_)].second = value;
    Q_EMIT value_changed(picked_, value);
    update();
}

void EtalCurvePlot::release() {
    if (picked_ >= 0) {
        picked_ = -1;
        Q_EMIT drag_finished();
    }
}

void EtalCurvePlot::mousePressEvent(QMouseEvent* event) {
    press_at(event->position().toPoint());
}

void EtalCurvePlot::mouseMoveEvent(QMouseEvent* event) {
    move_to(event->position().toPoint());
}

void EtalCurvePlot::mouseReleaseEvent(QMouseEvent*) {
    release();
}

}  // namespace vetra::analysis::ui
