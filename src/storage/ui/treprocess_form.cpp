#include "storage/ui/treprocess_form.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>

#include "analysis/gaz_list.h"
#include "library/clock.h"
#include "library/format_auto.h"
#include "library/number_text.h"
#include "library/operator.h"
#include "library/utf8_path.h"
#include "storage/reprocess_trail.h"

namespace vetra::storage::ui {
namespace {

constexpr const char* kTitle = " Пересчёт";
constexpr int kRowsPerStep = 8;  // rows computed between two looks at the events

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QDateTime date_time_of(std::uint32_t stamp) {
    const auto t = stamp_time(stamp);
    return {QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second)};
}

std::uint32_t stamp_of(const QDateTime& at) {
    library::LocalTime t;
    t.year = at.date().year();
    t.month = at.date().month();
    t.day = at.date().day();
    t.hour = at.time().hour();
    t.minute = at.time().minute();
    t.second = at.time().second();
    return time_stamp(t);
}

// Sorts by the value it is given rather than by its text.
class SortItem : public QTableWidgetItem {
public:
    SortItem(const QString& text, double key) : QTableWidgetItem(text) {
        setData(Qt::UserRole, key);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(Qt::UserRole).toDouble() < other.data(Qt::UserRole).toDouble();
    }
};

// With the program's decimal separator, as the table shows numbers.
QString number_text(double value) {
    return QString::number(value, 'g', 7).replace('.', QChar(library::decimal_separator()));
}

std::string calibration_points(const analysis::EtalonStorage& c) {
    std::string text = "inter_type=" + std::to_string(c.interpolation_type()) +
                       " deg_koeff=" + library::formatAuto(c.degassing());
    for (const auto& p : c.points()) {
        text += "; " + analysis::EtalonStorage::point_text(p);
    }
    return text;
}

}  // namespace

