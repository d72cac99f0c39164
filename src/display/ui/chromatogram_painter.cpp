#include "display/ui/chromatogram_painter.h"

#include <QDateTime>
#include <QFileDialog>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "library/number_text.h"
#include "library/operator.h"
#include "settings/global_settings.h"

namespace vetra::display::ui {
namespace {

QColor tint_of(const QColor& c) {
    return QColor(std::min(c.red() + 210, 255), std::min(c.green() + 210, 255),
                  std::min(c.blue() + 210, 255));
}

int to_pixel(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(std::lround(std::clamp(v, -1e8, 1e8)));
}

// The font `points` larger, whether it was given in points or in pixels.
QFont enlarged(QFont font, double points) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() + points);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(font.pixelSize() + static_cast<int>(std::lround(points * 4 / 3)));
    }
    return font;
}

// Diagonal cross hatching. Qt's pattern is 8 device pixels wide, a fine grey on paper, so a
// printer gets the same mesh drawn `scale` times larger.
QBrush hatch_brush(const QColor& colour, const QColor& background, int scale) {
    if (scale <= 1) {
        return QBrush(colour, Qt::DiagCrossPattern);
    }
    const int side = 8 * scale;
    QImage tile(side, side, QImage::Format_RGB32);
    tile.fill(background);
    QPainter p(&tile);
    p.setPen(QPen(colour, scale));
    for (int shift : {-side, 0, side}) {  // the parts that wrap round the tile's edges
        p.drawLine(shift, 0, shift + side, side);
        p.drawLine(shift, side, shift + side, 0);
    }
    p.end();
    return QBrush(tile);
}

QString value_label(double v) {
    return QString::fromStdString(library::float_to_text(v)) + QLatin1Char(' ');
}

// One paint of one plot. Layout quantities follow the font: h is a third of the text
// height, everything else is counted in h.
class PlotPainter {
public:
    PlotPainter(QPainter& p, const QRect& rect, const ChromatogramPlot& plot, int gas_count,
                const PlotStyle& style, const PaintOptions& options)
        : p_(p),
          rect_(rect),
          plot_(plot),
          gas_count_(gas_count),
          style_(style),
          options_(options) {}

    double paint();

private:
    void choose_top();
    void grid();
    void axes();
    void curve();
    void windows();
    void window_marks(const GasWindow& w, const QColor& colour);
    void hatch(const GasWindow& w, const QColor& colour);
    void result_labels();
    void legend();
    void compact_legend();
    void legend_box(const std::vector<std::pair<QString, QColor>>& lines, const QFont& font,
                    bool date_line);
    void message();
    QFont message_font() const;
    QRect message_box() const;

