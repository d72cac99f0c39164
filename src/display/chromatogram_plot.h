#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/gaz_result.h"

namespace vetra::analysis {
class GazList;
}

namespace vetra::display {

// Windows colour value 0x00BBGGRR, as the settings and the gas list store it.
using Colour = std::int32_t;

// One gas's exit-time window as drawn: sample indices, and the result label when the cycle
// has one for this gas.
struct GasWindow {
    Colour colour = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    double level = 0;  // peak maximum, mV: where the label goes
    bool has_result = false;
    std::string code;
    std::string value_text;
};

// One chromatogram as shown: points, gas windows with their results, colours and a warning
// text. The main window paints the controller's instance; the run file and the history
// store and load the same fields. No drawing here: the painter lives in ui/.
class ChromatogramPlot {
public:
    std::string message;
    Colour background = 0xFFFFFF;
    Colour foreground = 0x000000;
    double fixed_top = 0;  // 0 = automatic
    double top = 1;        // in use at the last paint
    double bottom = 0;
    std::vector<double> points;  // mV
    // Seconds since the acquisition began, point by point where known; the stored records
    // carry them (0 for a point without one).
    std::vector<std::int32_t> seconds;
    std::vector<GasWindow> windows;
    bool compact = false;
    // The legend's source: the live plot points at the calculator's list, a stored plot at
    // a list of its own. May be absent.
    const std::vector<analysis::GazResult>* results = nullptr;

    int point_count() const { return static_cast<int>(points.size()); }

    // A new cycle: no message, no points.
    void clear_for_cycle();
    // Window i from gas i's working window (sample indices round(start * rate - 1) and
    // round(rate * end + 1)), labelled from gas i's result record when the list has one.
    // `rate` is samples per second.
    void rebuild_windows(const analysis::GazList& gases,
                         const std::vector<analysis::GazResult>& results, int rate);
    // Background from the settings, foreground its contrast colour.
    void set_background(Colour colour);

    // (top in use, or the fixed top when set; bottom).
    std::pair<double, double> range() const;
    void set_range(double new_bottom, double new_top);
};

// The screen span in samples, "размер_экрана" x "посылок_в_секунду": the plot's time axis
// and the size the sample buffer is prepared for. Formed in 64 bits and capped, so absurd
// settings neither overflow nor ask for terabytes at start-up; 2^20 samples is 100 a
// second for almost three hours, far beyond any screen. Never below 1.
inline constexpr std::int64_t kMaxScreenPoints = std::int64_t{1} << 20;
std::int64_t screen_points(std::int32_t samples_per_second, std::int32_t screen_seconds);

// Black on a light background, white on a dark one.
Colour contrast_colour(Colour background);

// The top of the value axis for the largest point: the first of 0.05, 0.1, 0.2, 0.4, 0.5,
// 0.8, then 1, 2, 4, 5, 8 times each power of ten up to 10^6, and 10^7, that is not smaller;
// above 10^7 the largest value itself. Without points, 1.
double automatic_top(const std::vector<double>& points);
double automatic_top_for(double largest);

// Zoom buttons: factor 0.1 (in), 10 (out) or 0 (automatic). The new fixed top, or nothing
// when it would leave 0.0001 .. 20000.
std::optional<double> zoomed_top(double current_top, double factor);

// Labels of axis lines `spacing` pixels apart that need `label` pixels each (with their
// gap): label every n-th line, n the first of 1, 2, 5, 10, 20, 50 ... that keeps them apart.
int tick_label_stride(double spacing, double label);

// Result labels as boxes (left, top, width, height) in pixels. Boxes that would overlap are
// moved up, or else down, a box height at a time, staying inside the bounds' rows
// `top_limit` .. `bottom_limit`; a box with no free place keeps its own.
struct LabelBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
void separate_labels(std::vector<LabelBox>& boxes, int top_limit, int bottom_limit);

enum class DragHandle { upper, whole, lower };

// The range while dragging a handle `rows` pixels from where the drag began, on a plot
// `height` pixels high; `start` is (bottom, top) at the start of the drag.
std::pair<double, double> dragged_range(DragHandle handle, std::pair<double, double> start,
                                        int rows, int height);

}  // namespace vetra::display
