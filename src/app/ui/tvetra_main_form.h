#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <boost/signals2/connection.hpp>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/workstation.h"

class QAction;
class QLabel;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
class IniFile;
}  // namespace vetra::settings
namespace vetra::library {
class Operator;
}
namespace vetra::display::ui {
class GasLogPage;
class TotalizerChartPanel;
class TotalizerReadingPanel;
}  // namespace vetra::display::ui
namespace vetra::analysis::ui {
class TGazTimeForm;
class TEtalonForm;
}  // namespace vetra::analysis::ui
namespace vetra::storage::ui {
class TTablePage;
}
namespace vetra::widgets::ui {
class TextIndicator;
}

namespace vetra::app::ui {

class ChromatogramPage;
class SettingsMenus;
class TableGasLogRows;
class WorkstationStatusBar;

struct MainFormOptions {
    std::string program_dir;          // with a trailing separator
    bool demo = false;                // demonstration mode for this session only
    std::optional<std::string> port;  // the chromatograph's port for this session only
    bool start_timer = true;          // tests drive the timer themselves
    bool setup_wizard = true;         // the wizard of the first start; tests go without
};

// The only main window: starts the program up and shuts it down, drives the controller
// from its 400 ms timer and shows the chromatograph's state, mode and chromatogram.
class TVetraMainForm : public QMainWindow {
    Q_OBJECT
public:
    TVetraMainForm(control::VetraSystem& system, settings::GlobalSettings& settings,
                   library::Operator& op, MainFormOptions options, QWidget* parent = nullptr);
    ~TVetraMainForm() override;

    // One step of the main timer.
    void MainTimerTimer();
    // The chromatogram page's zoom: 0.1 in, 10 out, 0 automatic.
    void ChangeGraphicsRange(double factor);
    void MenuStart();
    void MenuSelectWorkMode(int mode);
    // The session ends (SIGTERM, SIGINT, SIGHUP): close in order without the question.
    void end_session();

    // The texts of the indicators, as shown.
    QString work_mode_text() const;
    QString state_text() const;
    QString time_text() const;
    QString adc_text() const;
    QString totalizer_text() const;
    WorkstationStatusBar* status_bar() const { return status_bar_; }
    Workstation& workstation() { return workstation_; }

    // The ADC indicator: code in hexadecimal (mode 0) or decimal (mode 1), range and state.
    static QString adc_indicator_text(int code, int range, int state, int mode);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_menus();
    void build_tool_bar();
    void start_up();
    void shut_down();
    void save_placement();
    void write_placement(settings::IniFile& file);
    void load_placement();

    void show_mode();
    void show_state();
    void show_failure(const std::string& message);
    void set_panel_visibility();
    void refresh_chromatogram(bool force);
    bool confirm_close();
    void set_title();

    void mProgrevClick();
    void N13Click();
    void ButtonSaveValues();
    void MenuAbout();
    void MenuEtalon();

    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
    MainFormOptions options_;
    Workstation workstation_;

    int blink_ = 0;
    QString failure_;  // what ended the last cycle or start badly; empty after a good one
    QString failure_time_;
    bool ending_session_ = false;
    bool shut_down_ = false;  // the close wrote the placement with the settings
    QRect restored_;          // the placement's normal rectangle, for a window shown maximised

    QTimer* MainTimer = nullptr;
    QAction* mProgrev = nullptr;
    QAction* mode_actions_[4] = {};
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QToolButton* ToolButton4 = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton6 = nullptr;
    QToolButton* ToolButton8 = nullptr;
    QToolButton* BitBtn1 = nullptr;
    widgets::ui::TextIndicator* indiWorkMode = nullptr;
    widgets::ui::TextIndicator* indiCurMode = nullptr;
    widgets::ui::TextIndicator* indiTime = nullptr;
    widgets::ui::TextIndicator* indiAdc = nullptr;
    display::ui::TotalizerReadingPanel* Panel1 = nullptr;
    display::ui::TotalizerChartPanel* totalizer_chart_ = nullptr;
    QTabWidget* PageControl1 = nullptr;
    ChromatogramPage* chromatogram_page_ = nullptr;
    storage::ui::TTablePage* table_page_ = nullptr;
    std::unique_ptr<TableGasLogRows> gas_log_rows_;
    display::ui::GasLogPage* gas_log_page_ = nullptr;
    QPointer<analysis::ui::TGazTimeForm> gaz_time_form_;
    SettingsMenus* settings_menus_ = nullptr;
    WorkstationStatusBar* status_bar_ = nullptr;
    QPointer<analysis::ui::TEtalonForm> etalon_form_;
    std::vector<boost::signals2::scoped_connection> connections_;
};

}  // namespace vetra::app::ui
