#pragma once

#include <QWidget>
#include <string>
#include <utility>

class QSplitter;
class QToolButton;

namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::library {
class Operator;
}
namespace vetra::display::ui {
class ChromatogramWidget;
class TotalizerChartPanel;
}  // namespace vetra::display::ui
namespace vetra::widgets::ui {
class TextIndicator;
}

namespace vetra::app::ui {

// The page "Хроматограмма": the controller's plot with its zoom buttons, range handles and
// print button, the ADC indicator under it and the totalizer chart's frame beside it.
class ChromatogramPage : public QWidget {
    Q_OBJECT
public:
    ChromatogramPage(control::VetraSystem& system, settings::GlobalSettings& settings,
                     library::Operator& op, QWidget* parent = nullptr);

    // Once the settings are loaded: the plot starts painting.
    void attach();
    // New points into the view (all of them when forced), colours, windows and results.
    void refresh(bool force);
    // The controller's error on the plot, with a beep when it came from the timer.
    void show_error(const std::string& text, bool beep);
    // 0.1 in, 10 out, 0 automatic.
    void ChangeGraphicsRange(double factor);
    // Prints the current chromatogram after the checks and the question.
    void MenuPrint();
    void set_panels(bool adc, bool totalizer_chart);

    // The width of the totalizer chart beside the plot ("win_width").
    void set_chart_width(int width);

    widgets::ui::TextIndicator* adc_indicator() const { return indiAdc; }
    display::ui::TotalizerChartPanel* totalizer_chart() const { return totalizer_chart_; }

private:
    QWidget* build_strip();
    QWidget* build_plot_column(QWidget* parent);
    void drag_range(int handle, int rows);
    bool refuse_print_while_working();

    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;

    std::pair<double, double> drag_start_range_{0, 1};
    display::ui::ChromatogramWidget* plot_ = nullptr;
    widgets::ui::TextIndicator* indiAdc = nullptr;
    QWidget* adc_row_ = nullptr;
    display::ui::TotalizerChartPanel* totalizer_chart_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QToolButton* zoom_auto_ = nullptr;
    QToolButton* print_button_ = nullptr;
};

}  // namespace vetra::app::ui
