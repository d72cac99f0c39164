#include "display/ui/totalizer_chart.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cstdio>

namespace vetra::display::ui {
namespace {

constexpr double kFullScale = 10.0;
constexpr int kLabelRows = 14;  // room for the time labels above and below the strip

QString clock_text(library::DayNumber t) {
    const library::LocalTime l = library::from_day_number(t + 0.5 * library::kSecondInDays);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", l.hour % 100, l.minute % 100,
                  l.second % 100);
    return QString::fromLatin1(text);
}

}  // namespace

void paint_totalizer_strip(QPainter& p, const QRect& rect, const analysis::TotalizerLog& log,
                           double span_days, double offset_days, const StripStyle& style,
                           std::optional<library::DayNumber> cursor) {
    p.fillRect(rect, style.background);
    const QRect strip = rect.adjusted(2, kLabelRows, -2, -kLabelRows);
    if (strip.width() < 4 || strip.height() < 4) {
        return;
    }
    const double w = strip.width() - 1;
    const auto x_of = [&](float v) {
        return strip.left() + std::clamp(static_cast<double>(v) / kFullScale, 0.0, 1.0) * w;
    };

    p.setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
    const int divisions = std::clamp(style.value_divisions, 1, 20);
    for (int i = 0; i <= divisions; ++i) {
        const double x = strip.left() + w * i / divisions;
        p.drawLine(QPointF(x, strip.top()), QPointF(x, strip.bottom()));
    }
    p.setPen(QColor(120, 120, 120));
    p.drawRect(strip.adjusted(0, 0, -1, -1));

    const auto window = strip_window(log, span_days, offset_days);
    if (!window) {
        return;
    }
    p.setPen(Qt::darkGray);
    const QRect top_row(strip.left(), rect.top(), strip.width(), kLabelRows);
    p.drawText(top_row, Qt::AlignLeft | Qt::AlignVCenter, "0");
    p.drawText(top_row, Qt::AlignRight | Qt::AlignVCenter, "10");
    p.drawText(top_row, Qt::AlignCenter, clock_text(window->begin));
    p.drawText(QRect(rect.left(), strip.bottom() + 1, rect.width(), kLabelRows), Qt::AlignCenter,
               clock_text(window->end));

    const std::vector<StripLine> lines =
        strip_lines(log, *window, strip.height(), style.gap_seconds * library::kSecondInDays);
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
    return rect().adjusted(2, kLabelRows, -2, -kLabelRows);
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
