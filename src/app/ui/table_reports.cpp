#include "app/ui/table_reports.h"

#include <QFileDialog>
#include <QPushButton>

#include "app/workstation.h"
#include "library/operator.h"
#include "reports/table_las.h"
#include "reports/ui/table_exporter.h"
#include "reports/ui/tprint_grid_form.h"
#include "settings/global_settings.h"
#include "storage/ui/ttable_page.h"

namespace vetra::app::ui {

TableReports::TableReports(storage::ui::TTablePage& page, Workstation& workstation,
                           settings::GlobalSettings& settings, library::Operator& op)
    : QObject(&page), page_(page), workstation_(workstation), settings_(settings), operator_(op) {
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

void TableReports::mbExportClick() {
    reports::ui::export_table(&page_, page_.table_text(), {page_.ProgressBar1, page_.mbExport, {}},
                              workstation_.program_dir(), operator_);
}

void TableReports::export_las() {
    const QString suggested =
        QString::fromStdString(workstation_.program_dir() + "TextData/" + settings_.well + ".las");
    const QString path =
        QFileDialog::getSaveFileName(&page_, "Экспорт в LAS", suggested, "Файлы LAS (*.las)");
    if (path.isEmpty()) {
        return;
    }
    std::string error;
    if (!reports::write_table_las(page_.table_text(),
                                  reports::las_well(settings_, workstation_.rig_settings()),
                                  path.toStdString(), error)) {
        operator_.show_message(error, "  ОШИБКА", library::MessageIcon::error);
        return;
    }
    operator_.show_message("Таблица записана в файл " + path.toStdString(), "Сообщение",
                           library::MessageIcon::information);
}
}  // namespace vetra::app::ui
