#include "display/ui/totalizer_chart.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "library/number_text.h"

namespace vetra::display::ui {
namespace {

// Above the strip the value labels and the time of its top, below it the time of its
// bottom: the strip inside `rect` for a font.
QRect strip_in(const QRect& rect, const QFont& font) {
    const int row = QFontMetrics(font).height() + 2;
    return rect.adjusted(2, 2 * row, -2, -row);
}

QString clock_text(library::DayNumber t) {
    const library::LocalTime l = library::from_day_number(t + 0.5 * library::kSecondInDays);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", l.hour % 100, l.minute % 100,
                  l.second % 100);
    return QString::fromLatin1(text);
}

QString value_text(double v) {
    QString text = QString::number(v, 'g', 4);
    text.replace('.', QChar(library::decimal_separator()));
    return text;
}

// The labelled lines across the strip; labels thin out to every second or fifth line when
// they would run together.
void paint_value_grid(QPainter& p, const QRect& strip, const QRect& label_row,
                      const StripScale& scale) {
    const double w = strip.width() - 1;
    const int lines = static_cast<int>(std::lround(scale.full / scale.step));
    p.setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
    for (int i = 1; i < lines; ++i) {
        const double x = strip.left() + w * i / lines;
        p.drawLine(QPointF(x, strip.top()), QPointF(x, strip.bottom()));
    }
    const QFontMetrics fm(p.font());
    const int widest = fm.horizontalAdvance(value_text(scale.full)) + fm.averageCharWidth();
    int every = 1;
    for (const int n : {1, 2, 5, 10}) {
        every = n;
        if (w * n / lines >= widest) {
            break;
        }
    }
    p.setPen(Qt::darkGray);
    for (int i = 0; i <= lines; i += every) {
        const QString text = value_text(i * scale.step);
        const int x = strip.left() + static_cast<int>(std::lround(w * i / lines));
        const int tw = fm.horizontalAdvance(text);
        const int left = std::clamp(x - tw / 2, label_row.left(), label_row.right() - tw);
        p.drawText(QRect(left, label_row.top(), tw + 1, label_row.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

}  // namespace

StripScale paint_totalizer_strip(QPainter& p, const QRect& rect, const analysis::TotalizerLog& log,
                                 double span_days, double offset_days, const StripStyle& style,
                                 std::optional<library::DayNumber> cursor) {
    p.fillRect(rect, style.background);
    const QRect strip = strip_in(rect, p.font());
    const int row = QFontMetrics(p.font()).height() + 2;
    if (strip.width() < 4 || strip.height() < 4) {
        return strip_scale(style.scale_index, 0.0);
    }
    const auto window = strip_window(log, span_days, offset_days);
    std::vector<StripLine> lines;
    float largest = 0.0f;
    if (window) {
        lines =
            strip_lines(log, *window, strip.height(), style.gap_seconds * library::kSecondInDays);
        for (const StripLine& l : lines) {
            largest = l.any ? std::max(largest, l.max) : largest;
        }
    }
    const StripScale scale = strip_scale(style.scale_index, largest);
    const double w = strip.width() - 1;
    const auto x_of = [&](float v) {
        return strip.left() + std::clamp(static_cast<double>(v) / scale.full, 0.0, 1.0) * w;
    };

    // The value labels above the strip, the times of its ends below it.
    paint_value_grid(p, strip, QRect(strip.left(), rect.top(), strip.width(), row), scale);
    p.setPen(QColor(120, 120, 120));
    p.drawRect(strip.adjusted(0, 0, -1, -1));
    if (!window) {
        return scale;
    }
    p.setPen(Qt::darkGray);
    p.drawText(QRect(rect.left(), rect.top() + row, rect.width(), row), Qt::AlignCenter,
               clock_text(window->begin));
    p.drawText(QRect(rect.left(), strip.bottom() + 1, rect.width(), row), Qt::AlignCenter,
               clock_text(window->end));
    p.setPen(QPen(style.curve, std::max(1, style.curve_width)));
    QPolygonF run;
    run.reserve(2 * static_cast<int>(lines.size()));
    const auto flush = [&] {
        if (run.size() == 1) {
            p.drawPoint(run.front());
        } else if (run.size() > 1) {
            p.drawPolyline(run);
        }
        run.clear();
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const StripLine& l = lines[i];
        if (!l.any) {
            continue;
        }
        if (l.gap_before) {
            flush();
        }
        const double y = strip.top() + static_cast<double>(i);
        run << QPointF(x_of(l.min), y);
        if (l.max != l.min) {
            run << QPointF(x_of(l.max), y);
        }
    }
    flush();

    if (cursor && *cursor >= window->begin && *cursor <= window->end) {
        const double y = strip.top() + (*cursor - window->begin) / (window->end - window->begin) *
                                           (strip.height() - 1);
        p.setPen(QPen(Qt::red, 1));
        p.drawLine(QPointF(strip.left(), y), QPointF(strip.right(), y));
    }
    return scale;
}

TTotalizerChart::TTotalizerChart(QWidget* parent) : QWidget(parent) {
    setObjectName("pbSummChart");
    setMinimumSize(60, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TTotalizerChart::set_style(const StripStyle& style) {
    style_ = style;
    update();
}

void TTotalizerChart::set_span(double days) {
    span_ = days;
    update();
}

void TTotalizerChart::set_offset(double days) {
    offset_ = std::max(0.0, days);
    update();
}

QRect TTotalizerChart::strip_rect() const {
    return strip_in(rect(), font());
}

std::optional<std::size_t> TTotalizerChart::cursor_record() const {
    if (!log_ || !cursor_) {
        return std::nullopt;
    }
    return nearest_record(*log_, *cursor_);
}

void TTotalizerChart::pbSummChartClick(int y) {
    if (!log_) {
        return;
    }
    const auto window = strip_window(*log_, span_, offset_);
    const QRect strip = strip_rect();
    if (!window || strip.height() < 2) {
        return;
    }
    const double f = std::clamp((y - strip.top()) / double(strip.height() - 1), 0.0, 1.0);
    cursor_ = window->begin + f * (window->end - window->begin);
    if (const auto i = cursor_record()) {
        cursor_ = log_->time(*i);
    }
    update();
    Q_EMIT cursor_moved();
}

void TTotalizerChart::pbSummChartDblClick() {
    cursor_.reset();
    offset_ = 0.0;
    update();
    Q_EMIT cursor_moved();
    Q_EMIT back_to_newest();
}

void TTotalizerChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    static const analysis::TotalizerLog kEmpty;
    shown_scale_ =
        paint_totalizer_strip(p, rect(), log_ ? *log_ : kEmpty, span_, offset_, style_, cursor_);
}

void TTotalizerChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pbSummChartClick(static_cast<int>(event->position().y()));
    }
}

void TTotalizerChart::mouseDoubleClickEvent(QMouseEvent*) {
    pbSummChartDblClick();
}

}  // namespace vetra::display::ui