    bool windows_shown() const {
        return plot_.point_count() > 0 && static_cast<int>(plot_.windows.size()) == gas_count_;
    }
    int x_of(std::int64_t index) const {
        // Window bounds of a stored plot may lie anywhere; keep them off the int limits.
        index = std::clamp<std::int64_t>(index, -span_ * 4, span_ * 4);
        return area_.left() + static_cast<int>(index * (area_.right() - area_.left()) / span_);
    }
    int y_of(double v) const {
        const double y =
            (area_.top() - area_.bottom()) * (v - bottom_) / (top_ - bottom_) + area_.bottom();
        return std::isfinite(y) ? to_pixel(y) : area_.bottom();
    }
    // Kept on the canvas, as the curve must be.
    int y_on_canvas(double v) const { return std::clamp(y_of(v), rect_.top(), rect_.bottom()); }
    QPen pen(const QColor& colour, int width = 1, Qt::PenStyle style = Qt::SolidLine) const {
        QPen pen(colour, width * scale_, style);
        pen.setCapStyle(Qt::FlatCap);
        return pen;
    }
    void title_at(int x, int y, const QString& text) {
        const QRect box(x, y, p_.fontMetrics().horizontalAdvance(text) + 1,
                        p_.fontMetrics().height());
        p_.fillRect(box, background_);
        text_at(x, y, text, foreground_);
    }
    void text_at(int x, int y, const QString& text, const QColor& colour) {
        p_.setPen(colour);
        p_.drawText(
            QRect(x, y, p_.fontMetrics().horizontalAdvance(text) + 1, p_.fontMetrics().height()),
            Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    }

    QPainter& p_;
    QRect rect_;
    const ChromatogramPlot& plot_;
    int gas_count_;
    const PlotStyle& style_;
    const PaintOptions& options_;

    QColor background_;
    QColor foreground_;
    QRect area_;  // the plot frame
    int h_ = 1;
    int line_ = 1;   // text height
    int scale_ = 1;  // device pixels per screen pixel, for pens on paper
    std::int64_t span_ = 1;
    double top_ = 1;
    double bottom_ = 0;
    double in_use_ = 1;
    double base_point_size_ = 8;
};

double PlotPainter::paint() {
    p_.save();
    if (!plot_.compact) {
        p_.setFont(plot_font(style_));
    }
    const QFontMetrics fm = p_.fontMetrics();
    base_point_size_ = p_.font().pointSizeF() > 0 ? p_.font().pointSizeF()
                                                  : std::max(1, p_.font().pixelSize()) * 0.75;
    h_ = std::max(1, fm.height() / 3);
    line_ = fm.height();
    scale_ = std::max(1, qRound(p_.device()->logicalDpiY() / 96.0));
    area_ = plot_rect(fm, rect_, plot_.compact);
    background_ = to_qcolor(plot_.background);
    foreground_ = to_qcolor(plot_.foreground);
    if (plot_.compact) {
        span_ = std::max(1, plot_.point_count());
    } else {
        span_ = screen_points(style_.samples_per_second, style_.screen_seconds);
    }

    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setBackgroundMode(Qt::TransparentMode);
    p_.fillRect(rect_, background_);
    p_.setClipRect(rect_);
    choose_top();
    grid();
    axes();
    curve();
    windows();
    if (options_.show_results) {
        result_labels();
        if (plot_.compact) {
            if (options_.picture) {
                compact_legend();
            }
        } else {
            legend();
        }
    }
    message();
    p_.restore();
    return in_use_;
}

void PlotPainter::choose_top() {
    bottom_ = plot_.bottom;
    in_use_ = plot_.fixed_top != 0 ? plot_.fixed_top : automatic_top(plot_.points);
    top_ = in_use_;
    // A range dragged upside down or flat would divide by zero; draw it as a thin band.
    if (!(top_ > bottom_) || !std::isfinite(top_ - bottom_)) {
        top_ = bottom_ + 0.0001;
    }
}

void PlotPainter::grid() {
    p_.setPen(pen(foreground_, 1, Qt::DotLine));
    const int divisions = std::max(1, style_.vertical_grid);
    // At a large font or on a low plot the labels would run together: every n-th only.
    const int value_stride = tick_label_stride(
        static_cast<double>(area_.bottom() - area_.top()) / divisions, line_ + h_ / 2.0);
    for (int c = 1; c <= divisions; ++c) {
        const double value = bottom_ + c * (in_use_ - bottom_) / divisions;
        const int y = y_of(value);
        p_.setPen(pen(foreground_, 1, Qt::DotLine));
        p_.drawLine(area_.left(), y, area_.right(), y);
        if (!plot_.compact && c % value_stride == 0) {
            const int text_top = std::max(rect_.top(), y - line_ / 2);
            text_at(rect_.left() + h_, text_top, value_label(value), foreground_);
        }
    }

    const int step = std::max(1, style_.horizontal_grid);
    const int rate = std::max(1, style_.samples_per_second);
    // The picture is saved from the history's thinned copy: R div 2 samples make one point.
    const int thinning = options_.picture ? std::max(1, rate / 2) : 1;
    int drawn = std::numeric_limits<int>::min();
    const double line_spacing = static_cast<double>(step) * rate / thinning *
                                (area_.right() - area_.left()) / static_cast<double>(span_);
    const QString widest = QString::number(static_cast<qint64>(style_.screen_seconds));
    const std::int64_t time_stride =
        tick_label_stride(line_spacing, p_.fontMetrics().horizontalAdvance(widest) + 2.0 * h_);
    for (std::int64_t t = 0; t <= style_.screen_seconds; t += step) {
        const double index = std::round(static_cast<double>(t) * rate / thinning);
        if (index > static_cast<double>(span_)) {
            break;
        }
        const int x = x_of(static_cast<std::int64_t>(index));
        if (x > area_.right()) {
            break;
        }
        if (x == drawn) {
            // Lines closer than a pixel: go on with the first one in the next column, or a
            // long span would walk through millions of them.
            const int width = std::max(1, area_.right() - area_.left());
            const double next_index = std::ceil(static_cast<double>(x + 1 - area_.left()) *
                                                static_cast<double>(span_) / width);
            const double next_t = std::ceil(next_index * thinning / rate / step) * step;
            t = std::max<std::int64_t>(t, static_cast<std::int64_t>(next_t) - step);
            continue;
        }
        drawn = x;
        p_.setPen(pen(foreground_, 1, Qt::DotLine));
        p_.drawLine(x, area_.top(), x, area_.bottom());
        if (!plot_.compact && t != 0 && t != style_.screen_seconds &&
            (t / step) % time_stride == 0) {
            const QString label = QString::number(static_cast<qint64>(t));
            text_at(x - p_.fontMetrics().horizontalAdvance(label) / 2, area_.bottom() + h_ / 2,
                    label, foreground_);
        }
    }
}

void PlotPainter::axes() {
    p_.setPen(pen(foreground_));
    const int l = area_.left();
    const int r = area_.right();
    const int t = area_.top();
    const int b = area_.bottom();
    p_.drawLine(l, t, l, b);
    p_.drawLine(l, b, r, b);
    const int len = 2 * h_;
    const int half = std::max(1, h_ / 2);
    p_.drawLine(r, b, r - len, b - half);
    p_.drawLine(r, b, r - len, b + half);
    p_.drawLine(l, t, l - half, t + len);
    p_.drawLine(l, t, l + half, t + len);

    if (plot_.compact) {
        text_at(rect_.left() + h_, rect_.top(), value_label(in_use_) + QStringLiteral("мВ"),
                foreground_);
        return;
    }
    // The titles sit on the background, clear of the arrow heads, so neither the grid nor
    // an arrow runs through them; the curve is drawn later and stays on top.
    const QString time_label = QStringLiteral("Время, с ");
    const int width = p_.fontMetrics().horizontalAdvance(time_label);
    title_at(r - width, b - half - line_ - 1, time_label);
    title_at(l + half + h_, t + 1, QStringLiteral("U, мВ"));
}

void PlotPainter::curve() {
    const int n = plot_.point_count();
    if (n == 0) {
        return;
    }
    // Many samples share a pixel column when the span is long; first, lowest, highest and
    // last of each column cover exactly the pixels the full polyline would.
    QPolygon line;
    line.reserve(std::min(n, 4 * (area_.width() + 2)));
    const auto add = [&line](int x, int y) {
        if (line.isEmpty() || line.last() != QPoint(x, y)) {
            line.append(QPoint(x, y));
        }
    };
    const int lowest_row = rect_.bottom();  // one above the canvas's exclusive bottom
    const auto y_at = [&](int i) {
        return std::clamp(y_of(plot_.points[static_cast<std::size_t>(i)]), rect_.top(), lowest_row);
    };
    int i = 0;
    while (i < n) {
        const int x = x_of(i);
        const int first = y_at(i);
        int low = first, high = first, low_at = i, high_at = i, last = first;
        int j = i + 1;
        for (; j < n && x_of(j) == x; ++j) {
            last = y_at(j);
            if (last < low) {
                low = last;
                low_at = j;
            }
            if (last > high) {
                high = last;
                high_at = j;
            }
        }
        add(x, first);
        add(x, low_at < high_at ? low : high);
        add(x, low_at < high_at ? high : low);
        add(x, last);
        i = j;
    }
    p_.setPen(pen(style_.curve_colour, std::max(1, style_.curve_width)));
    if (line.size() == 1) {
        p_.drawPoint(line.first());
    } else {
        p_.drawPolyline(line);
    }
}

void PlotPainter::windows() {
    if (!windows_shown()) {
        return;
    }
    for (const GasWindow& w : plot_.windows) {
        if (w.start < 0 || w.start >= w.end) {
            continue;
        }
        const QColor colour = to_qcolor(w.colour);
        if (!plot_.compact) {
            window_marks(w, colour);
        }
        if (w.end < plot_.point_count() && w.has_result && options_.fill_peaks) {
            hatch(w, colour);
        }
    }
}

void PlotPainter::window_marks(const GasWindow& w, const QColor& colour) {
    const int xs = x_of(w.start);
    const int xe = x_of(w.end);
    const int low = rect_.bottom() - h_;
    p_.setPen(pen(colour));
    p_.drawLine(xs, area_.bottom() - 10 * h_, xs, low);
    p_.drawLine(xe, area_.bottom() - 10 * h_, xe, low);
    const QRect box(QPoint(xs, low - line_), QPoint(xe, low));
    p_.setBrush(background_);
    p_.drawRect(box);
    p_.setBrush(Qt::NoBrush);
    p_.setPen(foreground_);
    p_.drawText(box.adjusted(h_, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                QString::fromStdString(w.code));
}

// The peak above a straight baseline from the curve at the window's start to its end.
void PlotPainter::hatch(const GasWindow& w, const QColor& colour) {
    const double first = plot_.points[static_cast<std::size_t>(w.start)];
    const double last = plot_.points[static_cast<std::size_t>(w.end)];
    const double length = w.end - w.start;
    QPolygon area;
    for (int i = w.start; i <= w.end; ++i) {
        const double base = first + (last - first) * (i - w.start) / length;
        const QPoint point(x_of(i),
                           y_on_canvas(std::max(plot_.points[static_cast<std::size_t>(i)], base)));
        if (area.isEmpty() || area.last() != point) {
            area.append(point);
        }
    }
    // The curve's pen is back at width 1 here, doubled for the outline.
    p_.setPen(pen(colour, 2));
    p_.setBrush(hatch_brush(colour, background_, scale_));
    p_.setBackgroundMode(Qt::OpaqueMode);
    p_.setBackground(background_);
    p_.drawPolygon(area);
    p_.setBackgroundMode(Qt::TransparentMode);
    p_.setBrush(Qt::NoBrush);
}

// Labels and the compact legend need no match with the gas list: only the window marks do.
void PlotPainter::result_labels() {
    const QFontMetrics fm = p_.fontMetrics();
    std::vector<const GasWindow*> shown;
    std::vector<LabelBox> boxes;
    for (const GasWindow& w : plot_.windows) {
        if (!w.has_result || w.start >= w.end) {
            continue;
        }
        const int width = fm.horizontalAdvance(QString::fromStdString(w.value_text)) + 2;
        const int centre = (x_of(w.start) + x_of(w.end)) / 2;
        int left = centre - width / 2;
        int top = y_of(w.level) - (4 * line_) / 3;
        left = std::clamp(left, area_.left() + scale_ + 1,
                          std::max(area_.left() + scale_ + 1, area_.right() - width - 2 * scale_));
        top = std::clamp(top, area_.top() + 1,
                         std::max(area_.top() + 1, area_.bottom() - line_ - 2 * scale_));
        shown.push_back(&w);
        boxes.push_back({left, top, width, line_});
    }
    // Close peaks of small gases would print their values over each other.
    separate_labels(boxes, area_.top() + 1, area_.bottom() - 2 * scale_);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const GasWindow& w = *shown[i];
        const QString text = QString::fromStdString(w.value_text);
        const QRect box(boxes[i].left, boxes[i].top, boxes[i].width, boxes[i].height);
        const QColor colour = to_qcolor(w.colour);
        p_.fillRect(box, tint_of(colour));
        p_.setPen(pen(colour));
        const int shadow = scale_ / 2;  // the pen's centre one pixel outside the box
        p_.drawLine(box.left() + scale_, box.bottom() + 1 + shadow, box.right() + 1 + shadow,
                    box.bottom() + 1 + shadow);
        p_.drawLine(box.right() + 1 + shadow, box.top() + scale_, box.right() + 1 + shadow,
                    box.bottom() + 1 + shadow);
        p_.setPen(Qt::black);  // the tint is always light
        p_.drawText(box, Qt::AlignCenter | Qt::TextDontClip, text);
    }
}

void PlotPainter::legend() {
    if (plot_.results == nullptr) {
        return;
    }
    std::vector<std::pair<QString, QColor>> lines;
    for (const analysis::GazResult& r : *plot_.results) {
        if (r.derived) {
            lines.emplace_back(QString::fromStdString(r.description),
                               lines.empty() ? foreground_ : to_qcolor(r.colour));
        }
    }
    if (lines.empty()) {
        return;
    }
    legend_box(lines, enlarged(p_.font(), 1), options_.date_line);
}

void PlotPainter::compact_legend() {
    std::vector<std::pair<QString, QColor>> lines;
    for (const GasWindow& w : plot_.windows) {
        if (!w.has_result) {
            continue;
        }
        // The value text carries its own percent sign; a second one would read "1.5%  %".
        QString value = QString::fromStdString(w.value_text);
        if (!value.trimmed().endsWith(QLatin1Char('%'))) {
            value += QStringLiteral(" %");
        }
        lines.emplace_back(QString::fromStdString(w.code) + QStringLiteral(" = ") + value,
                           to_qcolor(w.colour));
    }
    if (lines.empty()) {
        return;
    }
    legend_box(lines, enlarged(p_.font(), 3), false);
}

void PlotPainter::legend_box(const std::vector<std::pair<QString, QColor>>& lines,
                             const QFont& font, bool date_line) {
    p_.save();
    p_.setFont(font);
    const QFontMetrics fm = p_.fontMetrics();
    int width = 0;
    for (const auto& line : lines) {
        width = std::max(width, fm.horizontalAdvance(line.first));
    }
    const int pad = h_;
    const int height = static_cast<int>(lines.size()) * fm.height() + 2 * pad;
    width += 2 * pad;
    int top = area_.top() + h_;
    if (plot_.compact) {
        top = std::max(top, message_box().bottom() + h_);  // the date sits at the top right
    }
    const QRect box(area_.right() - 3 * h_ - width, top, width, height);
    p_.setPen(pen(foreground_));
    p_.setBrush(background_);
    p_.drawRect(box);
    p_.setBrush(Qt::NoBrush);
    int y = box.top() + pad;
    for (const auto& [text, colour] : lines) {
        text_at(box.left() + pad, y, text, colour);
        y += fm.height();
    }
    if (date_line) {
        const QString now =
            QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss"));
        text_at(box.right() - fm.horizontalAdvance(now), box.bottom() + h_ / 2 + 1, now,
                foreground_);
    }
    p_.restore();
}

QFont PlotPainter::message_font() const {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(base_point_size_ * 1.5);
    return font;
}

// Where the message box goes, for the message and for the compact legend that must stay
// clear of it; empty without a message.
QRect PlotPainter::message_box() const {
    if (plot_.message.empty()) {
        return {};
    }
    const QFontMetrics fm(message_font(), p_.device());
    const int frame = 6 * scale_;
    const int pad = std::max(h_, fm.height() / 3);
    const QRect room = plot_.compact ? rect_ : area_;
    const int max_text = std::max(fm.height(), room.width() - 2 * (frame + pad) - 4 * h_);
    const QRect text =
        fm.boundingRect(QRect(0, 0, max_text, 100000), Qt::AlignCenter | Qt::TextWordWrap,
                        QString::fromStdString(plot_.message));
    QRect box(0, 0, text.width() + 2 * (frame + pad), text.height() + 2 * (frame + pad));
    if (plot_.compact) {
        box.moveTopRight(rect_.topRight());
    } else {
        box.moveCenter(area_.center());
    }
    return box;
}

void PlotPainter::message() {
    const QRect box = message_box();
    if (box.isNull()) {
        return;
    }
    p_.save();
    p_.setFont(message_font());
    p_.fillRect(box, Qt::red);
    const int frame = 6 * scale_;
    const QRect inside = box.adjusted(frame, frame, -frame, -frame);
    p_.fillRect(inside, Qt::yellow);
    p_.setPen(Qt::red);
    p_.drawText(inside, Qt::AlignCenter | Qt::TextWordWrap, QString::fromStdString(plot_.message));
    p_.restore();
}

// A curve chosen to show on a dark screen may be too light for white paper: print it black.
QColor paper_curve_colour(const QColor& colour) {
    const double brightness = 0.2 * colour.blue() + 0.5 * colour.green() + 0.3 * colour.red();
    return brightness >= 230 ? QColor(Qt::black) : colour;
}

bool printer_available(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        return !printer.outputFileName().isEmpty();
    }
    return printer.isValid() && !QPrinterInfo::availablePrinterNames().isEmpty();
}

