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

// Every how many decades a label goes, so that labels `extent` long never run together
// on an axis `length` long that ends at `top`.
int label_step(double top, double length, double extent) {
    const int decades = std::max(1, static_cast<int>(std::lround(std::log10(top / kAxisBottom))));
    const double room = length / decades;
    return room >= extent ? 1 : static_cast<int>(std::ceil(extent / std::max(room, 1.0)));
}

}  // namespace

EtalCurvePlot::EtalCurvePlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EtalCurvePlot"));
    // Room for a few labelled decades each way; smaller, the labels thin out.
    const QFontMetrics fm = fontMetrics();
    setMinimumSize(kMargin + 32 + 4 * fm.horizontalAdvance(QStringLiteral("0.00001  ")),
                   kMargin + 16 + 6 * fm.height());
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

    // Labels are counted down from the top decade, where the points are.
    const QFontMetrics fm = fontMetrics();
    const int text_height = fm.height();
    const int text_width = fm.horizontalAdvance(QStringLiteral("0.00001  "));
    const int x_step = label_step(xt, r.width(), text_width);
    const int y_step = label_step(yt, r.height(), text_height);
    painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    int from_top = static_cast<int>(std::lround(std::log10(xt / kAxisBottom)));
    for (double d = kAxisBottom; d <= xt * 1.0001; d *= 10, --from_top) {
        const double x = r.left() + log_position(d, xt, r.width());
        painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
        if (from_top % x_step == 0) {
            // Kept inside the widget, so the last label is not cut at the edge.
            const double left = std::min(x - text_width / 2.0, double(width() - text_width));
            painter.drawText(QRectF(left, r.bottom() + 2, text_width, text_height), Qt::AlignCenter,
                             auto_text(d));
        }
    }
    from_top = static_cast<int>(std::lround(std::log10(yt / kAxisBottom)));
    for (double d = kAxisBottom; d <= yt * 1.0001; d *= 10, --from_top) {
        const double y = r.bottom() - log_position(d, yt, r.height());
        painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        if (from_top % y_step == 0) {
            painter.drawText(QRectF(0, y - text_height / 2.0, r.left() - 4, text_height),
                             Qt::AlignRight | Qt::AlignVCenter, auto_text(d));
        }
    }
    painter.setPen(Qt::green);
    painter.drawText(QRect(r.left(), r.bottom() + 2 + text_height, r.width(), text_height),
                     Qt::AlignCenter, QStringLiteral("Конц."));
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
        const QRectF box(at.x() + radius + 2, at.y() - radius - text_height,
                         fm.horizontalAdvance(label) + 6, text_height);
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
