#include "display/ui/gas_log_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <vector>

#include "library/number_text.h"

namespace vetra::display::ui {
namespace {

constexpr double kTrackShares[3] = {0.22, 0.43, 0.35};
const QColor kGrid(205, 205, 205);
const QColor kWetness(0, 70, 220);
const QColor kBalance(210, 0, 0);
const QColor kCharacter(0, 140, 60);
const QColor kBackground(120, 60, 0);

QColor zone_colour(analysis::FluidZone z) {
    switch (z) {
        case analysis::FluidZone::gas:
            return {255, 214, 214};
        case analysis::FluidZone::oil:
            return {205, 238, 195};
        case analysis::FluidZone::residual_oil:
            return {232, 220, 196};
        default:
            return {};
    }
}

struct Layout {
    int head = 0;
    QRect depth;       // the depth column below the heads
    QRect tracks[3];   // total, gases, ratios; empty when hidden
    QRect head_of[4];  // heads of the depth column and the three tracks
};

Layout layout(const QPainter& p, const QRect& rect, const GasLogView& view) {
    Layout l;
    l.head = gas_log_head_height(p);
    const QFontMetrics fm = p.fontMetrics();
    const int depth_width = fm.horizontalAdvance("00000,0") + fm.height() / 2;
    const int body_top = rect.top() + l.head;
    const int body_height = std::max(0, rect.bottom() + 1 - body_top);
    l.depth = QRect(rect.left(), body_top, depth_width, body_height);
    l.head_of[0] = QRect(rect.left(), rect.top(), depth_width, l.head);
    const bool shown[3] = {view.tracks.total, view.tracks.gases, view.tracks.ratios};
    double shares = 0;
    for (int t = 0; t < 3; ++t) {
        shares += shown[t] ? kTrackShares[t] : 0.0;
    }
    const int width = rect.width() - depth_width;
    int x = rect.left() + depth_width;
    for (int t = 0; t < 3; ++t) {
        if (!shown[t] || shares <= 0 || width <= 0) {
            continue;
        }
        const int w = static_cast<int>(std::lround(width * kTrackShares[t] / shares));
        l.tracks[t] = QRect(x, body_top, std::min(w, rect.right() + 1 - x), body_height);
        l.head_of[t + 1] = QRect(x, rect.top(), l.tracks[t].width(), l.head);
        x += w;
    }
    return l;
}

double pen_width(const GasLogView& view, double mm) {
    // Screens get hairlines; printers keep the same width on paper whatever their dots.
    return view.dots_per_cm > 60 ? view.dots_per_cm * mm / 10.0 : 0.0;
}

// The step between depth labels: at least two text lines apart.
double label_step(double pixels_per_metre, double min_pixels) {
    static constexpr double kSteps[] = {0.1, 0.2, 0.5, 1,   2,    5,    10,  20,
                                        50,  100, 200, 500, 1000, 2000, 5000};
    for (const double s : kSteps) {
        if (s * pixels_per_metre >= min_pixels) {
            return s;
        }
    }
    return 10000;
}

// The shows crossing the view, shaded across every track, each labelled with its class and
// interval where a line of text has room. Shades go by pixel row, so a whole well's shows
// cost the rows, not the shows.
void draw_shows(QPainter& p, const Layout& l, const QRect& rect, const DepthAxis& axis, int rows,
                const GasLogView& view) {
    if (view.shows == nullptr || view.shows->empty()) {
        return;
    }
    const double bottom = axis.depth_at(rows);
    std::vector<const analysis::GasShow*> shown;
    for (const analysis::GasShow& s : *view.shows) {
        if (s.top <= bottom && s.bottom >= axis.top) {
            shown.push_back(&s);
        }
    }
    std::sort(shown.begin(), shown.end(),
              [](const auto* a, const auto* b) { return a->top < b->top; });

    // A drilled show over a connection's or a trip's where they meet on a row.
    const auto rank = [](analysis::ShowClass c) {
        return c == analysis::ShowClass::drilled ? 3 : c == analysis::ShowClass::trip ? 2 : 1;
    };
    std::vector<std::int8_t> row_class(static_cast<std::size_t>(rows), -1);
    for (const analysis::GasShow* s : shown) {
        const double y0 = axis.y_of(s->top);
        // At least a pixel row, so a one-reading show stays visible.
        const double y1 = std::max(y0 + 1.0, axis.y_of(s->bottom));
        const int first = std::max(0, static_cast<int>(std::floor(y0)));
        const int last = std::min(rows, static_cast<int>(std::ceil(y1)));
        const auto c = static_cast<std::int8_t>(s->show_class);
        for (int y = first; y < last; ++y) {
            auto& at = row_class[static_cast<std::size_t>(y)];
            if (at < 0 || rank(s->show_class) > rank(static_cast<analysis::ShowClass>(at))) {
                at = c;
            }
        }
    }
    const QRect across(l.depth.right() + 1, l.depth.top(), rect.right() - l.depth.right(), rows);
    for (int y = 0; y < rows;) {
        const std::int8_t c = row_class[static_cast<std::size_t>(y)];
        int end = y + 1;
        while (end < rows && row_class[static_cast<std::size_t>(end)] == c) {
            ++end;
        }
        if (c >= 0) {
            p.fillRect(QRect(across.left(), across.top() + y, across.width(), end - y),
                       show_colour(static_cast<analysis::ShowClass>(c)));
        }
        y = end;
    }

    // Labels after every shade, so none is painted over.
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(Qt::black);
    const int left = (l.tracks[1].isEmpty() ? across : l.tracks[1]).left() + 3;
    double free_from = -1e9;
    for (const analysis::GasShow* s : shown) {
        const double y = l.depth.top() + std::max(0.0, axis.y_of(s->top));
        if (y < free_from) {
            continue;
        }
        free_from = y + fm.height();
        const QString text = QString::fromUtf8(analysis::show_class_text(s->show_class)) + " " +
                             number_text(s->top, 1) + "-" + number_text(s->bottom, 1);
        p.drawText(QRectF(left, y, across.right() - left, fm.height()), Qt::AlignLeft, text);
    }
}

void draw_runs(QPainter& p, const QRect& track, const std::vector<LogRun>& runs, QPen pen) {
    p.setPen(pen);
    const double left = track.left();
    const double w = std::max(1, track.width() - 1);
    QPolygonF line;
    line.reserve(static_cast<int>(2 * runs.size()));
    const auto flush = [&] {
        if (line.size() == 1) {
            p.drawPoint(line.front());
        } else if (line.size() > 1) {
            p.drawPolyline(line);
        }
        line.clear();
    };
    for (const LogRun& r : runs) {
        if (r.gap_before) {
            flush();
        }
        const double y = track.top() + r.y + 0.5;
        line << QPointF(left + r.lo * w, y);
        if (r.hi != r.lo) {
            line << QPointF(left + r.hi * w, y);
        }
    }
    flush();
}

void draw_log_grid(QPainter& p, const QRect& track, int decades) {
    p.setPen(QPen(kGrid, 0));
    for (int d = 1; d < decades; ++d) {
        const double x = track.left() + track.width() * static_cast<double>(d) / decades;
        p.drawLine(QPointF(x, track.top()), QPointF(x, track.bottom()));
    }
}

void draw_linear_grid(QPainter& p, const QRect& track, int divisions) {
    p.setPen(QPen(kGrid, 0, Qt::DotLine));
    for (int d = 1; d < divisions; ++d) {
        const double x = track.left() + track.width() * static_cast<double>(d) / divisions;
        p.drawLine(QPointF(x, track.top()), QPointF(x, track.bottom()));
    }
}

void draw_heads(QPainter& p, const Layout& l, const GasLogModel& model, const GasLogView& view,
                bool background) {
    const QFontMetrics fm = p.fontMetrics();
    const int lh = fm.height();
    const auto line = [&](const QRect& head, int n) {
        return QRect(head.left() + 2, head.top() + 1 + n * lh, head.width() - 4, lh);
    };
    p.setPen(Qt::black);
    p.drawText(line(l.head_of[0], 0), Qt::AlignCenter, "Глубина,");
    p.drawText(line(l.head_of[0], 1), Qt::AlignCenter, "м");
    if (!l.tracks[0].isEmpty()) {
        const QRect h = l.head_of[1];
        p.drawText(line(h, 0), Qt::AlignCenter, "Сумм. газ, %");
        p.drawText(line(h, 1), Qt::AlignLeft, "0");
        p.drawText(line(h, 1), Qt::AlignRight, number_text(view.total_full_scale, 0));
        if (background) {
            p.setPen(kBackground);
            p.drawText(line(h, 2), Qt::AlignLeft, "- - фон");
            p.setPen(Qt::black);
        }
    }
    if (!l.tracks[1].isEmpty()) {
        const QRect h = l.head_of[2];
        p.drawText(line(h, 0), Qt::AlignCenter, "Газы, %");
        p.drawText(line(h, 1), Qt::AlignLeft, number_text(kGasLogMin, 3));
        p.drawText(line(h, 1), Qt::AlignRight, number_text(kGasLogMax, 0));
        // The legend: each gas's code in its colour, as many as fit.
        int x = h.left() + 2;
        for (const auto& g : model.gases()) {
            const QString text = QString::fromStdString(g.code.empty() ? g.name : g.code);
            const int w = fm.horizontalAdvance(text + " ");
            if (x + w > h.right()) {
                break;
            }
            p.setPen(gas_colour(g.colour));
            p.drawText(QRect(x, line(h, 2).top(), w, lh), Qt::AlignLeft, text);
            x += w;
        }
    }
    if (!l.tracks[2].isEmpty()) {
        const QRect h = l.head_of[3];
        p.setPen(Qt::black);
        p.drawText(line(h, 0), Qt::AlignCenter, "Отношения");
        p.drawText(line(h, 1), Qt::AlignLeft, number_text(kRatioLogMin, 1));
        p.drawText(line(h, 1), Qt::AlignRight, number_text(kRatioLogMax, 0));
        const QRect legend = line(h, 2);
        const QString ch = "Ch 0.." + number_text(kCharacterMax, 0);
        int x = legend.left();
        const std::pair<QString, QColor> items[] = {
            {"Wh", kWetness}, {"Bh", kBalance}, {ch, kCharacter}};
        for (const auto& [text, colour] : items) {
            p.setPen(colour);
            p.drawText(QRect(x, legend.top(), legend.right() - x, lh), Qt::AlignLeft, text);
            x += fm.horizontalAdvance(text + " ");
        }
    }
    p.setPen(QPen(Qt::black, 0));
    for (const QRect& h : l.head_of) {
        if (!h.isEmpty()) {
            p.drawRect(h.adjusted(0, 0, -1, -1));
        }
    }
}

}  // namespace

QColor gas_colour(std::int32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QColor show_colour(analysis::ShowClass c) {
    switch (c) {
        case analysis::ShowClass::connection:
            return {60, 120, 255, 70};
        case analysis::ShowClass::trip:
            return {160, 60, 220, 70};
        case analysis::ShowClass::drilled:
            break;
    }
    return {255, 150, 0, 95};
}

QString number_text(double value, int decimals) {
    return QString::fromStdString(library::fixed_to_text(value, decimals));
}

int gas_log_head_height(const QFontMetrics& fm) {
    return 3 * fm.height() + 4;
}

int gas_log_head_height(const QPainter& p) {
    return gas_log_head_height(p.fontMetrics());
}

std::optional<double> gas_log_depth_at(const QFontMetrics& fm, const QRect& rect,
                                       const GasLogView& view, int y) {
    const int top = rect.top() + gas_log_head_height(fm);
    if (y < top || view.dots_per_cm <= 0 || view.scale <= 0) {
        return std::nullopt;
    }
    return view.axis().depth_at(y - top + 0.5);
}

void paint_gas_log(QPainter& p, const QRect& rect, const GasLogModel& model,
                   const analysis::TotalizerLog* log, const GasLogView& view) {
    p.fillRect(rect, Qt::white);
    if (view.dots_per_cm <= 0 || view.scale <= 0) {
        return;
    }
    const Layout l = layout(p, rect, view);
    // The totalizer's readings where there are any, else the analyses' total gas; each with
    // its own background.
    const bool totalizer = log != nullptr && !log->empty();
    const TotalizerBackground* totalizer_background =
        totalizer ? view.totalizer_background : nullptr;
    draw_heads(p, l, model, view, totalizer_background != nullptr || model.has_background());
    const int rows = l.depth.height();
    if (rows <= 0) {
        return;
    }
    const DepthAxis axis = view.axis();
    p.save();
    p.setClipRect(QRect(rect.left(), l.depth.top(), rect.width(), rows));

    // The fluid zones under everything else in the ratio track.
    if (!l.tracks[2].isEmpty()) {
        const auto zones = model.zone_rows(axis, rows, view.drilling_only);
        for (int y = 0; y < rows;) {
            const auto z = zones[static_cast<std::size_t>(y)];
            int end = y + 1;
            while (end < rows && zones[static_cast<std::size_t>(end)] == z) {
                ++end;
            }
            if (const QColor c = zone_colour(z); c.isValid()) {
                p.fillRect(
                    QRect(l.tracks[2].left(), l.depth.top() + y, l.tracks[2].width(), end - y), c);
            }
            y = end;
        }
    }

    // Depth labels and the grid across every track.
    const QFontMetrics fm = p.fontMetrics();
    const double minor = label_step(axis.pixels_per_metre, fm.height() * 0.6);
    const double major = label_step(axis.pixels_per_metre, fm.height() * 2.2);
    const int decimals = major < 1 ? 1 : 0;
    const double first = std::ceil(axis.depth_at(0) / minor) * minor;
    for (double d = first; axis.y_of(d) < rows; d += minor) {
        const double y = l.depth.top() + axis.y_of(d);
        const bool is_major = std::fabs(std::remainder(d, major)) < minor * 0.01;
        p.setPen(QPen(is_major ? QColor(150, 150, 150) : kGrid, 0));
        p.drawLine(QPointF(l.depth.right() - (is_major ? 8 : 4), y), QPointF(rect.right(), y));
        if (is_major) {
            p.setPen(Qt::black);
            p.drawText(
                QRectF(l.depth.left(), y - fm.height() / 2.0, l.depth.width() - 10, fm.height()),
                Qt::AlignRight | Qt::AlignVCenter, number_text(d, decimals));
        }
    }
    if (!l.tracks[0].isEmpty()) {
        draw_linear_grid(p, l.tracks[0], 5);
    }
    if (!l.tracks[1].isEmpty()) {
        draw_log_grid(p, l.tracks[1], 5);
    }
    if (!l.tracks[2].isEmpty()) {
        draw_log_grid(p, l.tracks[2], 4);
    }

    const double w = pen_width(view, 0.25);
    TotalizerCurves total;
    if (!l.tracks[0].isEmpty()) {
        if (totalizer) {
            total = totalizer_curves(*log, axis, rows, view.drilling_only, view.total_full_scale,
                                     totalizer_background);
        } else {
            total.readings = model.linear_runs(model.total_curve(), axis, rows, view.drilling_only,
                                               view.total_full_scale);
        }
        if (totalizer_background == nullptr) {
            total.background = model.linear_runs(model.background_curve(), axis, rows,
                                                 view.drilling_only, view.total_full_scale);
        }
        draw_runs(p, l.tracks[0], total.readings, QPen(Qt::black, w));
    }
    if (!l.tracks[1].isEmpty()) {
        for (int g = 0; g < model.gas_count(); ++g) {
            draw_runs(p, l.tracks[1], model.runs(g, axis, rows, view.drilling_only),
                      QPen(gas_colour(model.gases()[static_cast<std::size_t>(g)].colour), w));
        }
    }
    if (!l.tracks[2].isEmpty()) {
        const std::pair<RatioCurve, QColor> ratios[] = {{RatioCurve::wetness, kWetness},
                                                        {RatioCurve::balance, kBalance},
                                                        {RatioCurve::character, kCharacter}};
        for (const auto& [curve, colour] : ratios) {
            draw_runs(p, l.tracks[2],
                      model.runs(model.ratio_curve(curve), axis, rows, view.drilling_only),
                      QPen(colour, w));
        }
    }

    draw_shows(p, l, rect, axis, rows, view);
    if (!l.tracks[0].isEmpty()) {
        // The background from reading to reading, over the shades.
        draw_runs(p, l.tracks[0], total.background,
                  QPen(kBackground, pen_width(view, 0.3), Qt::DashLine));
    }

    if (view.cursor) {
        const double y = l.depth.top() + axis.y_of(*view.cursor);
        p.setPen(QPen(QColor(230, 0, 0), pen_width(view, 0.2)));
        p.drawLine(QPointF(l.depth.left(), y), QPointF(rect.right(), y));
    }
    p.restore();

    p.setPen(QPen(Qt::black, 0));
    p.drawRect(l.depth.adjusted(0, 0, -1, -1));
    for (const QRect& t : l.tracks) {
        if (!t.isEmpty()) {
            p.drawRect(t.adjusted(0, 0, -1, -1));
        }
    }
}

}  // namespace vetra::display::ui