void tell_no_printer(library::Operator* op) {
    if (op != nullptr) {
        op->show_message(kNoPrinterText, kPrintErrorCaption, library::MessageIcon::stop);
    }
}

}  // namespace

PlotStyle PlotStyle::from(const settings::GlobalSettings& s) {
    PlotStyle style;
    style.font_name = QString::fromStdString(s.font_name);
    style.font_size = s.font_size;
    style.curve_colour = to_qcolor(s.curve_colour);
    style.curve_width = s.curve_width;
    style.vertical_grid = s.vertical_grid;
    style.horizontal_grid = s.horizontal_grid;
    style.screen_seconds = s.screen_seconds;
    style.samples_per_second = s.samples_per_second;
    return style;
}

QColor to_qcolor(display::Colour c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFont plot_font(const PlotStyle& style) {
    QFont font(style.font_name);
    font.setPointSize(std::max(1, style.font_size));
    return font;
}

QRect plot_rect(const QFontMetrics& fm, const QRect& rect, bool compact) {
    if (compact) {
        return QRect(QPoint(rect.left(), rect.top() + fm.height() + 2), rect.bottomRight());
    }
    const int h = std::max(1, fm.height() / 3);
    const int label_width = fm.horizontalAdvance(QStringLiteral("#####"));
    const int axis_height = rect.height() - 13 * h;
    return QRect(QPoint(rect.left() + 2 * h + label_width, rect.top() + h),
                 QPoint(rect.left() + rect.width() - h, rect.top() + axis_height + h));
}

void paint_chromatogram(QPainter& p, const QRect& rect, display::ChromatogramPlot& plot,
                        int gas_count, const PlotStyle& style, const PaintOptions& options) {
    plot.top = PlotPainter(p, rect, plot, gas_count, style, options).paint();
}

bool print_chromatogram(const display::ChromatogramPlot& plot, int gas_count,
                        const PlotStyle& style, QPrinter& printer, library::Operator* op) {
    if (!printer_available(printer)) {
        tell_no_printer(op);
        return false;
    }
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(QString::fromUtf8(kPrintDocumentName));
    QPainter p;
    if (!p.begin(&printer)) {
        tell_no_printer(op);
        return false;
    }
    display::ChromatogramPlot paper = plot;
    paper.background = 0xFFFFFF;
    paper.foreground = 0x000000;
    PlotStyle print_style = style;
    print_style.font_size = kPrintFontSize;
    print_style.curve_colour = paper_curve_colour(style.curve_colour);
    p.setFont(plot_font(print_style));
    PaintOptions options;
    options.fill_peaks = true;
    options.date_line = true;
    paint_chromatogram(p, QRect(0, 0, printer.width(), printer.height()), paper, gas_count,
                       print_style, options);
    return p.end();
}

bool save_picture(const display::ChromatogramPlot& plot, int gas_count, const PlotStyle& style,
                  const QString& path) {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    display::ChromatogramPlot copy = plot;
    {
        QPainter p(&image);
        p.setFont(plot_font(style));
        PaintOptions options;
        options.fill_peaks = true;
        options.date_line = true;
        options.picture = true;
        paint_chromatogram(p, image.rect(), copy, gas_count, style, options);
    }
    return image.save(path, "JPEG", 100);
}

QString ask_picture_path(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("  Сохранение рисунка"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Картинка (*.jpeg)"));
    dialog.setDefaultSuffix(QStringLiteral("jpeg"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

ChromatogramWidget::ChromatogramWidget(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted, so Qt need not clear the back buffer first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void ChromatogramWidget::set_plot(display::ChromatogramPlot* plot, std::function<int()> gas_count,
                                  std::function<PlotStyle()> style) {
    plot_ = plot;
    gas_count_ = std::move(gas_count);
    style_ = std::move(style);
    update();
}

void ChromatogramWidget::set_show_results(bool on) {
    if (options_.show_results != on) {
        options_.show_results = on;
        update();
    }
}

QRect ChromatogramWidget::current_plot_rect() const {
    const PlotStyle style = style_ ? style_() : PlotStyle{};
    const bool compact = plot_ != nullptr && plot_->compact;
    const QFont font = compact ? this->font() : plot_font(style);
    return plot_rect(QFontMetrics(font, this), rect(), compact);
}

void ChromatogramWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (plot_ == nullptr) {
        p.fillRect(rect(), palette().window());
        return;
    }
    const PlotStyle style = style_ ? style_() : PlotStyle{};
    const int gases = gas_count_ ? gas_count_() : static_cast<int>(plot_->windows.size());
    paint_chromatogram(p, rect(), *plot_, gases, style, options_);
}

}  // namespace vetra::display::ui
