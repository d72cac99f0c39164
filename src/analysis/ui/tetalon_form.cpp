#include "analysis/ui/tetalon_form.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/ui/tedit_etal_form.h"
#include "analysis/ui/tetal_start_form.h"
#include "analysis/ui/tetal_vis_form.h"
#include "control/vetra_system.h"
#include "library/format_auto.h"
#include "library/operator.h"
#include "library/ui/screen_fit.h"
#include "settings/global_settings.h"

namespace vetra::analysis::ui {
namespace {

constexpr int kSettleMs = 4000;
constexpr int kEndPollMs = 10;
constexpr const char* kCaption = "  Калибровка хроматографа";
const QString kProgramTitle = QStringLiteral("Программа калибровки");

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QColor gas_colour(std::int32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QTableWidgetItem* cell(const QString& text, bool editable = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                            : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QTableWidget* grid(QWidget* parent, const char* name) {
    auto* g = new QTableWidget(parent);
    g->setObjectName(name);
    g->verticalHeader()->hide();
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Never less than the header and two rows above a horizontal scroll bar, so a small
    // screen shrinks the grid to something still usable, and the rest scrolls.
    const int row = g->verticalHeader()->defaultSectionSize();
    g->setMinimumHeight(3 * row + g->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, g) +
                        2 * g->frameWidth());
    return g;
}

}  // namespace

TEtalonForm::TEtalonForm(control::VetraSystem& system, settings::GlobalSettings& settings,
                         library::Operator& op, EtalonHooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window),
      system_(system),
      settings_(settings),
      operator_(op),
      hooks_(std::move(hooks)),
      settings_path_(settings.settings_path),
      settle_timer_(new QTimer(this)),
      end_poll_(new QTimer(this)),
      progress_timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("TEtalonForm"));
    setWindowTitle(q(kCaption));
    auto* layout = new QVBoxLayout(this);
    // The operator shares the height between the program and the result; neither closes.
    auto* panels = new QSplitter(Qt::Vertical, this);
    panels->setObjectName(QStringLiteral("panels"));
    panels->setChildrenCollapsible(false);
    panels->addWidget(build_program_panel());
    result_panel_ = build_result_panel();
    panels->addWidget(result_panel_);
    panels->setStretchFactor(0, 1);
    panels->setStretchFactor(1, 1);
    layout->addWidget(panels, 1);
    bottom_panel_ = build_bottom_panel();
    layout->addWidget(bottom_panel_);
    // Centred on the main window; opened again, where the operator last left it.
    setGeometry(library::ui::opening_place(this, {820, 600}));

    settle_timer_->setSingleShot(true);
    settle_timer_->setInterval(kSettleMs);
    connect(settle_timer_, &QTimer::timeout, this, &TEtalonForm::on_settled);
    // The cycle-finished notification ends the wait; the poll covers a cycle that ended
    // without one (the line fell silent).
    end_poll_->setInterval(kEndPollMs);
    connect(end_poll_, &QTimer::timeout, this, [this] {
        if (system_.state() == 1) {
            on_cycle_end();
        }
    });
    cycle_connection_ = system_.cycle_finished.connect([this](int) {
        if (phase_ == Phase::until_end || phase_ == Phase::awaiting_idle) {
            on_cycle_end();
        }
    });
    progress_timer_->setInterval(400);
    connect(progress_timer_, &QTimer::timeout, this, &TEtalonForm::update_progress);
}

TEtalonForm::~TEtalonForm() = default;

