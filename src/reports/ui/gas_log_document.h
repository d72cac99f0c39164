#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "display/gas_log_model.h"
#include "display/ui/gas_log_painter.h"

class QPainter;
class QPagedPaintDevice;

namespace vetra::reports::ui {

inline constexpr const char* kGasLogPrintTitle = "Газовый каротаж";

// What a printed log shows.
struct GasLogPrintOptions {
    QString title = kGasLogPrintTitle;
    QStringList head;  // lines under the title
    QString well;
    QString field;
    double from = 0.0;  // m
    double to = 100.0;  // m
    double scale = 500.0;
    bool drilling_only = true;
    double total_full_scale = 10.0;
    display::ui::GasLogTracks tracks;
    // Shaded by class with the background line; none when empty.
    std::vector<analysis::GasShow> shows;
};

// The log of a depth interval laid out on pages of one paint device: each page has the
// heading (title, well, field, the interval and the dates of its analyses) and the tracks
// for the next stretch of depth, drawn at the exact scale of the device's dots.
class GasLogDocument {
public:
    GasLogDocument(const display::GasLogModel& model, const analysis::TotalizerLog* log,
                   const display::GasLogRows& rows, GasLogPrintOptions options);

    // Lays the pages out for `painter`'s device: `page` is the printable area in its dots.
    void layout(QPainter& painter, QSize page, double dots_per_cm);
    int page_count() const { return pages_; }
    QSize page_size() const { return page_; }
    double dots_per_cm() const { return dots_per_cm_; }
    double metres_per_page() const { return metres_per_page_; }
    // The first dot row of the tracks below the heading and track heads.
    int tracks_top() const { return heading_ + track_head_; }
    const GasLogPrintOptions& options() const { return options_; }

    // Draws page `index` at the painter's origin; the painter must be set up as for layout().
    void render_page(QPainter& painter, int index) const;
    // All pages one below the other: the whole interval as one picture (SVG).
    int picture_height() const;
    void render_picture(QPainter& painter) const;

private:
    void set_fonts(QPainter& painter, bool heading) const;
    void draw_heading(QPainter& painter, double from, double to) const;
    display::ui::GasLogView view_from(double top) const;

    const display::GasLogModel& model_;
    const analysis::TotalizerLog* log_;
    const display::GasLogRows& rows_;
    display::TotalizerBackground totalizer_background_;
    GasLogPrintOptions options_;
    QString dates_;
    QSize page_;
    double dots_per_cm_ = 0.0;
    int heading_ = 0;
    int track_head_ = 0;
    double metres_per_page_ = 1.0;
    int pages_ = 0;
};

// Prints the document on a printer or a PDF writer, laid out for its resolution. `tick`
// (pages done, pages) may cancel. False when nothing or not everything was drawn.
bool print_gas_log(GasLogDocument& document, QPagedPaintDevice& device,
                   const std::function<bool(int, int)>& tick = {});
// PDF (A4 portrait) or SVG (one picture, sized in millimetres) by the file's extension.
bool save_gas_log(GasLogDocument& document, const QString& path, QString& error);

}  // namespace vetra::reports::ui
