#pragma once

#include <QWidget>
#include <functional>

#include "display/chromatogram_plot.h"
#include "display/ui/chromatogram_painter.h"

class QScrollArea;

namespace vetra::storage::ui {

// One stored chromatogram large, in a window of its own: the full layout with the time
// axis in seconds, the gas windows and the results. The time axis stretches (buttons or
// Ctrl + wheel) and scrolls; the value axis zooms as on the chromatogram page. Works on a
// copy, so the history's own entry keeps its compact layout.
class HistoryEntryWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxStretch = 16;

    HistoryEntryWindow(const display::ChromatogramPlot& entry,
                       std::function<display::ui::PlotStyle()> style,
                       std::function<int()> gas_count, QWidget* parent = nullptr);

    // Twice (`steps` > 0) or half (< 0) as wide per step, between 1 and kMaxStretch.
    void stretch_time(int steps);
    // 0.1 in, 10 out, 0 automatic; a top beyond the page's limits is refused.
    void zoom_values(double factor);

    int stretch() const { return stretch_; }
    const display::ChromatogramPlot& plot() const { return plot_; }
    display::ui::ChromatogramWidget* view() const { return view_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit_view();
    display::ui::PlotStyle entry_style() const;

    display::ChromatogramPlot plot_;
    std::function<display::ui::PlotStyle()> style_;
    int rate_ = 1;  // points per second of the thinned copy
    int stretch_ = 1;
    QScrollArea* area_ = nullptr;
    display::ui::ChromatogramWidget* view_ = nullptr;
};

}  // namespace vetra::storage::ui
