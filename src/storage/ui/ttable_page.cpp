#include "storage/ui/ttable_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "library/number_range.h"
#include "library/operator.h"
#include "library/utf8_path.h"
#include "settings/ini_file.h"
#include "storage/reprocess_trail.h"
#include "storage/ui/depth_columns.h"
#include "storage/ui/grid_view.h"
#include "storage/ui/results_table_model.h"
#include "storage/ui/tdel_table_form.h"
#include "storage/ui/tdel_table_rows_form.h"

namespace vetra::storage::ui {
namespace {

constexpr const char* kEditOn = "ВКЛЮЧИТЬ режим редактирования";
constexpr const char* kEditOff = "ОТКЛЮЧИТЬ режим редактирования";

// Depth and date stay in view when the values scroll sideways.
constexpr int kFrozenColumns = 2;

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    // The style leaves a long text almost on the frame; a letter's room on each side.
    b->setMinimumWidth(b->sizeHint().width() + 2 * b->fontMetrics().averageCharWidth());
    return b;
}

}  // namespace

TTablePage::TTablePage(ResultsTableText& text, library::Operator& op, QWidget* parent)
    : QWidget(parent), text_(text), operator_(op) {
    setObjectName("TTablePage");
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout();
    SpeedButton1 = button("Реверс", "SpeedButton1", this);
    SpeedButton1->setCheckable(true);
    SpeedButton3 = button("Распечатать...", "SpeedButton3", this);
    SpeedButton3->setEnabled(false);
    btnRedactTable = button("Редакт. >>", "btnRedactTable", this);
    btnCancel = button("Отмена", "btnCancel", this);
    btnCancel->setVisible(false);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setVisible(false);
    lblEditHint = new QLabel("После изменения значения следует нажимать клавишу \"Enter\"", this);
    lblEditHint->setObjectName("lblEditHint");
    lblEditHint->setStyleSheet("color: blue");
    lblEditHint->setVisible(false);
    mbExport = button("Экспорт в Excel...", "mbExport", this);
    mbExport->setEnabled(false);
    btnRatios = button("Отношения газов", "btnRatios", this);
    btnRatios->setCheckable(true);
    btnRatios->setToolTip("Показать отношения газов Wh, Bh, Ch, C1/C2 ... C1/C5 и характер флюида");
    btnDepthColumns = button("Газопоказания", "btnDepthColumns", this);
    btnDepthColumns->setCheckable(true);
    btnDepthColumns->setToolTip(
        "Показать класс газопоказания и глубину долота в момент анализа рядом с колонками "
        "таблицы");
    btnDepthColumns->setVisible(false);
    btnLas = button("Экспорт в LAS...", "btnLas", this);
    btnLas->setEnabled(false);
    for (QWidget* w :
         std::initializer_list<QWidget*>{SpeedButton1, btnRatios, btnDepthColumns, SpeedButton3,
                                         btnRedactTable, ProgressBar1}) {
        buttons->addWidget(w);
    }
    buttons->addStretch(1);
    buttons->addWidget(btnLas);
    buttons->addWidget(mbExport);
    layout->addLayout(buttons);
    // The edit mode's own row, taking no room while hidden: switching the mode must never
    // widen the main window, as it did when these sat beside the buttons.
    auto* editing = new QHBoxLayout();
    editing->addWidget(btnCancel);
    editing->addWidget(lblEditHint, 1);
    layout->addLayout(editing);

    PopupMenu1 = new QMenu(this);
    N11 = PopupMenu1->addAction(kEditOn);
    PopupMenu1->addSeparator();
    N8 = PopupMenu1->addAction("Очистить всю таблицу...");
    N9 = PopupMenu1->addAction("Удалить выделенные строки...");
    PopupMenu1->addSeparator();
    NReprocess = PopupMenu1->addAction("Пересчёт...");
    NReprocess->setEnabled(false);
    NOriginals = PopupMenu1->addAction("Исходные значения");
    NOriginals->setCheckable(true);
    NOriginals->setToolTip("Показать в пересчитанных ячейках значения до пересчёта");

    auto* grid = new GridView(kFrozenColumns, this);
    grTextValues = grid;
    grTextValues->setObjectName("grTextValues");
    // Uniform rows that are never measured, so a million rows cost nothing to lay out. Set
    // before the model comes: on a million existing rows each of these works row by row.
    grTextValues->verticalHeader()->setVisible(false);
    grTextValues->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grTextValues->verticalHeader()->setDefaultSectionSize(GridView::row_height_for(font()));
    grTextValues->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grTextValues->horizontalHeader()->setHighlightSections(false);
    model_ = new ResultsTableModel(text_, this);
    grTextValues->setModel(model_);
    grTextValues->setItemDelegate(new GridDelegate(grTextValues));
    // However the font comes (this page, a settings dialog, the application), the columns
    // follow it at once; the rows follow inside the view.
    grid->font_changed = [this] { fit_columns(); };
    grTextValues->setSelectionBehavior(QAbstractItemView::SelectRows);
    grTextValues->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grTextValues->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grTextValues->setWordWrap(false);
    grTextValues->setCornerButtonEnabled(false);
    layout->addWidget(grTextValues, 1);

    connect(SpeedButton1, &QPushButton::toggled, this, &TTablePage::SpeedButton1Click);
    connect(btnRatios, &QPushButton::clicked, this, &TTablePage::show_ratios);
    connect(btnDepthColumns, &QPushButton::toggled, this, &TTablePage::show_depth_columns);
    connect(btnRedactTable, &QPushButton::clicked, this, [this] {
        N11->setText(model_->editing() ? kEditOff : kEditOn);
        PopupMenu1->popup(btnRedactTable->mapToGlobal(QPoint(0, btnRedactTable->height())));
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] { set_editing(false); });
    connect(N11, &QAction::triggered, this, &TTablePage::N11Click);
    connect(N8, &QAction::triggered, this, &TTablePage::N8Click);
    connect(N9, &QAction::triggered, this, &TTablePage::N9Click);
    connect(NReprocess, &QAction::triggered, this, &TTablePage::reprocess);
    connect(NOriginals, &QAction::toggled, this, &TTablePage::reload_reprocessed);
    connect(model_, &ResultsTableModel::rebuilt, this, [this] {
        fit_columns();
        select_last_row();
    });
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { kept_selection_ = selected_rows(); });
    connect(model_, &ResultsTableModel::columns_changed, this, [this] {
        fit_columns();
        restore_selection();
    });
    connect(
        model_, &ResultsTableModel::edit_refused, this, [this](int column, const QString& typed) {
            operator_.show_message(
                library::refusal_text(text_.header_text(column), typed.toStdString(),
                                      text_.cell_range(column).value_or(library::NumberRange{})),
                "  Внимание!", library::MessageIcon::warning);
        });
    apply_font(font().family(), font().pointSize());
    select_last_row();
}

