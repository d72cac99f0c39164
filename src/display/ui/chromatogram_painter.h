#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>

#include "display/chromatogram_plot.h"

class QFontMetrics;
class QPainter;
class QPrinter;

namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::library {
class Operator;
}

namespace vetra::display::ui {

// What the painter reads from the settings.
struct PlotStyle {
    QString font_name;
    int font_size = 8;
    QColor curve_colour;
    int curve_width = 1;
    int vertical_grid = 10;    // divisions of the value axis
    int horizontal_grid = 5;   // seconds between time lines
    int screen_seconds = 120;  // span of the time axis
    int samples_per_second = 8;

    static PlotStyle from(const settings::GlobalSettings& s);
};

struct PaintOptions {
    bool fill_peaks = true;
    bool date_line = false;
    bool picture = false;
    bool show_results = true;  // false while the calibration window is visible
};

inline constexpr const char* kNoPrinterText =
    "Невозможно выполнить печать. Проверьте, установлен ли принтер в системе";
inline constexpr const char* kPrintErrorCaption = "  ОШИБКА";
inline constexpr const char* kPrintDocumentName = "Хроматограмма";
inline constexpr int kPrintFontSize = 11;
inline constexpr int kPictureWidth = 1280;
inline constexpr int kPictureHeight = 1024;

QColor to_qcolor(display::Colour c);
QFont plot_font(const PlotStyle& style);

// Draws the whole plot into `rect`: grid, axes, curve, gas windows, hatched peaks, result
// labels, legend and message. Stores the top in use into plot.top. The normal layout sets
// the style's font; the compact one keeps the painter's font.
void paint_chromatogram(QPainter& p, const QRect& rect, display::ChromatogramPlot& plot,
                        int gas_count, const PlotStyle& style, const PaintOptions& options);

// The plot rectangle inside `rect` for the painter's font.
QRect plot_rect(const QFontMetrics& fm, const QRect& rect, bool compact);

// Prints on a landscape page titled "Хроматограмма", font size 11, white background and
// black foreground (on a copy of the plot), with filled peaks and the date line. False when
// nothing was printed; when there is no printer to print on, the operator (if given) is
// shown kNoPrinterText under kPrintErrorCaption with the stop icon.
bool print_chromatogram(const display::ChromatogramPlot& plot, int gas_count,
                        const PlotStyle& style, QPrinter& printer, library::Operator* op = nullptr);

// 1280 x 1024, all three options on, JPEG quality 100. False when it could not be written.
bool save_picture(const display::ChromatogramPlot& plot, int gas_count, const PlotStyle& style,
                  const QString& path);

// The save dialog for a picture ("  Сохранение рисунка", "Картинка", *.jpeg); empty when
// the operator cancelled.
QString ask_picture_path(QWidget* parent);

// The chromatogram page's plot. Qt paints widgets through a back buffer, so the plot never
// flickers; painting only reads the plot and never waits for anything.
class ChromatogramWidget : public QWidget {
    Q_OBJECT
public:
    explicit ChromatogramWidget(QWidget* parent = nullptr);

    // The plot stays owned by the caller and must outlive the widget or be replaced.
    void set_plot(display::ChromatogramPlot* plot, std::function<int()> gas_count,
                  std::function<PlotStyle()> style);
    display::ChromatogramPlot* plot() const { return plot_; }
    void set_show_results(bool on);
    bool show_results() const { return options_.show_results; }

    // Where the plot frame lies for the current size and font (the range drag needs its
    // height).
    QRect current_plot_rect() const;

    QSize sizeHint() const override { return {800, 420}; }
    QSize minimumSizeHint() const override { return {240, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    display::ChromatogramPlot* plot_ = nullptr;
    std::function<int()> gas_count_;
    std::function<PlotStyle()> style_;
    PaintOptions options_;
};

}  // namespace vetra::display::ui
