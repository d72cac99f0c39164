#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "settings/ui/dialog_services.h"
#include "settings/ui/totalizer_control.h"

class QWidget;

namespace vetra::control {
class VetraSystem;
}
namespace vetra::library {
class Operator;
}

namespace vetra::app::ui {

// The main window's settings commands: the work settings dialog, the setup wizard and the
// threshold dialog, with what the window must redo after each.
class SettingsMenus : public QObject {
    Q_OBJECT
public:
    // `refresh` redraws the window's mode texts, panels and chromatogram.
    SettingsMenus(control::VetraSystem& system, settings::GlobalSettings& settings,
                  library::Operator& op, QWidget* window, std::function<void()> refresh);

    // "Рабочие настройки...": true when the dialog was accepted.
    bool MenuVetraOpt();
    // "Общие настройки...": refused while a cycle runs; true when the wizard was accepted.
    bool MenuProgrammConf();
    // "Порог срабатывания...".
    void N7Click();
    // The registration station's computer, also reached from the threshold dialog.
    void station_computer();

    // The gas totalizer as the dialogs see it; `on_reconnect` reopens the totalizer reader.
    settings::ui::SettingsTotalizerControl& totalizer() { return totalizer_; }
    // The dialogs' services; `show_help` opens the help viewer's topic.
    settings::ui::DialogServices& services() { return services_; }
    // After the work settings changed the rig settings (services().rig).
    std::function<void()> rig_changed;
    // The table font ("имя_шрифта", "размер_шрифта_таблицы") after a dialog may have changed
    // it: the table page applies it with its own layout.
    std::function<void(const std::string& family, int point_size)> table_font_changed;

private:
    void after_settings();

    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    QWidget* window_;
    std::function<void()> refresh_;
    settings::ui::SettingsTotalizerControl totalizer_;
    settings::ui::DialogServices services_;
};

}  // namespace vetra::app::ui
