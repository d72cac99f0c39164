#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

#include "display/totalizer_strip.h"

class QPainter;

namespace vetra::display::ui {

// How the strip chart looks; "planshet" keeps what the operator may change.
struct StripStyle {
    QColor curve = Qt::black;
    int curve_width = 1;
    QColor background = Qt::white;
    int scale_index = 0;     // automatic, or one of the fixed scales
    double gap_seconds = 5;  // records further apart are not joined
};

// Paints `span` days of the log ending `offset` days before its newest record: time runs
// down the rect (newest at the bottom), the value across it on the scale of the style
// (returned). One min/max pair per pixel line, so any span of a full log paints in the same
// short time.
StripScale paint_totalizer_strip(QPainter& p, const QRect& rect, const analysis::TotalizerLog& log,
                                 double span_days, double offset_days, const StripStyle& style,
                                 std::optional<library::DayNumber> cursor);

// The totalizer chart "pbSummChart": draws the log in place (it is never copied), places a
// cursor at a click and returns to the newest readings on a double click.
class TTotalizerChart : public QWidget {
    Q_OBJECT
public:
    explicit TTotalizerChart(QWidget* parent = nullptr);

    void set_log(const analysis::TotalizerLog* log) { log_ = log; }
    void set_style(const StripStyle& style);
    const StripStyle& style() const { return style_; }
    void set_span(double days);
    double span() const { return span_; }
    void set_offset(double days);
    double offset() const { return offset_; }
    std::optional<library::DayNumber> cursor() const { return cursor_; }
    // The record under the cursor, if any.
    std::optional<std::size_t> cursor_record() const;
    // The value axis of the last paint.
    StripScale shown_scale() const { return shown_scale_; }

    // Where a click on row `y` puts the cursor.
    void pbSummChartClick(int y);
    void pbSummChartDblClick();

Q_SIGNALS:
    void cursor_moved();
    void back_to_newest();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRect strip_rect() const;

    const analysis::TotalizerLog* log_ = nullptr;
    StripStyle style_;
    double span_ = 10 * library::kSecondInDays;
    double offset_ = 0.0;
    std::optional<library::DayNumber> cursor_;
    StripScale shown_scale_;
};

}  // namespace vetra::display::ui
