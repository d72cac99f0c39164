#include "app/ui/settings_menus.h"

#include <QWidget>

#include "control/vetra_system.h"
#include "display/chromatogram_plot.h"
#include "library/operator.h"
#include "settings/global_settings.h"
#include "settings/lag_settings.h"
#include "settings/rig_settings.h"
#include "settings/ui/tcomp_form.h"
#include "settings/ui/topt_form.h"
#include "settings/ui/topt_master_form.h"
#include "settings/ui/tporog_form.h"

namespace vetra::app::ui {

SettingsMenus::SettingsMenus(control::VetraSystem& system, settings::GlobalSettings& settings,
                             library::Operator& op, QWidget* window, std::function<void()> refresh)
    : QObject(window),
      system_(system),
      settings_(settings),
      window_(window),
      refresh_(std::move(refresh)),
      totalizer_(system.link(), settings) {
    services_.op = &op;
}

bool SettingsMenus::MenuVetraOpt() {
    (void)settings_.save();
    settings::ui::TOptForm form(settings_, system_, totalizer_, services_, window_);
    if (!form.execute()) {
        return false;
    }
    after_settings();
    totalizer_.reconnect();
    if (services_.rig) {
        (void)services_.rig->save(settings_.settings_path);
        if (rig_changed) {
            rig_changed();
        }
    }
    if (services_.lag) {
        (void)services_.lag->save(settings_.settings_path);
    }
    return true;
}

bool SettingsMenus::MenuProgrammConf() {
    if (system_.state() == 0) {
        services_.op->show_message(
            "Общую настройку нельзя производить при запущенном рабочем цикле. Дождитесь "
            "окончания цикла работы.",
            "  Внимание!", library::MessageIcon::question);
        return false;
    }
    settings::ui::TOptMasterForm form(settings_, system_.gases(), services_, window_);
    if (!form.execute()) {
        return false;
    }
    after_settings();
    return true;
}

void SettingsMenus::N7Click() {
    settings::ui::TPorogForm form(settings_, services_, window_);
    form.set_internal_enabled(settings_.totalizer_use.load());
    if (form.execute()) {
        after_settings();
    }
}

void SettingsMenus::station_computer() {
    settings::ui::TCompForm form(settings_, services_, window_);
    (void)form.execute();
}

void SettingsMenus::after_settings() {
    if (table_font_changed) {
        table_font_changed(settings_.font_name, settings_.table_font_size);
    }
    system_.link().reserve_samples(static_cast<std::size_t>(
        display::screen_points(settings_.samples_per_second, settings_.screen_seconds)));
    if (refresh_) {
        refresh_();
    }
}

}  // namespace vetra::app::ui
