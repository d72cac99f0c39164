#include "widgets/ui/range_selector.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <utility>

namespace vetra::widgets::ui {
namespace {

constexpr int kHandleHalf = 6;  // handle 13 px wide
constexpr int kHandleTop = 3;
constexpr int kHandleBody = 12;
constexpr int kHandlePoint = 6;
constexpr int kGrooveTop = 6;
constexpr int kGrooveHeight = 7;
constexpr int kTicksTop = kHandleTop + kHandleBody + kHandlePoint + 3;
constexpr int kLongTick = 7;
constexpr int kShortTick = 4;
constexpr int kLabelEvery = 5;  // every fifth mark carries its value

QPolygon handle_shape(int x) {
    const int top = kHandleTop;
    const int body = top + kHandleBody;
    return QPolygon({QPoint(x - kHandleHalf, top), QPoint(x + kHandleHalf, top),
                     QPoint(x + kHandleHalf, body), QPoint(x, body + kHandlePoint),
                     QPoint(x - kHandleHalf, body)});
}

}  // namespace

RangeSelector::RangeSelector(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

void RangeSelector::set_minimum(int value) {
    minimum_ = value;
    maximum_ = std::max(maximum_, minimum_);
    apply(lower_, upper_, false);
    update();
}

void RangeSelector::set_maximum(int value) {
    maximum_ = value;
    minimum_ = std::min(minimum_, maximum_);
    apply(lower_, upper_, false);
    update();
}

void RangeSelector::set_values(int lower, int upper) {
    if (lower > upper) {
        std::swap(lower, upper);
    }
    apply(lower, upper, false);
}

void RangeSelector::set_scale_marks(int count) {
    scale_marks_ = std::max(1, count);
    update();
}

void RangeSelector::set_active_handle(Handle handle) {
    if (handle != Handle::none && handle != active_) {
        active_ = handle;
        update();
    }
}

void RangeSelector::apply(int lower, int upper, bool by_operator) {
    lower = std::clamp(lower, minimum_, maximum_);
    upper = std::clamp(upper, lower, maximum_);
    if (lower == lower_ && upper == upper_) {
        return;
    }
    lower_ = lower;
    upper_ = upper;
    update();
    Q_EMIT rangeChanged(lower_, upper_);
    if (by_operator) {
        Q_EMIT rangeMoved(lower_, upper_);
    }
}

// The operator's move: a handle stops at the other one.
void RangeSelector::move_handle(Handle handle, int value) {
    if (handle == Handle::lower) {
        apply(std::clamp(value, minimum_, upper_), upper_, true);
    } else if (handle == Handle::upper) {
        apply(lower_, std::clamp(value, lower_, maximum_), true);
    }
}

int RangeSelector::page_step() const {
    return std::max(1, (maximum_ - minimum_) / scale_marks_);
}

int RangeSelector::track_left() const {
    const int label = fontMetrics().horizontalAdvance(QString::number(minimum_));
    return std::max(kHandleHalf, label / 2) + 3;
}

int RangeSelector::track_right() const {
    const int label = fontMetrics().horizontalAdvance(QString::number(maximum_));
    return std::max(track_left() + 1, width() - 1 - std::max(kHandleHalf, label / 2) - 3);
}

int RangeSelector::position_of(int value) const {
    const int span = maximum_ - minimum_;
    if (span <= 0) {
        return track_left();
    }
    const double share = static_cast<double>(value - minimum_) / span;
    return track_left() + static_cast<int>(std::lround(share * (track_right() - track_left())));
}

int RangeSelector::value_at(int x) const {
    const int length = track_right() - track_left();
    const double share = static_cast<double>(x - track_left()) / std::max(1, length);
    const auto value = minimum_ + static_cast<int>(std::lround(share * (maximum_ - minimum_)));
    return std::clamp(value, minimum_, maximum_);
}

QRect RangeSelector::handle_rect(Handle handle) const {
    const int x = position_of(handle == Handle::lower ? lower_ : upper_);
    return handle_shape(x).boundingRect().adjusted(-1, -1, 1, 1);
}

RangeSelector::Handle RangeSelector::handle_at(const QPoint& point) const {
    const bool on_lower = handle_rect(Handle::lower).contains(point);
    const bool on_upper = handle_rect(Handle::upper).contains(point);
    if (on_lower && on_upper) {
        // Overlapping handles: the side of the press tells, unless it is dead centre.
        const int centre = position_of(lower_);
        if (point.x() < centre) {
            return Handle::lower;
        }
        if (point.x() > centre || lower_ != upper_) {
            return Handle::upper;
        }
        return Handle::none;
    }
    if (on_lower) {
        return Handle::lower;
    }
    return on_upper ? Handle::upper : Handle::none;
}

QSize RangeSelector::sizeHint() const {
    return {320, kTicksTop + kLongTick + 2 + fontMetrics().height() + 2};
}

QSize RangeSelector::minimumSizeHint() const {
    return {120, sizeHint().height()};
}

void RangeSelector::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    Handle handle = handle_at(at);
    tie_ = false;
    if (handle == Handle::none && handle_rect(Handle::lower).contains(at)) {
        tie_ = true;  // both handles at one value, pressed at their centre
        dragged_ = Handle::none;
        drag_offset_ = 0;
        return;
    }
    if (handle == Handle::none) {
        // A press on the scale brings the nearer handle there.
        const int value = value_at(at.x());
        if (value <= lower_) {
            handle = Handle::lower;
        } else if (value >= upper_) {
            handle = Handle::upper;
        } else {
            handle = value - lower_ <= upper_ - value ? Handle::lower : Handle::upper;
        }
        set_active_handle(handle);
        move_handle(handle, value);
        drag_offset_ = 0;
    } else {
        set_active_handle(handle);
        drag_offset_ = at.x() - position_of(handle == Handle::lower ? lower_ : upper_);
    }
    dragged_ = handle;
}

void RangeSelector::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (tie_) {
        const int centre = position_of(lower_);
        if (x == centre) {
            return;
        }
        dragged_ = x < centre ? Handle::lower : Handle::upper;
        set_active_handle(dragged_);
        tie_ = false;
    }
    if (dragged_ != Handle::none) {
        move_handle(dragged_, value_at(x - drag_offset_));
    }
}

void RangeSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragged_ = Handle::none;
        tie_ = false;
        update();
    }
}

void RangeSelector::keyPressEvent(QKeyEvent* event) {
    const int value = active_ == Handle::lower ? lower_ : upper_;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            move_handle(active_, value - 1);
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            move_handle(active_, value + 1);
            break;
        case Qt::Key_PageDown:
            move_handle(active_, value - page_step());
            break;
        case Qt::Key_PageUp:
            move_handle(active_, value + page_step());
            break;
        case Qt::Key_Home:
            move_handle(active_, minimum_);
            break;
        case Qt::Key_End:
            move_handle(active_, maximum_);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

// Tab goes from the lower handle to the upper one before leaving the control. Only a Tab
// pressed in this control ends up here: it has no children to pass focus between.
bool RangeSelector::focusNextPrevChild(bool next) {
    if (next && active_ == Handle::lower) {
        set_active_handle(Handle::upper);
        return true;
    }
    if (!next && active_ == Handle::upper) {
        set_active_handle(Handle::lower);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void RangeSelector::focusInEvent(QFocusEvent* event) {
    if (event->reason() == Qt::TabFocusReason) {
        active_ = Handle::lower;
    } else if (event->reason() == Qt::BacktabFocusReason) {
        active_ = Handle::upper;
    }
    update();
    QWidget::focusInEvent(event);
}

void RangeSelector::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void RangeSelector::paint_scale(QPainter& p) const {
    const QPalette& pal = palette();
    const int left = track_left();
    const int right = track_right();

    // Sunken groove with the chosen span lit.
    const QRect groove(left - 2, kGrooveTop, right - left + 5, kGrooveHeight);
    p.fillRect(groove, pal.color(QPalette::Base));
    const QColor span_colour =
        isEnabled() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Disabled, QPalette::Mid);
    p.fillRect(QRect(QPoint(position_of(lower_), groove.top() + 1),
                     QPoint(position_of(upper_), groove.bottom() - 1)),
               span_colour);
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(groove.topLeft(), groove.topRight());
    p.drawLine(groove.topLeft(), groove.bottomLeft());
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(groove.bottomLeft(), groove.bottomRight());
    p.drawLine(groove.topRight(), groove.bottomRight());

    const QColor ink =
        pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    p.setPen(ink);
    const QFontMetrics fm = fontMetrics();
    const int span = maximum_ - minimum_;
    for (int i = 0; i <= scale_marks_; ++i) {
        const int value =
            minimum_ + static_cast<int>(std::lround(static_cast<double>(span) * i / scale_marks_));
        const int x = left + static_cast<int>(
                                 std::lround(static_cast<double>(right - left) * i / scale_marks_));
        const bool labelled = i % kLabelEvery == 0 || i == scale_marks_;
        p.drawLine(x, kTicksTop, x, kTicksTop + (labelled ? kLongTick : kShortTick) - 1);
        if (labelled && (span > 0 || i == 0)) {
            const QString text = QString::number(value);
            const int w = fm.horizontalAdvance(text);
            p.drawText(QRect(x - w / 2 - 1, kTicksTop + kLongTick + 1, w + 2, fm.height()),
                       Qt::AlignCenter, text);
        }
    }
}

void RangeSelector::paint_handle(QPainter& p, Handle handle) const {
    const QPalette& pal = palette();
    const int x = position_of(handle == Handle::lower ? lower_ : upper_);
    const QPolygon shape = handle_shape(x);
    const bool pressed = dragged_ == handle;
    QLinearGradient face(0, kHandleTop, 0, kHandleTop + kHandleBody + kHandlePoint);
    const QColor button =
        pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Button);
    face.setColorAt(0, pressed ? button.darker(110) : button.lighter(115));
    face.setColorAt(1, pressed ? button.darker(130) : button.darker(112));
    p.setBrush(face);
    const bool focused = hasFocus() && active_ == handle && isEnabled();
    p.setPen(QPen(focused ? pal.color(QPalette::Highlight) : pal.color(QPalette::Shadow),
                  focused ? 2 : 1));
    p.drawPolygon(shape);
    // Grip lines, as on a real slider's thumb.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int dx : {-2, 1}) {
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(x + dx, kHandleTop + 4, x + dx, kHandleTop + kHandleBody - 2);
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(x + dx + 1, kHandleTop + 4, x + dx + 1, kHandleTop + kHandleBody - 2);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
}

void RangeSelector::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint_scale(p);
    p.setRenderHint(QPainter::Antialiasing, true);
    // The active handle on top, where overlapping handles are grabbed.
    const Handle other = active_ == Handle::lower ? Handle::upper : Handle::lower;
    paint_handle(p, other);
    paint_handle(p, active_);
}

}  // namespace vetra::widgets::ui