TReprocessForm::TReprocessForm(ResultsTable& table, ReprocessContext context, library::Operator& op,
                               QWidget* parent)
    : QDialog(parent), table_(table), context_(std::move(context)), operator_(op) {
    setObjectName("TReprocessForm");
    setWindowTitle(" Пересчёт анализов");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    auto* range = new QHBoxLayout();
    edFrom = new QDateTimeEdit(this);
    edTo = new QDateTimeEdit(this);
    for (QDateTimeEdit* e : {edFrom, edTo}) {
        e->setDisplayFormat("dd.MM.yyyy hh:mm:ss");
        e->setCalendarPopup(true);
    }
    range->addWidget(new QLabel("с", this));
    range->addWidget(edFrom);
    range->addWidget(new QLabel("по", this));
    range->addWidget(edTo);
    range->addStretch(1);
    form->addRow("Анализы:", range);

    auto* calibration = new QHBoxLayout();
    cbCalibration = new QComboBox(this);
    cbCalibration->addItems({"Текущая калибровка", "Калибровка из файла"});
    edCalibrationFile = new QLineEdit(this);
    edCalibrationFile->setPlaceholderText("*.cal");
    btnCalibrationFile = new QPushButton("Файл...", this);
    btnCalibrationFile->setAutoDefault(false);
    calibration->addWidget(cbCalibration);
    calibration->addWidget(edCalibrationFile, 1);
    calibration->addWidget(btnCalibrationFile);
    form->addRow("Калибровка:", calibration);

    cbWindows = new QComboBox(this);
    cbWindows->addItems({"Окна газов как при анализе", "Текущие окна газов"});
    form->addRow("Окна:", cbWindows);
    layout->addLayout(form);

    btnPreview = new QPushButton("Просмотр", this);
    btnPreview->setAutoDefault(false);
    auto* preview_row = new QHBoxLayout();
    preview_row->addWidget(btnPreview);
    lblSummary = new QLabel(this);
    preview_row->addWidget(lblSummary, 1);
    layout->addLayout(preview_row);

    grPreview = new QTableWidget(0, 6, this);
    grPreview->setHorizontalHeaderLabels(
        {"Время анализа", "Газ", "Было", "Станет", "Разница", "Состояние"});
    grPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
    grPreview->verticalHeader()->setVisible(false);
    grPreview->setWordWrap(false);
    grPreview->setColumnWidth(0, 150);
    grPreview->setColumnWidth(1, 110);
    grPreview->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grPreview, 1);

    auto* reason = new QFormLayout();
    edReason = new QLineEdit(this);
    reason->addRow("Причина:", edReason);
    layout->addLayout(reason);
    pbProgress = new QProgressBar(this);
    pbProgress->setVisible(false);
    layout->addWidget(pbProgress);

    auto* buttons = new QHBoxLayout();
    btnApply = new QPushButton("Применить", this);
    btnStop = new QPushButton("Прервать", this);
    btnUndo = new QPushButton("Отменить пересчёт", this);
    btnClose = new QPushButton("Закрыть", this);
    for (QPushButton* b : {btnApply, btnStop, btnUndo, btnClose}) {
        b->setAutoDefault(false);
    }
    btnApply->setEnabled(false);
    btnStop->setEnabled(false);
    buttons->addWidget(btnUndo);
    buttons->addStretch(1);
    buttons->addWidget(btnApply);
    buttons->addWidget(btnStop);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    resize(720, 440);

    timer_ = new QTimer(this);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, &TReprocessForm::preview_step);
    connect(btnPreview, &QPushButton::clicked, this, [this] { preview(); });
    connect(btnApply, &QPushButton::clicked, this, &TReprocessForm::apply);
    connect(btnUndo, &QPushButton::clicked, this, &TReprocessForm::undo);
    connect(btnStop, &QPushButton::clicked, this, [this] { stop_ = true; });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCalibrationFile, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, "Калибровка", q(context_.program_dir), "Калибровка (*.cal)");
        if (!file.isEmpty()) {
            edCalibrationFile->setText(file);
            cbCalibration->setCurrentIndex(1);
        }
    });
    connect(edFrom, &QDateTimeEdit::dateTimeChanged, this, &TReprocessForm::invalidate);
    connect(edTo, &QDateTimeEdit::dateTimeChanged, this, &TReprocessForm::invalidate);
    connect(cbCalibration, &QComboBox::currentIndexChanged, this, &TReprocessForm::invalidate);
    connect(cbWindows, &QComboBox::currentIndexChanged, this, &TReprocessForm::invalidate);
    connect(edCalibrationFile, &QLineEdit::textChanged, this, &TReprocessForm::invalidate);
    connect(edCalibrationFile, &QLineEdit::textEdited, this,
            [this] { cbCalibration->setCurrentIndex(1); });

    // The last day of the table, by default.
    const int rows = table_.row_count();
    const auto last = rows > 0 ? table_.row(rows - 1) : std::nullopt;
    const std::uint32_t to =
        last ? last->stamp
             : time_stamp(context_.clock != nullptr ? context_.clock->local_now()
                                                    : library::LocalTime{});
    set_range(to > 86400 ? to - 86400 : 0, to);
}

TReprocessForm::~TReprocessForm() = default;

void TReprocessForm::reject() {
    if (!working_) {
        timer_->stop();
        QDialog::reject();
    }
}

void TReprocessForm::set_range(std::uint32_t from, std::uint32_t to) {
    edFrom->setDateTime(date_time_of(from));
    edTo->setDateTime(date_time_of(to));
}

bool TReprocessForm::previewing() const {
    return timer_->isActive();
}

void TReprocessForm::tell(const std::string& text, library::MessageIcon icon) {
    operator_.show_message(text, kTitle, icon);
}

void TReprocessForm::invalidate() {
    if (working_) {
        return;
    }
    if (timer_->isActive() || ready_) {
        lblSummary->setText("Просмотр устарел: нажмите «Просмотр»");
    }
    timer_->stop();
    btnStop->setEnabled(false);
    pbProgress->setVisible(false);
    ready_ = false;
    btnApply->setEnabled(false);
}

std::string TReprocessForm::calibration_name() const {
    if (cbCalibration->currentIndex() == 0) {
        return "текущая";
    }
    return library::utf8_from_path(
        library::path_from_utf8(edCalibrationFile->text().toStdString()).filename());
}

