#pragma once

#include <QObject>
#include <QString>
#include <string>

namespace vetra::app {
class Workstation;
}
namespace vetra::analysis {
class GazList;
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
                 const analysis::GazList& gases, settings::GlobalSettings& settings,
                 library::Operator& op);

    void SpeedButton3Click();
    void mbExportClick();
    void export_las();

private:
    // Where to save: the folder used last this session, else TextData.
    QString ask_path(const QString& caption, const QString& name, const QString& filter);

    storage::ui::TTablePage& page_;
    Workstation& workstation_;
    const analysis::GazList& gases_;
    QString last_folder_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
};

}  // namespace vetra::app::ui
