#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "reports/table_export.h"

class QAbstractButton;
class QElapsedTimer;
class QProgressBar;
class QTimer;
class QWidget;

namespace vetra::library {
class Operator;
}

namespace vetra::reports::ui {

inline constexpr const char* kExportHint =
    "Экспорт таблицы в файл MSExcel (используется программа OpenOffice Calc)";

// The table page's controls the export shows and hides.
struct ExportControls {
    QProgressBar* bar = nullptr;        // hidden while idle
    QAbstractButton* button = nullptr;  // "Экспорт в Excel", hidden while exporting
    QAbstractButton* cancel = nullptr;  // optional: shown while exporting, stops it

    // Bar and "Отмена" shown and the button hidden while an export runs; the reverse after.
    void set_running(bool running) const;
    // Running, with "Отмена" calling `on_cancel` of `exporter` until `end`.
    void begin(QObject* exporter, std::function<void()> on_cancel) const;
    void end(QObject* exporter) const;
};

// Progress from a worker shown on the window's thread: one request in flight at a time,
// however fast the worker goes.
class ProgressPost {
public:
    template <class Show>
    void post(QObject* to, Show show) {
        if (!posted_.exchange(true)) {
            QMetaObject::invokeMethod(
                to,
                [this, show] {
                    posted_ = false;
                    show();
                },
                Qt::QueuedConnection);
        }
    }

private:
    std::atomic<bool> posted_{false};
};

// One export of the table to "TextData/table.xlsx". The workbook is written and compressed
// on a worker thread; the table's model is read only here, on the window's thread, in
// slices of a few milliseconds, so the 400 ms tick and painting go on and a cycle running
// meanwhile loses nothing. Ends with the bar hidden and the button shown, a message when it
// failed, and the stored file handed to the desktop.
class TableExporter : public QObject {
    Q_OBJECT
public:
    // Without an opener the desktop's program shows the file, offered only when there is one.
    TableExporter(const storage::TableText& table, ExportControls controls, std::string path,
                  library::Operator& op, DocumentOpener opener, SheetLayout layout = {},
                  QObject* parent = nullptr);
    ~TableExporter() override;

    void start();
    void cancel();
    bool running() const { return worker_.joinable() && !finished_; }
    const ExportOutcome& outcome() const { return outcome_; }

Q_SIGNALS:
    void finished(bool ok);

private:
    void feed();
    void show_progress(std::int64_t position);
    void finish(ExportOutcome outcome);

    const storage::TableText& table_;
    ExportControls controls_;
    std::string path_;
    library::Operator& operator_;
    DocumentOpener opener_;
    SheetLayout layout_;
    std::unique_ptr<RowFeed> feed_;
    std::unique_ptr<SpreadsheetBackEnd> back_end_;
    QTimer* feeder_ = nullptr;
    int next_row_ = 0;
    int rows_ = 0;
    int columns_ = 0;
    std::int64_t scale_ = 1;  // the bar counts in steps of this many cells
    std::atomic<std::int64_t> position_{0};
    ProgressPost progress_;
    bool finished_ = false;
    ExportOutcome outcome_;
    std::jthread worker_;
};

// Opens a file with the desktop's program for it.
bool open_with_desktop(const std::string& path);
// Whether the desktop has a program for files like this one.
bool desktop_has_viewer(const std::string& path);

// The table page's "Экспорт в Excel" (`mbExportClick`): exports the table to `path`, then
// names the file and offers to show it. The exporter belongs to `parent` and deletes itself
// when done; nothing happens while it or another export of the page is still running.
TableExporter* export_table(QWidget* parent, const storage::TableText& table,
                            ExportControls controls, const std::string& path, library::Operator& op,
                            DocumentOpener opener = {}, const SheetLayout& layout = {});

// True while an export child of `parent` (spreadsheet or LAS) runs.
bool export_running(QObject* parent);

// Starts `exporter`, a child of `parent`, as that parent's running export; it deletes itself
// when it has finished.
template <class Exporter>
Exporter* run_export(Exporter* exporter) {
    exporter->setProperty("vetra_export_running", true);
    QObject::connect(exporter, &Exporter::finished, exporter, [exporter] {
        exporter->setProperty("vetra_export_running", false);
        exporter->deleteLater();
    });
    exporter->start();
    return exporter;
}

}  // namespace vetra::reports::ui
