#include "reports/ui/table_exporter.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMimeDatabase>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <climits>

#include "library/operator.h"

namespace vetra::reports::ui {
namespace {

constexpr int kSliceMs = 15;
constexpr int kBlockRows = 500;
constexpr const char* kTableChangedText =
    "Таблица изменилась во время экспорта (строки удалены). Экспорт прерван, прежний файл не "
    "изменён.";

}  // namespace

void ExportControls::set_running(bool running) const {
    if (bar) {
        bar->setVisible(running);
    }
    if (button) {
        button->setVisible(!running);
    }
    if (cancel) {
        cancel->setVisible(running);
    }
}

void ExportControls::begin(QObject* exporter, std::function<void()> on_cancel) const {
    set_running(true);
    if (cancel) {
        QObject::connect(cancel, &QAbstractButton::clicked, exporter, std::move(on_cancel));
    }
}

void ExportControls::end(QObject* exporter) const {
    set_running(false);
    if (cancel) {
        QObject::disconnect(cancel, nullptr, exporter, nullptr);
    }
}

TableExporter::TableExporter(const storage::TableText& table, ExportControls controls,
                             std::string path, library::Operator& op, DocumentOpener opener,
                             SheetLayout layout, QObject* parent)
    : QObject(parent),
      table_(table),
      controls_(controls),
      path_(std::move(path)),
      operator_(op),
      opener_(std::move(opener)),
      layout_(std::move(layout)) {}

TableExporter::~TableExporter() {
    if (feed_) {
        feed_->cancel();
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

void TableExporter::start() {
    rows_ = std::max(table_.row_count(), 0);
    columns_ = std::max(table_.column_count(), 0);
    const std::int64_t maximum = std::int64_t{rows_} * columns_;
    scale_ = std::max<std::int64_t>(maximum / INT_MAX + 1, 1);
    if (controls_.bar) {
        controls_.bar->setRange(0, static_cast<int>(maximum / scale_));
        controls_.bar->setValue(0);
    }
    controls_.begin(this, [this] { cancel(); });

    feed_ = std::make_unique<RowFeed>(rows_, columns_);
    back_end_ = make_file_back_end(SheetFormat::xlsx);
    feeder_ = new QTimer(this);
    feeder_->setSingleShot(true);
    connect(feeder_, &QTimer::timeout, this, &TableExporter::feed);
    feeder_->start(0);

    worker_ = std::jthread([this] {
        ExportOutcome outcome = export_table(
            *feed_, *back_end_, path_,
            [this](std::int64_t position, std::int64_t) {
                position_ = position;
                progress_.post(this, [this] { show_progress(position_); });
                return !feed_->cancelled();
            },
            layout_);
        QMetaObject::invokeMethod(
            this, [this, outcome] { finish(outcome); }, Qt::QueuedConnection);
    });
}

void TableExporter::cancel() {
    if (feed_) {
        feed_->cancel();
    }
}

void TableExporter::feed() {
    if (finished_ || feed_->cancelled()) {
        return;
    }
    if (table_.row_count() < rows_) {
        outcome_.message = kTableChangedText;
        feed_->cancel();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    bool pushed = false;
    while (next_row_ < rows_ && feed_->has_room() && clock.elapsed() < kSliceMs) {
        std::vector<RowFeed::Row> block;
        const int end = std::min(rows_, next_row_ + kBlockRows);
        block.reserve(static_cast<std::size_t>(end - next_row_));
        for (; next_row_ < end; ++next_row_) {
            RowFeed::Row row;
            row.reserve(static_cast<std::size_t>(columns_));
            table_.row_cells(next_row_, row);
            block.push_back(std::move(row));
        }
        feed_->push(std::move(block));
        pushed = true;
    }
    if (next_row_ < rows_) {
        feeder_->start(pushed ? 0 : 5);
    }
}

void TableExporter::show_progress(std::int64_t position) {
    if (controls_.bar && !finished_) {
        controls_.bar->setValue(static_cast<int>(position / scale_));
    }
}

void TableExporter::finish(ExportOutcome outcome) {
    finished_ = true;
    feeder_->stop();
    if (worker_.joinable()) {
        worker_.join();
    }
    controls_.end(this);
    // A table that shrank under the export says so rather than "cancelled".
    if (!outcome.ok && !outcome_.message.empty()) {
        outcome.message = outcome_.message;
        outcome.cancelled = false;
    }
    if (outcome.ok) {
        const std::string done = "Таблица записана в файл \"" + path_ + "\".";
        const bool viewer = opener_ || desktop_has_viewer(path_);
        if (!viewer) {
            operator_.show_message(done, "Сообщение", library::MessageIcon::information);
        } else if (operator_.ask_yes_no(done + "\nОткрыть его?", "Сообщение")) {
            const auto back_end =
                make_file_back_end(SheetFormat::xlsx, opener_ ? opener_ : open_with_desktop);
            const ExportOutcome shown = show_export(*back_end, path_);
            if (!shown.ok) {
                operator_.show_message(shown.message, "Сообщение", library::MessageIcon::warning);
            }
        }
    } else if (!outcome.cancelled) {
        const bool named = outcome.message == kNoBackEndText || outcome.message == kNoDocumentText;
        operator_.show_message(outcome.message, named ? kErrorCaption : "  ОШИБКА",
                               library::MessageIcon::error);
    }
    outcome_ = outcome;
    Q_EMIT finished(outcome.ok);
}

bool open_with_desktop(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool desktop_has_viewer(const std::string& path) {
#ifdef Q_OS_WIN
    (void)path;
    return true;
#else
    // The desktop's own question: which program opens this type? Asked once per export.
    const QString type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path)).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished(500);
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
#endif
}

bool export_running(QObject* parent) {
    if (!parent) {
        return false;
    }
    for (const QObject* child : parent->children()) {
        const QVariant running = child->property("vetra_export_running");
        if (running.isValid() && running.toBool()) {
            return true;
        }
    }
    return false;
}

TableExporter* export_table(QWidget* parent, const storage::TableText& table,
                            ExportControls controls, const std::string& path, library::Operator& op,
                            DocumentOpener opener, const SheetLayout& layout) {
    if (export_running(parent)) {
        return nullptr;
    }
    return run_export(
        new TableExporter(table, controls, path, op, std::move(opener), layout, parent));
}

}  // namespace vetra::reports::ui
