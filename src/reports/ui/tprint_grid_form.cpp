#include "reports/ui/tprint_grid_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "library/number_text.h"
#include "library/operator.h"
#include "library/ui/qt_text.h"
#include "reports/ui/help_window.h"
#include "reports/ui/print_target.h"
#include "reports/ui/tpreview_form.h"
#include "settings/ini_file.h"

namespace vetra::reports::ui {
namespace {

const QStringList kCellWidths = {"1,5", "1,6", "1,7", "1,8", "1,9", "2", "2,5", "3",
                                 "3,5", "4",   "4,5", "5",   "5,5", "6", "6,5"};
const QStringList kFontSizes = {"7", "8", "9", "10", "11", "12", "14", "16", "20", "24", "36"};
constexpr int kPrinted = 1;
constexpr int kCancelled = 2;

std::string s(const QString& text) {
    return text.toStdString();
}

QComboBox* combo(const QStringList& items, const QString& initial, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->addItems(items);
    box->setCurrentText(initial);
    return box;
}

bool printer_ready(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        return !printer.outputFileName().isEmpty();
    }
    return printer.isValid() && !QPrinterInfo::availablePrinterNames().isEmpty();
}

}  // namespace

TPrintGridForm::TPrintGridForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TPrintGridForm");
    setWindowTitle("  Распечатка таблицы");

    title_ = new QLineEdit(kDefaultTitle, this);
    title_->setObjectName("Edit1");
    head_ = new QPlainTextEdit(this);
    head_->setObjectName("Memo1");
    head_->setFixedHeight(90);
    auto* scope = new QGroupBox(this);
    whole_ = new QRadioButton("Печать всей таблицы целиком", scope);
    whole_->setObjectName("RadioButton1");
    selected_ = new QRadioButton("Печать только выделенного фрагмента", scope);
    selected_->setObjectName("RadioButton2");
    whole_->setChecked(true);
    auto* scope_layout = new QVBoxLayout(scope);
    scope_layout->addWidget(whole_);
    scope_layout->addWidget(selected_);
    landscape_ = new QCheckBox("Повернуть на 90 градусов", this);
    landscape_->setObjectName("CheckBox1");
    cell_width_ = combo(kCellWidths, "2", this);
    cell_width_->setObjectName("ComboBox1");
    font_size_ = combo(kFontSizes, "10", this);
    font_size_->setObjectName("ComboBox2");

    auto* print = new QPushButton("Печать", this);
    print->setObjectName("btnPrint");
    print->setDefault(true);
    auto* preview = new QPushButton("Просмотр...", this);
    preview->setObjectName("btnPreview");
    auto* cancel = new QPushButton("Отмена", this);
    auto* help = new QPushButton("Справка", this);
    connect(print, &QPushButton::clicked, this, &TPrintGridForm::PrintClick);
    connect(cancel, &QPushButton::clicked, this, [this] { done(kCancelled); });
    connect(preview, &QPushButton::clicked, this, &TPrintGridForm::PreviewClick);
    connect(help, &QPushButton::clicked, this, [this] { show_help_topic(this, "print_table"); });

    auto* form = new QFormLayout;
    form->addRow("Заголовок таблицы:", title_);
    form->addRow("Шапка таблицы:", head_);
    form->addRow(scope);
    form->addRow(landscape_);
    form->addRow("Ширина ячейки не более (см):", cell_width_);
    form->addRow("Размер шрифта для печати:", font_size_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(print);
    buttons->addWidget(preview);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(520, sizeHint().height());
    library::ui::keep_single_line_fields(this);
}

TPrintGridForm::~TPrintGridForm() = default;

void TPrintGridForm::set_landscape(bool on) {
    landscape_->setChecked(on);
}

void TPrintGridForm::load_settings() {
    settings::IniFile file;
    if (ini_path_.empty() || !file.open(ini_path_)) {
        return;
    }
    title_->setText(
        QString::fromStdString(file.read_string(kPrintSection, "заголовок", s(title_->text()))));
    const bool whole = file.read_bool(kPrintSection, "вся_таблица", whole_->isChecked());
    (whole ? whole_ : selected_)->setChecked(true);
    cell_width_->setCurrentText(QString::fromStdString(
        file.read_string(kPrintSection, "ширина_ячейки", s(cell_width_->currentText()))));
}

