#pragma once

#include <QObject>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/gaz_list.h"
#include "reports/table_las.h"
#include "reports/ui/table_exporter.h"

namespace vetra::library {
class Operator;
}

namespace vetra::reports::ui {

// What a LAS export needs, taken on the window's thread when it starts.
struct LasJob {
    std::filesystem::path table_file;  // "data.tim" of the well
    std::vector<analysis::GazOption> gases;
    bool show_ratios = false;
    LasWellInfo well;
    std::string target;
    // The background and show curves; none when not set.
    std::optional<LasShows> shows;
};

// One LAS export. The worker reads the table file through a read-only mapping of its own,
// so the window goes on (a cycle may append meanwhile; rows removed meanwhile are replaced
// by a new file and the worker keeps reading the old one). The bar shows the rows written;
// the end names the file and the rows left out for want of a depth.
class LasExporter : public QObject {
    Q_OBJECT
public:
    LasExporter(LasJob job, ExportControls controls, library::Operator& op,
                QObject* parent = nullptr);
    ~LasExporter() override;

    void start();
    void cancel() { cancelled_ = true; }
    const LasResult& result() const { return result_; }

Q_SIGNALS:
    void finished(bool ok);

private:
    void show_progress();
    void finish(LasResult result);

    LasJob job_;
    ExportControls controls_;
    library::Operator& operator_;
    std::atomic<int> done_{0};
    std::atomic<int> total_{0};
    ProgressPost progress_;
    std::atomic<bool> cancelled_{false};
    LasResult result_;
    std::jthread worker_;
};

// The table page's "Экспорт в LAS...": nothing happens while another export of the page runs.
LasExporter* export_las(QObject* parent, LasJob job, ExportControls controls,
                        library::Operator& op);

}  // namespace vetra::reports::ui
