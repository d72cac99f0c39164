#include "reports/ui/las_exporter.h"

#include <QProgressBar>

#include "library/operator.h"
#include "library/utf8_path.h"

namespace vetra::reports::ui {

LasExporter::LasExporter(LasJob job, ExportControls controls, library::Operator& op,
                         QObject* parent)
    : QObject(parent), job_(std::move(job)), controls_(controls), operator_(op) {}

LasExporter::~LasExporter() {
    cancelled_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void LasExporter::start() {
    if (controls_.bar) {
        controls_.bar->setRange(0, 0);  // busy until the depths are sorted
    }
    controls_.begin(this, [this] { cancel(); });
    worker_ = std::jthread([this] {
        LasResult result = write_table_file_las(
            job_.table_file, job_.gases, job_.show_ratios, job_.well,
            library::path_from_utf8(job_.target),
            [this](int done, int total) {
                done_ = done;
                total_ = total;
                progress_.post(this, [this] { show_progress(); });
                return !cancelled_;
            },
            job_.shows ? &*job_.shows : nullptr);
        QMetaObject::invokeMethod(
            this, [this, result] { finish(result); }, Qt::QueuedConnection);
    });
}

void LasExporter::show_progress() {
    if (controls_.bar && total_ > 0) {
        controls_.bar->setRange(0, total_);
        controls_.bar->setValue(done_);
    }
}

void LasExporter::finish(LasResult result) {
    if (worker_.joinable()) {
        worker_.join();
    }
    controls_.end(this);
    if (result.ok) {
        operator_.show_message(las_done_text(result, job_.target), "Сообщение",
                               library::MessageIcon::information);
    } else if (!result.cancelled) {
        operator_.show_message(result.error, "  ОШИБКА", library::MessageIcon::error);
    }
    result_ = result;
    Q_EMIT finished(result.ok);
}

LasExporter* export_las(QObject* parent, LasJob job, ExportControls controls,
                        library::Operator& op) {
    if (export_running(parent)) {
        return nullptr;
    }
    return run_export(new LasExporter(std::move(job), controls, op, parent));
}

}  // namespace vetra::reports::ui