void TPrintGridForm::save_settings() const {
    settings::IniFile file;
    // An unreadable settings file is not replaced by one holding only this section.
    if (ini_path_.empty() || !file.open(ini_path_)) {
        return;
    }
    file.write_string(kPrintSection, "заголовок", s(title_->text()));
    file.write_bool(kPrintSection, "вся_таблица", whole_->isChecked());
    file.write_string(kPrintSection, "ширина_ячейки", s(cell_width_->currentText()));
    (void)file.save();
}

void TPrintGridForm::prepare(const storage::TableText& table, TableSelection selection) {
    table_ = &table;
    fragment_ = std::make_unique<FragmentTable>(table, selection);
    load_settings();
    // One selected cell is only the cursor: the operator means the whole table.
    (selection.single_cell() ? whole_ : selected_)->setChecked(true);
}

bool TPrintGridForm::execute(const storage::TableText& table, TableSelection selection) {
    prepare(table, selection);
    return exec() == kPrinted;
}

// The dialog stays open until the table is printed, so a printer that fails or a printer
// choice that is cancelled loses neither the typed heading nor the choices.
void TPrintGridForm::PrintClick() {
    if (!printer_) {
        own_printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        own_printer_->setPageLayout(page_layout());
        // A PDF file is offered too, so no printer is needed.
        if (!choose_print_target(*own_printer_, this, kPrintCaption)) {
            own_printer_.reset();
            return;
        }
        printer_ = own_printer_.get();
    }
    const bool printed = print_and_save();
    if (own_printer_) {
        printer_ = nullptr;
        own_printer_.reset();
    }
    if (printed) {
        done(kPrinted);
    }
}

PrintOptions TPrintGridForm::options() const {
    PrintOptions o;
    o.title = title_->text();
    const QString head = head_->toPlainText();
    if (!head.isEmpty()) {
        o.head = head.split('\n');
    }
    const auto width = library::parse_number(s(cell_width_->currentText()));
    o.max_cell_cm = width && *width > 0 ? *width : 2.0;
    bool ok = false;
    const int size = font_size_->currentText().trimmed().toInt(&ok);
    o.font_size = ok && size > 0 ? size : 10;
    o.alignment = alignment_;
    return o;
}

bool TPrintGridForm::whole_table() const {
    return whole_->isChecked();
}

const storage::TableText& TPrintGridForm::chosen_table() const {
    return whole_table() ? *table_ : static_cast<const storage::TableText&>(*fragment_);
}

QPageLayout TPrintGridForm::page_layout() const {
    // No printer is set up for a preview: looking for printers is slow where there are none.
    QPageLayout layout = printer_ ? printer_->pageLayout()
                                  : QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                                QMarginsF(10, 10, 10, 10));
    layout.setOrientation(landscape_->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    return layout;
}

void TPrintGridForm::PreviewClick() {
    if (!table_) {
        return;
    }
    TPreviewForm preview(chosen_table(), options(), page_layout(), this);
    if (preview.exec() == 1) {
        PrintClick();
    }
}

bool TPrintGridForm::print_and_save() {
    bool printed = false;
    if (!printer_ || !printer_ready(*printer_)) {
        if (operator_) {
            operator_->show_message(kNoPrinterText, "  ОШИБКА", library::MessageIcon::stop);
        }
    } else {
        // A long table takes many pages: the window stays alive and the operator can stop.
        QProgressDialog progress("Печать таблицы...", "Прервать", 0, 0, parentWidget());
        progress.setWindowTitle(kPrintCaption);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        QPrinter& p = *printer_;
        p.setPageOrientation(landscape_->isChecked() ? QPageLayout::Landscape
                                                     : QPageLayout::Portrait);
        printed = print_document(chosen_table(), options(), p, [&](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
        if (!printed && operator_) {
            operator_->show_message(kPrintFailedText, kPrintCaption, library::MessageIcon::warning);
        }
    }
    save_settings();
    return printed;
}

PrintOptions stored_print_options(const std::string& ini_path) {
    TPrintGridForm form;
    form.set_ini_file(ini_path);
    form.load_settings();
    return form.options();
}

bool print_table(QWidget* parent, const storage::TableText& table, TableSelection selection,
                 const std::string& ini_path, library::Operator& op, QPrinter* printer) {
    TPrintGridForm form(parent);
    form.set_ini_file(ini_path);
    form.set_landscape(true);
    form.set_alignment(1);
    form.set_printer(printer);
    form.set_operator(&op);
    return form.execute(table, selection);
}

}  // namespace vetra::reports::ui
