#include "app/ui/gas_log_reports.h"

#include "display/ui/gas_log_page.h"
#include "reports/ui/gas_log_print_form.h"
#include "settings/global_settings.h"

namespace vetra::app::ui {

bool print_gas_log_page(display::ui::GasLogPage& page, const settings::GlobalSettings& settings,
                        const std::string& settings_path, library::Operator& op,
                        QPrinter* printer) {
    const auto& view = page.view();
    reports::ui::GasLogPrintOptions defaults;
    defaults.well = QString::fromStdString(settings.well);
    defaults.field = QString::fromStdString(settings.area);
    defaults.from = page.model().shallowest().value_or(0.0f);
    defaults.to = page.model().deepest().value_or(0.0f);
    defaults.scale = view.scale;
    defaults.drilling_only = view.drilling_only;
    defaults.total_full_scale = view.total_full_scale;
    defaults.tracks = view.tracks;
    if (view.shows != nullptr) {
        defaults.shows = *view.shows;
    }
    return reports::ui::print_gas_log_dialog(&page, page.model(), page.totalizer_log(), page.rows(),
                                             defaults, settings_path, op, printer);
}

}  // namespace vetra::app::ui