QWidget* TEtalonForm::build_program_panel() {
    auto* panel = new QWidget(this);
    program_title_ = new QLabel(kProgramTitle, panel);
    program_title_->setAlignment(Qt::AlignCenter);
    QFont bold = program_title_->font();
    bold.setBold(true);
    program_title_->setFont(bold);
    grid1_ = grid(panel, "Grid1");
    grid1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(grid1_, &QTableWidget::itemSelectionChanged, this, &TEtalonForm::Grid1Click);
    connect(grid1_, &QTableWidget::cellDoubleClicked, this, [this] { EditRecord(); });

    add_button_ = new QPushButton(QStringLiteral("Добавить..."), panel);
    edit_button_ = new QPushButton(QStringLiteral("Редактировать..."), panel);
    delete_button_ = new QPushButton(QStringLiteral("Удалить"), panel);
    run_button_ = new QPushButton(QStringLiteral("Запуск концентрации"), panel);
    run_button_->setObjectName(QStringLiteral("MyButton4"));
    run_button_->setMinimumWidth(run_button_->fontMetrics().horizontalAdvance(
                                     QStringLiteral("Запуск с конц-ей '1000 / 2000'")) +
                                 24);
    run_bar_ = build_run_bar(panel);
    connect(add_button_, &QPushButton::clicked, this, &TEtalonForm::AddRecord);
    connect(edit_button_, &QPushButton::clicked, this, &TEtalonForm::EditRecord);
    connect(delete_button_, &QPushButton::clicked, this, &TEtalonForm::DeleteRecord);
    connect(run_button_, &QPushButton::clicked, this, &TEtalonForm::Button8Click);
    connect(cancel_button_, &QPushButton::clicked, this, &TEtalonForm::SpeedButton1Click);

    popup_ = new QMenu(this);
    popup_->addAction(QStringLiteral("Добавить..."), this, &TEtalonForm::AddRecord);
    popup_->addAction(QStringLiteral("Редактировать..."), this, &TEtalonForm::EditRecord);
    popup_->addAction(QStringLiteral("Удалить"), this, &TEtalonForm::DeleteRecord);
    grid1_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid1_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (grid1_->isEnabled()) {
            popup_->popup(grid1_->viewport()->mapToGlobal(at));
        }
    });

    message_ = new QLabel(panel);
    message_->setObjectName(QStringLiteral("message"));
    message_->setStyleSheet(QStringLiteral("color: #a00000"));
    message_->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {add_button_, edit_button_, delete_button_}) {
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    buttons->addWidget(run_button_);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(program_title_);
    layout->addWidget(run_bar_);
    layout->addWidget(grid1_, 1);
    layout->addLayout(buttons);
    layout->addWidget(message_);
    return panel;
}

// In the window itself, so neither the main window's tool bar nor the chromatogram is covered.
QWidget* TEtalonForm::build_run_bar(QWidget* parent) {
    auto* bar = new QFrame(parent);
    bar->setObjectName(QStringLiteral("run_bar"));
    bar->setFrameShape(QFrame::StyledPanel);
    run_title_ = new QLabel(bar);
    QFont bold = run_title_->font();
    bold.setBold(true);
    run_title_->setFont(bold);
    run_progress_ = new QProgressBar(bar);
    run_progress_->setFormat(QStringLiteral("%v из %m с"));
    cancel_button_ = new QPushButton(QStringLiteral("Отмена"), bar);
    cancel_button_->setObjectName(QStringLiteral("SpeedButton1"));
    connect(cancel_button_, &QPushButton::clicked, this, &TEtalonForm::SpeedButton1Click);
    auto* layout = new QHBoxLayout(bar);
    layout->addWidget(run_title_, 1);
    layout->addWidget(run_progress_, 1);
    layout->addWidget(cancel_button_);
    bar->hide();
    return bar;
}

QWidget* TEtalonForm::build_result_panel() {
    auto* panel = new QWidget(this);
    auto* title = new QLabel(QStringLiteral("Результат калибровки"), panel);
    title->setAlignment(Qt::AlignCenter);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    grid2_ = grid(panel, "Grid2");
    grid2_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);

    edit1_ = new QLineEdit(panel);
    edit1_->setObjectName(QStringLiteral("Edit1"));
    edit1_->setMaximumWidth(100);
    connect(edit1_, &QLineEdit::textChanged, this, &TEtalonForm::Edit1Change);
    view_button_ = new QPushButton(QStringLiteral("Просмотр..."), panel);
    auto* save = new QPushButton(QStringLiteral("Сохранить..."), panel);
    auto* load = new QPushButton(QStringLiteral("Загрузить..."), panel);
    connect(view_button_, &QPushButton::clicked, this, &TEtalonForm::Button5Click);
    connect(save, &QPushButton::clicked, this, &TEtalonForm::MyButton9Click);
    connect(load, &QPushButton::clicked, this, &TEtalonForm::MyButton10Click);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Коэффициент дегазации:"), panel));
    row->addWidget(edit1_);
    row->addStretch(1);
    row->addWidget(view_button_);
    row->addWidget(save);
    row->addWidget(load);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addWidget(grid2_, 1);
    layout->addLayout(row);
    return panel;
}

