#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

#include "analysis/gas_shows.h"
#include "display/gas_log_model.h"

class QFontMetrics;
class QPainter;

namespace vetra::display::ui {

struct GasLogTracks {
    bool total = true;
    bool gases = true;
    bool ratios = true;
};

// What one picture of the log shows.
struct GasLogView {
    double top = 0.0;          // depth at the top edge of the tracks, m
    double scale = 500.0;      // 1:scale
    double dots_per_cm = 0.0;  // of the paint device; sets the depth scale and pen widths
    bool drilling_only = true;
    double total_full_scale = 10.0;  // % at the right edge of the total-gas track
    GasLogTracks tracks;
    std::optional<double> cursor;  // depth of the cursor line
    // The well's gas shows, each shaded by its class over its depth interval. The background
    // line comes from the model, row by row.
    const std::vector<analysis::GasShow>* shows = nullptr;
    // The totalizer's own background, drawn with its readings (null: the analyses' is drawn).
    const TotalizerBackground* totalizer_background = nullptr;

    DepthAxis axis() const { return DepthAxis::at_scale(top, scale, dots_per_cm); }
};

// The height of the heads above the tracks (titles, axis labels, the legend) for the
// painter's font.
int gas_log_head_height(const QPainter& p);
int gas_log_head_height(const QFontMetrics& fm);

// Paints the log into `rect`: the heads at its top, below them the depth column and the
// tracks from `view.top` downwards. Each curve is decimated to one min/max pair per pixel
// row, so a paint costs the rows in view (all rows with the trips shown), never more.
void paint_gas_log(QPainter& p, const QRect& rect, const GasLogModel& model,
                   const analysis::TotalizerLog* log, const GasLogView& view);

// The depth at pixel row `y` of `rect` as paint_gas_log lays it out; nothing in the heads.
std::optional<double> gas_log_depth_at(const QFontMetrics& fm, const QRect& rect,
                                       const GasLogView& view, int y);

QColor gas_colour(std::int32_t bgr);
// The shade of a show's class (translucent, drawn over the tracks).
QColor show_colour(analysis::ShowClass c);
// A depth or number with the system's decimal separator.
QString number_text(double value, int decimals);

}  // namespace vetra::display::ui
