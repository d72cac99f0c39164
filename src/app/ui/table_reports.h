#pragma once

#include <QObject>
#include <string>

namespace vetra::app {
class Workstation;
}
namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::library {
class Operator;
}
namespace vetra::storage::ui {
class TTablePage;
}

namespace vetra::app::ui {

// The table page's printing, exports and gas-ratio switch: the page knows the table, the
// reports module knows the formats, and this joins them with the settings.
class TableReports : public QObject {
    Q_OBJECT
public:
    TableReports(storage::ui::TTablePage& page, Workstation& workstation,
                 settings::GlobalSettings& settings, library::Operator& op);

    void SpeedButton3Click();
    void mbExportClick();
    void export_las();

private:
    storage::ui::TTablePage& page_;
    Workstation& workstation_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
};

}  // namespace vetra::app::ui
