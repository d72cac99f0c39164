#include <QGuiApplication>
#include <cstdio>

#include "analysis/gaz_list.h"
#include "app/gaslog_command.h"
#include "app/ui/gas_log_rows.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/utf8_path.h"
#include "reports/ui/gas_log_document.h"
#include "settings/global_settings.h"
#include "settings/lag_settings.h"
#include "storage/results_table.h"
#include "storage/show_file.h"
#include "storage/totalizer_file.h"

namespace vetra::app {

int run_gaslog(const std::string& program_dir, const GaslogCommand& command, int argc,
               char** argv) {
    if (!command.from || !command.to || !(*command.to > *command.from) || !(command.scale >= 10) ||
        (!command.pdf && !command.svg)) {
        std::fprintf(stderr,
                     "gaslog needs --from M --to M (from above to), a scale of at least 10 "
                     "and --pdf FILE or --svg FILE\n");
        return 2;
    }
    // Fonts and painting need a GUI application, but never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);

    settings::GlobalSettings settings;
    settings::load_settings_at_startup(settings, program_dir);
    const std::filesystem::path data = settings::data_directory(settings, program_dir);
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    if (!table.open(data / storage::kTableFileName, true)) {
        std::fprintf(stderr, "%s: cannot be opened\n",
                     library::utf8_from_path(data / storage::kTableFileName).c_str());
        return 2;
    }
    analysis::GazList gases;
    gases.load(settings.settings_path);
    analysis::TotalizerLog log;
    // Read without the window's clean-up: a tool never deletes a file it does not know.
    if (const auto bytes = library::read_whole_file(data / storage::kTotalizerLogFileName)) {
        (void)storage::load_totalizer_bytes(log, *bytes);
    }

    settings::LagSettings lag;
    lag.load(settings.settings_path);
    ui::TableGasLogRows rows(table, &gases, &lag);
    display::GasLogModel model;
    model.update(rows);

    reports::ui::GasLogPrintOptions options;
    options.well = QString::fromStdString(settings.well);
    options.field = QString::fromStdString(settings.area);
    options.from = *command.from;
    options.to = *command.to;
    options.scale = command.scale;
    options.drilling_only = !command.all_rows;
    options.shows = storage::load_shows(data / storage::kShowFileName);
    int status = 0;
    for (const auto& file : {command.pdf, command.svg}) {
        if (!file) {
            continue;
        }
        reports::ui::GasLogDocument document(model, &log, rows, options);
        QString error;
        if (!reports::ui::save_gas_log(document, QString::fromStdString(*file), error)) {
            std::fprintf(stderr, "%s\n", error.toStdString().c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace vetra::app