QWidget* TEtalonForm::build_bottom_panel() {
    auto* panel = new QWidget(this);
    ok_button_ = new QPushButton(QStringLiteral("OK"), panel);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), panel);
    auto* help = new QPushButton(QStringLiteral("Справка"), panel);
    help->setEnabled(static_cast<bool>(hooks_.help));
    connect(ok_button_, &QPushButton::clicked, this, &TEtalonForm::Button1Click);
    connect(cancel, &QPushButton::clicked, this, &TEtalonForm::Button2Click);
    connect(help, &QPushButton::clicked, this, [this] {
        if (hooks_.help) {
            hooks_.help();
        }
    });
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    layout->addWidget(ok_button_);
    layout->addWidget(cancel);
    layout->addWidget(help);
    return panel;
}

// --- opening and the grids ------------------------------------------------------------------

void TEtalonForm::open_window() {
    // Reloading now would drop the operator's edits, or pull the points from under a run.
    if (running_ || isVisible()) {
        if (isMinimized()) {
            showNormal();
        }
        raise();
        activateWindow();
        return;
    }
    system_.calibration().copyPointsTo(points_);
    degassing_ = system_.calibration().degassing();
    {
        // Shown rounded, kept exact: only the operator's own edit changes the value.
        const QSignalBlocker block(edit1_);
        edit1_->setText(q(library::formatAuto(degassing_, 3)));
    }
    view_button_->setEnabled(!settings_.calc_result_from_pick);
    discard_on_close_ = true;
    saved_bounds_ = geometry();
    fill_program_grid();
    fill_result_grid();
    program_title_->setText(kProgramTitle);
    message_->clear();
    show();
    raise();
    activateWindow();
}

void TEtalonForm::fill_program_grid() {
    const GazList& gases = system_.gases();
    QStringList header{QStringLiteral(" № "), QStringLiteral(" Разбавление "),
                       QStringLiteral(" Кол-во повт. ")};
    for (int g = 0; g < gases.count(); ++g) {
        header << " " + q(gases.gas(g).name) + " ";
    }
    const QSignalBlocker block(grid1_);
    grid1_->clear();
    grid1_->setColumnCount(static_cast<int>(header.size()));
    grid1_->setHorizontalHeaderLabels(header);
    grid1_->setRowCount(static_cast<int>(points_.size()));
    for (int r = 0; r < static_cast<int>(points_.size()); ++r) {
        const EtalonPoint& p = points_[static_cast<std::size_t>(r)];
        grid1_->setItem(r, 0, cell(QString::number(r + 1)));
        grid1_->setItem(r, 1, cell(q(dilution_caption(p.dilution))));
        grid1_->setItem(r, 2, cell(QString::number(p.repeats)));
        for (int g = 0; g < gases.count(); ++g) {
            const double c = static_cast<std::size_t>(g) < p.pairs.size()
                                 ? p.pairs[static_cast<std::size_t>(g)].first
                                 : 0.0;
            grid1_->setItem(r, 3 + g, cell(q(library::fixed_to_text(c, 6))));
        }
    }
}

void TEtalonForm::fill_result_grid() {
    const GazList& gases = system_.gases();
    const bool pick = settings_.calc_result_from_pick;
    QStringList header{QStringLiteral(" № ")};
    for (int g = 0; g < gases.count(); ++g) {
        header << "конц. " + q(gases.gas(g).code)
               << (pick ? "напр. " : "коэфф. ") + q(gases.gas(g).code);
    }
    grid2_->clear();
    grid2_->setColumnCount(static_cast<int>(header.size()));
    grid2_->setHorizontalHeaderLabels(header);
    grid2_->setRowCount(static_cast<int>(points_.size()));
    for (int r = 0; r < static_cast<int>(points_.size()); ++r) {
        grid2_->setItem(r, 0, cell(" " + QString::number(r + 1)));
        const auto row =
            result_row(points_[static_cast<std::size_t>(r)], gases.count(), degassing_);
        for (int c = 1; c <= static_cast<int>(row.size()); ++c) {
            auto* item = cell(q(row[static_cast<std::size_t>(c - 1)]), true);
            item->setTextAlignment(Qt::AlignCenter);
            item->setForeground(gas_colour(gases.gas((c - 1) / 2).colour));
            grid2_->setItem(r, c, item);
        }
    }
}

