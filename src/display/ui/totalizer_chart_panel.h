#pragma once

#include <QGroupBox>
#include <string>

#include "display/ui/totalizer_chart.h"
#include "settings/ini_options.h"

class QComboBox;
class QLabel;
class QScrollBar;

namespace vetra::settings {
class IniFile;
class GlobalSettings;
}  // namespace vetra::settings

namespace vetra::display::ui {

inline constexpr const char* kChartSection = "planshet";
inline constexpr const char* kCurveSection = "planshet_summ_Суммарный газ";

// A colour as the settings file names it: "clBlack" and the other fifteen basic colours by
// name, any other as "$00BBGGRR"; parsing takes both and a plain number.
std::string colour_name_text(settings::Colour colour);
std::optional<settings::Colour> parse_colour_name(std::string_view text);
// The curve's colour and width as the main window writes them after the work settings.
void write_curve_settings(settings::IniFile& file, settings::Colour colour, int width);

// The container "Газосумматор" at the right of the chromatogram: the time-span list
// `ComboBox1`, the strip chart, its scroll bar (the bottom end is now) and the box "Курсор".
class TotalizerChartPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TotalizerChartPanel(QWidget* parent = nullptr);

    // The curve "summ" titled "Суммарный газ" over `log`, which must outlive the panel.
    void set_log(const analysis::TotalizerLog* log);
    void set_curve(QColor colour, int width);
    void set_background(QColor colour);

    int span_index() const;
    void set_span_index(int index);
    // The timer's step: the scroll range follows the log, the chart repaints.
    void refresh();

    // Start-up: the log, the span from "win_mashtab", the curve in "цвет_кривой" and
    // "толщина_кривой", then "planshet" of the settings file.
    void start_up(const analysis::TotalizerLog* log, const settings::GlobalSettings& settings,
                  const std::string& settings_path);
    // After the work settings: the curve's colour and width into the settings file, then the
    // chart settings read back from it.
    void apply_settings(const settings::GlobalSettings& settings, const std::string& settings_path);
    // "planshet" into the settings file.
    void save_to(const std::string& settings_path) const;

    void load_settings(const settings::IniFile& file);
    void save_settings(settings::IniFile& file) const;

    TTotalizerChart* chart() const { return pbSummChart; }
    QComboBox* span_list() const { return ComboBox1; }
    QComboBox* scale_list() const { return cbScale; }
    QScrollBar* scroll_bar() const { return sbar; }
    // "Время: ...", "Глубина: ...", "Сумм. газ: ..." as shown.
    QString cursor_text() const;

private:
    void ComboBox1Change(int index);
    void sbarVertScroll(int value);
    void show_cursor();
    int log_seconds() const;

    const analysis::TotalizerLog* log_ = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* cbScale = nullptr;
    TTotalizerChart* pbSummChart = nullptr;
    QScrollBar* sbar = nullptr;
    QLabel* cursor_time_ = nullptr;
    QLabel* cursor_depth_ = nullptr;
    QLabel* cursor_value_ = nullptr;
    bool following_ = true;            // the scroll bar sits at now and follows new readings
    library::DayNumber anchor_ = 0.0;  // otherwise: the end of the view
};

}  // namespace vetra::display::ui