bool TReprocessForm::preview() {
    invalidate();
    const std::uint32_t from = stamp_of(edFrom->dateTime());
    const std::uint32_t to = stamp_of(edTo->dateTime());
    if (from > to) {
        tell(
            "Начало интервала (поле «с») должно быть не позже его конца "
            "(поле «по»)",
            library::MessageIcon::warning);
        edFrom->setFocus();
        return false;
    }
    if (cbCalibration->currentIndex() == 0) {
        if (context_.calibration == nullptr) {
            tell("Нет текущей калибровки", library::MessageIcon::warning);
            return false;
        }
        chosen_ = *context_.calibration;
    } else {
        const std::string file = edCalibrationFile->text().toStdString();
        std::error_code ec;
        analysis::EtalonStorage loaded;
        if (file.empty() || !std::filesystem::is_regular_file(library::path_from_utf8(file), ec) ||
            !loaded.load(file)) {
            tell("Файл калибровки (поле «Калибровка») не читается: " + file,
                 library::MessageIcon::warning);
            edCalibrationFile->setFocus();
            return false;
        }
        chosen_ = loaded;
    }
    method_ = {};
    method_.calibration = &chosen_;
    if (context_.gases != nullptr) {
        for (int g = 0; g < context_.gases->count(); ++g) {
            method_.calibration_gases.push_back(context_.gases->gas(g).name);
            if (cbWindows->currentIndex() == 1) {
                method_.windows.push_back(context_.gases->gas(g));
            }
        }
    }
    plan_ = std::make_unique<ReprocessPlan>();
    plan_reprocess(*plan_, table_, context_.program_dir, from, to);
    recomputer_ = std::make_unique<RunRecomputer>();
    rows_.clear();
    next_ = 0;
    grPreview->setSortingEnabled(false);
    grPreview->setRowCount(0);
    pbProgress->setRange(0, std::max<int>(1, static_cast<int>(plan_->items.size())));
    pbProgress->setValue(0);
    pbProgress->setVisible(true);
    stop_ = false;
    btnStop->setEnabled(true);
    timer_->start();
    return true;
}

void TReprocessForm::preview_step() {
    for (int i = 0; i < kRowsPerStep && next_ < plan_->items.size() && !stop_; ++i, ++next_) {
        rows_.push_back(reprocess_row(plan_->items[next_], table_, method_, *recomputer_));
        add_preview_lines(rows_.back());
    }
    pbProgress->setValue(static_cast<int>(next_));
    if (stop_ || next_ == plan_->items.size()) {
        finish_preview();
    }
}

void TReprocessForm::add_preview_lines(const ReprocessedRow& row) {
    const QString when = q(trail_time_text(row.stamp));
    const auto line = [&](const QString& gas) {
        const int at = grPreview->rowCount();
        grPreview->insertRow(at);
        grPreview->setItem(at, 0, new SortItem(when, row.stamp));
        grPreview->setItem(at, 1, new QTableWidgetItem(gas));
        grPreview->setItem(at, 5, new QTableWidgetItem(q(row_state_text(row.state))));
        return at;
    };
    if (row.state != RowState::recomputed) {
        line("");
        return;
    }
    for (const CellChange& c : row.cells) {
        const int at = line(q(c.key));
        const double diff = static_cast<double>(c.new_value) - static_cast<double>(c.old_value);
        grPreview->setItem(at, 2, new SortItem(number_text(c.old_value), c.old_value));
        grPreview->setItem(at, 3, new SortItem(number_text(c.new_value), c.new_value));
        grPreview->setItem(at, 4,
                           new SortItem(c.changed() ? number_text(diff) : QString("="), diff));
    }
}

void TReprocessForm::finish_preview() {
    timer_->stop();
    btnStop->setEnabled(false);
    pbProgress->setVisible(false);
    grPreview->setSortingEnabled(true);
    int recomputed = 0;
    int without = 0;
    int changed = 0;
    for (const auto& r : rows_) {
        recomputed += r.state == RowState::recomputed ? 1 : 0;
        without += r.state == RowState::recomputed ? 0 : 1;
        changed += r.changed_cells();
    }
    const bool whole = !stop_;
    lblSummary->setText(QString("Строк: %1, пересчитано: %2, не пересчитано: %3, изменится "
                                "значений: %4%5")
                            .arg(rows_.size())
                            .arg(recomputed)
                            .arg(without)
                            .arg(changed)
                            .arg(whole ? "" : " (просмотр прерван)"));
    ready_ = whole;
    btnApply->setEnabled(whole && changed > 0);
    stop_ = false;
    Q_EMIT preview_finished();
}