// Hand edits of the result grid take effect at the commit.
void TEtalonForm::read_result_grid() {
    for (int r = 0; r < grid2_->rowCount() && r < static_cast<int>(points_.size()); ++r) {
        std::vector<std::string> cells;
        for (int c = 1; c < grid2_->columnCount(); ++c) {
            const QTableWidgetItem* item = grid2_->item(r, c);
            cells.push_back(item ? item->text().toStdString() : std::string());
        }
        read_result_row(points_[static_cast<std::size_t>(r)], cells, degassing_);
    }
}

int TEtalonForm::selected_row() const {
    const auto rows = grid1_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TEtalonForm::select_row(int row) {
    if (row >= 0 && row < grid1_->rowCount()) {
        grid1_->selectRow(row);
    }
    Grid1Click();
}

// --- the program ----------------------------------------------------------------------------

namespace {

// Where a point landed after sorting.
int row_of(const std::vector<EtalonPoint>& points, const EtalonPoint& point) {
    const auto at = std::find(points.begin(), points.end(), point);
    return at == points.end() ? -1 : static_cast<int>(at - points.begin());
}

}  // namespace

void TEtalonForm::add_point(const EtalonPoint& point) {
    points_.push_back(point);
    sort_points(points_);
    fill_program_grid();
    fill_result_grid();
    select_row(row_of(points_, point));
}

void TEtalonForm::replace_point(int row, const EtalonPoint& point) {
    if (row < 0 || row >= static_cast<int>(points_.size())) {
        return;
    }
    points_[static_cast<std::size_t>(row)] = point;
    sort_points(points_);
    fill_program_grid();
    fill_result_grid();
    select_row(row_of(points_, point));
}

void TEtalonForm::AddRecord() {
    TEditEtalForm editor(system_.gases(), settings_path_, nullptr, hooks_.help, this);
    if (editor.exec() == QDialog::Accepted) {
        add_point(editor.point());
    }
}

void TEtalonForm::EditRecord() {
    const int row = selected_row();
    if (row < 0 || running_) {
        return;
    }
    TEditEtalForm editor(system_.gases(), settings_path_, &points_[static_cast<std::size_t>(row)],
                         hooks_.help, this);
    if (editor.exec() == QDialog::Accepted) {
        replace_point(row, editor.point());
    }
}

void TEtalonForm::DeleteRecord() {
    const int row = selected_row();
    if (row < 0 || running_) {
        return;
    }
    points_.erase(points_.begin() + row);
    fill_program_grid();
    fill_result_grid();
}

void TEtalonForm::Grid1Click() {
    const int row = selected_row();
    if (row >= 0) {
        const std::string& dilution = points_[static_cast<std::size_t>(row)].dilution;
        run_button_->setText(dilution.empty() ? "Запуск " + q(kUndiluted)
                                              : "Запуск с конц-ей '" + q(dilution) + "'");
    }
}

void TEtalonForm::Edit1Change() {
    // Only a coefficient OK would take recomputes the grid; a slip leaves it as it was.
    const auto value = parse_degassing(edit1_->text().toStdString());
    if (!value) {
        return;
    }
    degassing_ = *value;
    fill_result_grid();
}

// --- running a point ------------------------------------------------------------------------

void TEtalonForm::set_running_view(bool running) {
    running_ = running;
    for (QWidget* w : {static_cast<QWidget*>(add_button_), static_cast<QWidget*>(edit_button_),
                       static_cast<QWidget*>(delete_button_), static_cast<QWidget*>(run_button_),
                       static_cast<QWidget*>(view_button_), static_cast<QWidget*>(ok_button_),
                       static_cast<QWidget*>(grid1_), static_cast<QWidget*>(grid2_)}) {
        w->setEnabled(!running);
    }
    if (!running) {
        view_button_->setEnabled(!settings_.calc_result_from_pick);
    }
    if (running) {
        saved_bounds_ = geometry();
    }
    bottom_panel_->setVisible(!running);
    result_panel_->setVisible(!running);
    program_title_->setVisible(!running);
    run_bar_->setVisible(running);
    if (running) {
        // Smaller where it stands, so more of the chromatogram stays in sight.
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        const int third = s ? s->availableGeometry().height() / 3 : 256;
        resize(width(), std::min(height(), std::max(third, minimumSizeHint().height())));
        update_progress();
        progress_timer_->start();
    } else {
        progress_timer_->stop();
        setGeometry(saved_bounds_);
        program_title_->setText(kProgramTitle);
    }
}

void TEtalonForm::update_progress() {
    const bool cycle = phase_ == Phase::settling || phase_ == Phase::until_end;
    const int length = settings_.cycle_length();
    run_progress_->setVisible(cycle);
    // An unknown length shows a busy bar.
    run_progress_->setRange(0, length > 0 ? length : 0);
    if (length > 0) {
        run_progress_->setValue(
            std::clamp(system_.state() == 0 ? system_.link().elapsed_seconds() : 0, 0, length));
    }
}

void TEtalonForm::Button8Click() {
    const int row = selected_row();
    if (row < 0 || running_) {
        return;
    }
    message_->clear();
    run_row_ = row;
    phase_ = Phase::prompt;
    set_running_view(true);
    const EtalonPoint& point = points_[static_cast<std::size_t>(row)];
    if (point.repeats <= 0) {
        end_run({});
        return;
    }
    program_title_->setText({});
    run_title_->setText(QStringLiteral("Подача газа: ") + q(dilution_caption(point.dilution)));
    start_form_ = new TEtalStartForm(q(point.dilution), this);
    start_form_->setAttribute(Qt::WA_DeleteOnClose);
    start_form_->setWindowModality(Qt::WindowModal);
    connect(start_form_, &QDialog::finished, this, &TEtalonForm::on_prompt_finished);
    start_form_->open();
}

void TEtalonForm::on_prompt_finished(int result) {
    if (phase_ != Phase::prompt) {
        return;
    }
    if (result != QDialog::Accepted) {
        end_run({});
        return;
    }
    cancel_requested_ = false;
    capture_.emplace(system_.gases().count());
    attempt_ = 1;
    start_attempt();
}

void TEtalonForm::start_attempt() {
    if (!running_) {
        return;  // cancelled while this start was on its way
    }
    const EtalonPoint& point = points_[static_cast<std::size_t>(run_row_)];
    // The areas must come from an analysis started after the gas was fed: one already
    // under way (manual start, work mode) runs to its end first.
    if (system_.state() == 0) {
        phase_ = Phase::awaiting_idle;
        run_title_->setText(QStringLiteral("Ожидание окончания анализа, начатого до подачи газа"));
        update_progress();
        end_poll_->start();
        return;
    }
    run_title_->setText(q(attempt_caption(point.dilution, attempt_, point.repeats)));
    try {
        system_.start_analysis();
    } catch (const control::VetraError& e) {
        end_run(q(e.what()));
        return;
    }
    phase_ = Phase::settling;
    update_progress();
    settle_timer_->start();
}

void TEtalonForm::on_settled() {
    if (phase_ != Phase::settling) {
        return;
    }
    if (system_.state() == 1) {
        end_run(
            QStringLiteral("Анализ закончился раньше четырёх секунд: площади точки не изменены"));
        return;
    }
    phase_ = Phase::until_end;
    end_poll_->start();
}

void TEtalonForm::on_cycle_end() {
    end_poll_->stop();
    if (phase_ == Phase::awaiting_idle) {
        phase_ = Phase::settling;  // no second start while this one is on its way
        QTimer::singleShot(0, this, &TEtalonForm::start_attempt);
        return;
    }
    if (phase_ != Phase::until_end) {
        return;
    }
    if (!capture_->add_attempt(system_.calculation().results())) {
        end_run(
            QStringLiteral("Анализ завершился до расчёта всех газов: площади точки не изменены"));
        return;
    }
    const int repeats = points_[static_cast<std::size_t>(run_row_)].repeats;
    if (attempt_ < repeats) {
        ++attempt_;
        phase_ = Phase::settling;  // no double end while the next start waits
        settle_timer_->stop();
        // Not from inside the controller's own notification.
        QTimer::singleShot(0, this, &TEtalonForm::start_attempt);
        return;
    }
    capture_->apply(points_[static_cast<std::size_t>(run_row_)]);
    fill_result_grid();
    end_run({});
}

void TEtalonForm::SpeedButton1Click() {
    cancel_requested_ = true;
    if (phase_ == Phase::settling || phase_ == Phase::until_end || phase_ == Phase::awaiting_idle) {
        end_run({});
    }
}

void TEtalonForm::end_run(const QString& why) {
    phase_ = Phase::idle;
    settle_timer_->stop();
    end_poll_->stop();
    capture_.reset();
    set_running_view(false);
    message_->setText(why);
    select_row(run_row_);
}

// --- view, files, closing -------------------------------------------------------------------

library::ui::NumberFields TEtalonForm::number_fields() const {
    library::ui::NumberFields fields;
    fields.add_line(edit1_, "Коэффициент дегазации", kDegassingRange);
    for (int r = 0; r < grid2_->rowCount(); ++r) {
        for (int c = 1; c < grid2_->columnCount(); ++c) {
            const QTableWidgetItem* header = grid2_->horizontalHeaderItem(c);
            const QString name = (header ? header->text().trimmed() : QString()) + ", точка " +
                                 QString::number(r + 1);
            // Odd columns hold a concentration, the others its coefficient.
            fields.add_cell(
                grid2_, r, c, name,
                c % 2 == 1 ? library::NumberRange{0, 100, 6} : library::NumberRange{0, 1e9, 6});
        }
    }
    return fields;
}

void TEtalonForm::Button5Click() {
    TEtalVisForm view(system_.gases(), points_, degassing_, settings_path_, this);
    if (view.exec() == QDialog::Accepted) {
        points_ = view.points();
        fill_result_grid();
    }
}

void TEtalonForm::MyButton9Click() {
    if (const QString refusal = number_fields().first_refusal(); !refusal.isEmpty()) {
        operator_.show_message(refusal.toStdString(), "Ошибка ввода параметра",
                               library::MessageIcon::warning);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, {}, q(system_.base_directory()),
                                                      QStringLiteral("Файлы калибровок (*.cal)"));
    if (path.isEmpty()) {
        return;
    }
    save_to(path.endsWith(".cal", Qt::CaseInsensitive) ? path.toStdString()
                                                       : path.toStdString() + ".cal");
}

void TEtalonForm::MyButton10Click() {
    const QString path = QFileDialog::getOpenFileName(this, {}, q(system_.base_directory()),
                                                      QStringLiteral("Файлы калибровок (*.cal)"));
    if (!path.isEmpty()) {
        load_from(path.toStdString());
    }
}

void TEtalonForm::save_to(const std::string& path) {
    EtalonStorage& store = system_.calibration();
    store.copyPointsFrom(points_);
    store.setDegassing(degassing_);
    (void)settings_.save();
    if (!store.save(path)) {
        operator_.show_message("Не удалось записать файл " + path, "  ОШИБКА",
                               library::MessageIcon::error);
        return;
    }
    if (hooks_.journal) {
        hooks_.journal("Результат калибровки сохранен в файл");
    }
}

void TEtalonForm::load_from(const std::string& path) {
    if (!system_.calibration().load(path)) {
        operator_.show_message("Не удалось прочитать файл " + path, "  ОШИБКА",
                               library::MessageIcon::error);
        return;
    }
    if (hooks_.journal) {
        hooks_.journal("Результат калибровки загружен из файла");
    }
    hide();
    open_window();
}

void TEtalonForm::Button1Click() {
    discard_on_close_ = false;
    close();
}

void TEtalonForm::Button2Click() {
    discard_on_close_ = true;
    close();
}

void TEtalonForm::commit() {
    EtalonStorage& store = system_.calibration();
    store.copyPointsFrom(points_);
    store.setDegassing(degassing_);
    (void)settings_.save();
    // Written now, not only at the program's close, so a crash cannot lose a calibration.
    if (!system_.calibration_path().empty() && !store.save(system_.calibration_path())) {
        operator_.show_message("Не удалось записать файл " + system_.calibration_path(), "  ОШИБКА",
                               library::MessageIcon::error);
    }
    if (hooks_.journal) {
        hooks_.journal("Произведена калибровка хроматографа");
    }
}

void TEtalonForm::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();
        return;
    }
    if (!discard_on_close_) {
        // A slip in the coefficient or the grid keeps the window open with every entry.
        if (const QString refusal = number_fields().first_refusal(); !refusal.isEmpty()) {
            operator_.show_message(refusal.toStdString(), "Ошибка ввода параметра",
                                   library::MessageIcon::warning);
            discard_on_close_ = true;
            event->ignore();
            return;
        }
        read_result_grid();
        if (operator_.ask_yes_no("Сохранить результат калибровки?", kCaption)) {
            commit();
        }
    }
    discard_on_close_ = true;
    event->accept();
}

}  // namespace vetra::analysis::ui
