#include "app/ui/table_reports.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

#include "analysis/gaz_list.h"
#include "app/workstation.h"
#include "library/operator.h"
#include "reports/table_las.h"
#include "reports/ui/las_exporter.h"
#include "reports/ui/table_exporter.h"
#include "reports/ui/tprint_grid_form.h"
#include "settings/global_settings.h"
#include "storage/ui/ttable_page.h"

namespace vetra::app::ui {

TableReports::TableReports(storage::ui::TTablePage& page, Workstation& workstation,
                           const analysis::GazList& gases, settings::GlobalSettings& settings,
                           library::Operator& op)
    : QObject(&page),
      page_(page),
      workstation_(workstation),
      gases_(gases),
      settings_(settings),
      operator_(op) {
    page_.SpeedButton3->setEnabled(true);
    page_.mbExport->setEnabled(true);
    page_.mbExport->setToolTip(reports::ui::kExportHint);
    page_.btnLas->setEnabled(true);
    connect(page_.SpeedButton3, &QPushButton::clicked, this, &TableReports::SpeedButton3Click);
    connect(page_.mbExport, &QPushButton::clicked, this, &TableReports::mbExportClick);
    connect(page_.btnLas, &QPushButton::clicked, this, &TableReports::export_las);
    // The page switches its columns itself; the choice is remembered in the rig settings.
    connect(page_.btnRatios, &QPushButton::clicked, this,
            [this](bool on) { workstation_.rig_settings().show_ratios = on; });
    page_.show_ratios(workstation_.rig_settings().show_ratios);
}

void TableReports::SpeedButton3Click() {
    // Data rows count from 1 below the header row; no selection prints the whole table.
    const auto [first, last] = page_.selected_rows();
    const int columns = page_.table_text().column_count();
    const reports::TableSelection selection =
        first < 0 ? reports::TableSelection{1, 1, 1, 1}
                  : reports::TableSelection{1, first + 1, columns - 1, last + 1};
    (void)reports::ui::print_table(&page_, page_.table_text(), selection, settings_.settings_path,
                                   operator_);
}

QString TableReports::ask_path(const QString& caption, const QString& name, const QString& filter) {
    if (last_folder_.isEmpty()) {
        last_folder_ = QString::fromStdString(workstation_.program_dir() + "TextData");
        QDir().mkpath(last_folder_);
    }
    const QString path =
        QFileDialog::getSaveFileName(&page_, caption, QDir(last_folder_).filePath(name), filter);
    if (!path.isEmpty()) {
        last_folder_ = QFileInfo(path).absolutePath();
    }
    return path;
}

void TableReports::mbExportClick() {
    if (reports::ui::export_running(&page_)) {
        return;
    }
    QString path = ask_path("Экспорт в Excel", "table.xlsx", "Книга Excel (*.xlsx)");
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += ".xlsx";
    }
    reports::SheetLayout layout;
    layout.title = "Результаты хроматографического анализа";
    layout.subject = "Скважина " + settings_.well + ", площадь " + settings_.area;
    layout.frozen_columns = page_.table_text().repeated_columns();
    reports::ui::export_table(&page_, page_.table_text(), {page_.ProgressBar1, page_.mbExport, {}},
                              path.toStdString(), operator_, {}, layout);
}

void TableReports::export_las() {
    if (reports::ui::export_running(&page_)) {
        return;
    }
    const QString path = ask_path("Экспорт в LAS", QString::fromStdString(settings_.well + ".las"),
                                  "Файлы LAS (*.las)");
    if (path.isEmpty()) {
        return;
    }
    reports::ui::LasJob job;
    job.table_file = page_.table_text().table().path();
    for (int i = 0; i < gases_.count(); ++i) {
        job.gases.push_back(gases_.gas(i));
    }
    job.show_ratios = page_.table_text().show_ratios();
    job.well = reports::las_well(settings_, workstation_.rig_settings());
    job.target = path.toStdString();
    const settings::LagSettings& lag = workstation_.lag_settings();
    job.shows = reports::LasShows{workstation_.well_depth().shows(),
                                  {lag.background_metres, lag.show_factor, lag.show_minimum}};
    reports::ui::export_las(&page_, std::move(job), {page_.ProgressBar1, page_.btnLas, {}},
                            operator_);
}

}  // namespace vetra::app::ui