void TReprocessForm::set_working(bool on) {
    working_ = on;
    for (QWidget* w : std::initializer_list<QWidget*>{
             edFrom, edTo, cbCalibration, edCalibrationFile, btnCalibrationFile, cbWindows,
             btnPreview, edReason, btnApply, btnUndo, btnClose}) {
        w->setEnabled(!on);
    }
    btnStop->setEnabled(on);
    pbProgress->setVisible(on);
}

bool TReprocessForm::reason_given() {
    if (!edReason->text().trimmed().isEmpty()) {
        return true;
    }
    tell("Укажите причину в поле «Причина»", library::MessageIcon::warning);
    edReason->setFocus();
    return false;
}

void TReprocessForm::apply() {
    if (!ready_ || !reason_given() || context_.clock == nullptr) {
        return;
    }
    TrailNote note;
    note.from = stamp_of(edFrom->dateTime());
    note.to = stamp_of(edTo->dateTime());
    note.calibration = calibration_name();
    note.calibration_text = calibration_points(chosen_);
    if (method_.windows.empty()) {
        note.windows = "как при анализе";
    } else {
        note.windows = "текущие:";
        for (const auto& w : method_.windows) {
            note.windows += " " + w.name + " " + library::formatAuto(w.start) + "-" +
                            library::formatAuto(w.end);
        }
    }
    note.reason = edReason->text().trimmed().toStdString();
    ReprocessTrail trail(table_.path().parent_path() / kTrailFileName);
    if (recover_reprocessing(table_, trail, *context_.clock) > 0 && context_.journal) {
        context_.journal("Завершён прерванный пересчёт");
    }
    set_working(true);
    stop_ = false;
    const auto progress = [this](int done, int total) {
        pbProgress->setRange(0, total);
        pbProgress->setValue(done);
        QCoreApplication::processEvents();
        return !stop_;
    };
    const ApplyOutcome out =
        apply_reprocessing(table_, trail, rows_, note, *context_.clock, progress);
    set_working(false);
    invalidate();
    if (out.ok && out.id != 0 && context_.journal) {
        context_.journal(journal_text(trail.entries().back()));
    }
    if (out.id != 0) {
        Q_EMIT table_rewritten();
    }
    tell(out.ok && out.id != 0
             ? "Пересчёт №" + std::to_string(out.id) + ": записано значений " +
                   std::to_string(out.cells) + " в строках " + std::to_string(out.rows)
             : out.message,
         out.ok ? library::MessageIcon::information : library::MessageIcon::warning);
}

void TReprocessForm::undo() {
    if (!reason_given() || context_.clock == nullptr) {
        return;
    }
    invalidate();  // a preview running would read rows being written
    ReprocessTrail trail(table_.path().parent_path() / kTrailFileName);
    if (recover_reprocessing(table_, trail, *context_.clock) > 0 && context_.journal) {
        context_.journal("Завершён прерванный пересчёт");
    }
    set_working(true);
    stop_ = false;
    const ApplyOutcome out =
        undo_reprocessing(table_, trail, 0, edReason->text().trimmed().toStdString(),
                          *context_.clock, [this](int done, int total) {
                              pbProgress->setRange(0, total);
                              pbProgress->setValue(done);
                              QCoreApplication::processEvents();
                              return !stop_;
                          });
    set_working(false);
    invalidate();
    if (out.ok && context_.journal) {
        context_.journal(journal_text(trail.entries().back()));
    }
    if (out.id != 0) {
        Q_EMIT table_rewritten();
    }
    tell(out.ok ? "Восстановлено значений: " + std::to_string(out.cells) +
                      ", пропущено: " + std::to_string(out.skipped)
                : out.message,
         out.ok ? library::MessageIcon::information : library::MessageIcon::warning);
}

}  // namespace vetra::storage::ui