TTablePage::~TTablePage() = default;

void TTablePage::apply_font(const QString& family, int point_size) {
    grTextValues->setFont(QFont(family, point_size > 0 ? point_size : font().pointSize()));
    fit_columns();
}

void TTablePage::load_settings(const settings::IniFile& file) {
    text_.load(file);
    const QSignalBlocker block(SpeedButton1);
    SpeedButton1->setChecked(text_.reverse_mode());
    model_->rebuild();
    fit_columns();
    select_last_row();
}

void TTablePage::save_settings(settings::IniFile& file) {
    text_.save(file);
}

void TTablePage::show_ratios(bool on) {
    btnRatios->setChecked(on);
    text_.set_show_ratios(on);
    model_->rebuild();
    fit_columns();
    restore_selection();
}

void TTablePage::SpeedButton1Click(bool down) {
    text_.set_reverse_mode(down);
    model_->rebuild();
    fit_columns();
    restore_selection();
}

void TTablePage::restore_selection() {
    const auto [first, last] = kept_selection_;
    if (first >= 0 && last < model_->rowCount()) {
        grTextValues->selectionModel()->select(
            QItemSelection(model_->index(first, 0), model_->index(last, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

// Widths from the header, the last row and the widest number a column holds (values are at
// most 100 %): measuring every row would cost the row count.
void TTablePage::set_depth_sources(const std::filesystem::path& row_depths,
                                   const std::vector<analysis::GasShow>* shows) {
    if (!depth_columns_) {
        depth_columns_ = std::make_unique<DepthColumns>();
    }
    depth_columns_->set_sources(row_depths, shows);
    btnDepthColumns->setVisible(true);
    if (btnDepthColumns->isChecked()) {
        model_->rebuild();
    }
}

void TTablePage::show_depth_columns(bool on) {
    if (btnDepthColumns->isChecked() != on) {
        btnDepthColumns->setChecked(on);  // comes back here through the button
        return;
    }
    model_->set_extra_columns(on && depth_columns_ ? depth_columns_.get() : nullptr);
    fit_columns();
}

void TTablePage::fit_columns() {
    const QFontMetrics cells(grTextValues->font());
    const QFontMetrics header(grTextValues->horizontalHeader()->font());
    const auto last = text_.table().row(text_.data_rows() - 1);
    for (int c = text_.column_count(); c < model_->columnCount(); ++c) {
        const QString head = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        grTextValues->setColumnWidth(c, std::max(header.horizontalAdvance(head) + 16,
                                                 cells.horizontalAdvance(" газ после СПО ")));
    }
    for (int c = 0; c < text_.column_count(); ++c) {
        const ValueColumn* v = text_.value_column(c);
        const QString widest = c == 0 ? " 00000,0 "
                               : v    ? " 100," + QString(v->decimals, '0') + " "
                                      : QString::fromStdString(stamp_text(4102444800u));
        int width =
            std::max(header.horizontalAdvance(QString::fromStdString(text_.header_text(c))) + 16,
                     cells.horizontalAdvance(widest) + 12);
        if (last) {
            width = std::max(
                width,
                cells.horizontalAdvance(QString::fromStdString(text_.data_text(*last, c))) + 12);
        }
        grTextValues->setColumnWidth(c, width);
    }
}

void TTablePage::select_last_row() {
    const int rows = model_->rowCount();
    if (rows > 0) {
        grTextValues->selectRow(rows - 1);
        grTextValues->scrollToBottom();
    }
}

std::pair<int, int> TTablePage::selected_rows() const {
    const QModelIndexList rows = grTextValues->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return {-1, -1};
    }
    int first = rows.front().row();
    int last = first;
    for (const QModelIndex& i : rows) {
        first = std::min(first, i.row());
        last = std::max(last, i.row());
    }
    return {first, last};
}

void TTablePage::set_editing(bool on) {
    grTextValues->closePersistentEditor(grTextValues->currentIndex());
    model_->set_editing(on);
    grTextValues->setEditTriggers(on ? QAbstractItemView::DoubleClicked |
                                           QAbstractItemView::EditKeyPressed |
                                           QAbstractItemView::AnyKeyPressed
                                     : QAbstractItemView::NoEditTriggers);
    lblEditHint->setVisible(on);
    btnCancel->setVisible(on);
    N11->setText(on ? kEditOff : kEditOn);
}

void TTablePage::N11Click() {
    set_editing(!model_->editing());
}

void TTablePage::N8Click() {
    TDelTableForm form(this);
    if (!form.execute()) {
        return;
    }
    set_editing(false);
    if (!text_.table().clear()) {
        operator_.show_message(
            "Не удалось очистить таблицу " + library::utf8_from_path(text_.table().path()),
            "  ОШИБКА", library::MessageIcon::error);
    }
}

void TTablePage::N9Click() {
    if (selected_rows().first < 0) {
        return;
    }
    TDelTableRowsForm form(this);
    if (form.execute()) {
        delete_selected(form.zeros_only());
    }
}

void TTablePage::delete_selected(bool zeros_only) {
    const auto [first, last] = selected_rows();
    btnCancel->setVisible(false);
    if (first < 0 || busy()) {
        return;
    }
    if (zeros_only) {
        (void)text_.table().delete_rows(first, last, true);
        return;
    }
    // Copying the rows kept takes seconds for a long table: off the window's thread. Rows
    // appended meanwhile are added when it is done.
    removal_ = text_.table().begin_removal(first, last);
    if (!removal_) {
        return;
    }
    set_busy(true);
    worker_ = std::jthread([this, removal = removal_.get()] {
        (void)removal->copy();
        QMetaObject::invokeMethod(
            this, [this] { finish_removal(); }, Qt::QueuedConnection);
    });
}

void TTablePage::finish_removal() {
    worker_.join();
    const bool ok = text_.table().finish_removal(*removal_);
    removal_.reset();
    set_busy(false);
    if (!ok) {
        operator_.show_message("Не удалось удалить строки: таблица не изменена.", "  ОШИБКА",
                               library::MessageIcon::error);
    }
}

void TTablePage::set_busy(bool on) {
    if (on) {
        set_editing(false);
    }
    ProgressBar1->setVisible(on);
    btnRedactTable->setEnabled(!on);
    grTextValues->setEnabled(!on);
}

void TTablePage::set_reprocess_context(ReprocessContext context) {
    reprocess_context_ = std::move(context);
    NReprocess->setEnabled(true);
    reload_reprocessed();
}

void TTablePage::reprocess() {
    if (!reprocess_context_ || busy()) {
        return;
    }
    ResultsTable& table = text_.table();
    TReprocessForm form(table, *reprocess_context_, operator_, this);
    if (const auto [first, last] = selected_rows(); first >= 0) {
        const auto a = table.row(first);
        const auto b = table.row(last);
        if (a && b) {
            form.set_range(std::min(a->stamp, b->stamp), std::max(a->stamp, b->stamp));
        }
    }
    connect(&form, &TReprocessForm::table_rewritten, this, &TTablePage::reload_reprocessed);
    form.exec();
}

void TTablePage::reload_reprocessed() {
    ResultsTableModel::Originals originals;
    ReprocessTrail trail(text_.table().path().parent_path() / kTrailFileName);
    if (trail.load()) {
        for (const TrailEntry& e : trail.entries()) {
            if (e.undo || !e.done() || trail.undone(e.id)) {
                continue;
            }
            for (const TrailCell& c : e.cells) {
                originals[c.stamp].emplace(c.column, c.old_value);  // the earliest stays
            }
        }
    }
    model_->set_reprocessed(std::move(originals), NOriginals->isChecked());
}

}  // namespace vetra::storage::ui
