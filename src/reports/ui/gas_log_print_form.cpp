#include "reports/ui/gas_log_print_form.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "library/operator.h"
#include "reports/ui/svg_picture.h"
#include "reports/ui/tpreview_form.h"
#include "reports/ui/tprint_grid_form.h"
#include "settings/ini_file.h"

namespace vetra::reports::ui {
namespace {

constexpr const char* kSection = "каротаж";
constexpr int kPreviewResolution = 300;  // the preview lays pages out as a 300 dpi printer
constexpr int kPageGap = 12;

std::string s(const QString& text) {
    return text.toStdString();
}

QDoubleSpinBox* depth_box(QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0, 20000);
    box->setDecimals(1);
    box->setSuffix(" м");
    return box;
}

}  // namespace

GasLogPreviewPages::GasLogPreviewPages(GasLogDocument& document, QSizeF page_mm, QWidget* parent)
    : QWidget(parent), document_(document), page_mm_(page_mm) {
    set_scale(100);
}

double GasLogPreviewPages::factor() const {
    return logicalDpiY() / static_cast<double>(kPreviewResolution) * percent_ / 100.0;
}

void GasLogPreviewPages::set_scale(int percent) {
    percent_ = std::clamp(percent, 10, 1000);
    const QSize page = document_.page_size();
    const double f = factor();
    const int pages = document_.page_count();
    resize(static_cast<int>(page.width() * f) + 2 * kPageGap,
           static_cast<int>(pages * (page.height() * f + kPageGap) + kPageGap));
    update();
}

void GasLogPreviewPages::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(128, 128, 128));
    const double f = factor();
    const QSize page = document_.page_size();
    const double step = page.height() * f + kPageGap;
    for (int i = 0; i < document_.page_count(); ++i) {
        const QRectF sheet(kPageGap, kPageGap + i * step, page.width() * f, page.height() * f);
        if (!sheet.intersects(event->rect())) {
            continue;  // only the pages in view are drawn
        }
        p.fillRect(sheet, Qt::white);
        p.save();
        p.translate(sheet.topLeft());
        p.scale(f, f);
        p.setClipRect(QRect(QPoint(), page));
        document_.render_page(p, i);
        p.restore();
    }
}

TGasLogPreviewForm::TGasLogPreviewForm(GasLogDocument& document, const QPageLayout& page,
                                       QWidget* parent)
    : QDialog(parent), document_(document) {
    setWindowTitle("Предварительный просмотр");
    {
        // Laid out as a printer of this paper would do it; the print lays it out again for
        // the printer's own dots.
        QImage probe(1, 1, QImage::Format_RGB32);
        probe.setDotsPerMeterX(static_cast<int>(kPreviewResolution / 0.0254));
        probe.setDotsPerMeterY(static_cast<int>(kPreviewResolution / 0.0254));
        QPainter measure(&probe);
        document_.layout(measure, page.paintRectPixels(kPreviewResolution).size(),
                         kPreviewResolution / 2.54);
    }
    scale_box_ = new QComboBox(this);
    scale_box_->addItems(TPreviewForm::scales());
    scale_box_->setCurrentText("100 %");
    auto* plus = new QPushButton("+", this);
    auto* minus = new QPushButton("-", this);
    auto* print = new QPushButton("Печать", this);
    auto* save = new QPushButton("Сохранить...", this);
    auto* close = new QPushButton("Закрыть", this);
    pages_ = new GasLogPreviewPages(document_, page.paintRect(QPageLayout::Millimeter).size());
    auto* area = new QScrollArea(this);
    area->setWidget(pages_);
    connect(scale_box_, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { pages_->set_scale(text.section(' ', 0, 0).toInt()); });
    connect(plus, &QPushButton::clicked, this, [this] {
        scale_box_->setCurrentIndex(
            std::min(scale_box_->currentIndex() + 1, scale_box_->count() - 1));
    });
    connect(minus, &QPushButton::clicked, this,
            [this] { scale_box_->setCurrentIndex(std::max(scale_box_->currentIndex() - 1, 0)); });
    connect(print, &QPushButton::clicked, this, [this] { done(1); });
    connect(close, &QPushButton::clicked, this, [this] { done(2); });
    connect(save, &QPushButton::clicked, this, &TGasLogPreviewForm::SaveClick);
    auto* bar = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{scale_box_, plus, minus, print, save}) {
        bar->addWidget(w);
    }
    bar->addStretch(1);
    bar->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(area, 1);
    resize(900, 800);
}

void TGasLogPreviewForm::SaveClick() {
    QString selected;
    const QString path =
        QFileDialog::getSaveFileName(this, "  Сохранение рисунка", QString(),
                                     picture_filter(false), &selected);
    if (path.isEmpty()) {
        return;
    }
    QString target = path;
    if (QFileInfo(target).suffix().isEmpty()) {
        target += selected.contains("svg") ? ".svg" : ".pdf";
    }
    // Saving lays the document out for the file; lay it out for the preview again after.
    GasLogDocument copy = document_;
    QString error;
    if (!save_gas_log(copy, target, error)) {
        QMessageBox::warning(this, "  ОШИБКА", error);
    }
}

TPrintGasLogForm::TPrintGasLogForm(const display::GasLogModel& model,
                                   const analysis::TotalizerLog* log,
                                   const display::GasLogRows& rows, QWidget* parent)
    : QDialog(parent), model_(model), log_(log), rows_(rows) {
    setWindowTitle("  Распечатка каротажа");
    title_ = new QLineEdit(kGasLogPrintTitle, this);
    title_->setObjectName("title");
    head_ = new QPlainTextEdit(this);
    head_->setMaximumHeight(70);
    from_ = depth_box(this);
    from_->setObjectName("from");
    to_ = depth_box(this);
    to_->setObjectName("to");
    scale_ = new QComboBox(this);
    scale_->setObjectName("scale");
    scale_->setEditable(true);
    for (const int sc : display::kGasLogScales) {
        scale_->addItem(QString("1:%1").arg(sc));
    }
    auto* print = new QPushButton("Печать", this);
    print->setDefault(true);
    auto* preview = new QPushButton("Просмотр...", this);
    auto* cancel = new QPushButton("Отмена", this);
    connect(print, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(preview, &QPushButton::clicked, this, &TPrintGasLogForm::PreviewClick);
    auto* interval = new QHBoxLayout;
    interval->addWidget(from_);
    interval->addWidget(new QLabel("—", this));
    interval->addWidget(to_);
    auto* form = new QFormLayout;
    form->addRow("Заголовок:", title_);
    form->addRow("Шапка:", head_);
    form->addRow("Интервал глубин:", interval);
    form->addRow("Масштаб глубин:", scale_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(print);
    buttons->addWidget(preview);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

TPrintGasLogForm::~TPrintGasLogForm() = default;

void TPrintGasLogForm::prepare(const GasLogPrintOptions& defaults) {
    defaults_ = defaults;
    title_->setText(defaults.title);
    head_->setPlainText(defaults.head.join('\n'));
    from_->setValue(defaults.from);
    to_->setValue(defaults.to);
    scale_->setCurrentText(QString("1:%1").arg(std::lround(defaults.scale)));
    settings::IniFile file;
    if (!ini_path_.empty() && file.open(ini_path_)) {
        title_->setText(QString::fromStdString(
            file.read_string(kSection, "заголовок_печати", s(title_->text()))));
        const int scale = file.read_integer(kSection, "масштаб_печати", 0);
        if (scale > 0) {
            scale_->setCurrentText(QString("1:%1").arg(scale));
        }
    }
}

GasLogPrintOptions TPrintGasLogForm::options() const {
    GasLogPrintOptions o = defaults_;
    o.title = title_->text();
    const QString head = head_->toPlainText();
    o.head = head.isEmpty() ? QStringList{} : head.split('\n');
    o.from = from_->value();
    o.to = to_->value();
    bool ok = false;
    const double scale = scale_->currentText().section(':', -1).trimmed().toDouble(&ok);
    o.scale = ok && scale >= 10 ? scale : 500.0;
    return o;
}

QPrinter& TPrintGasLogForm::printer() {
    if (!printer_) {
        own_printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_ = own_printer_.get();
    }
    printer_->setPageOrientation(QPageLayout::Portrait);
    return *printer_;
}

void TPrintGasLogForm::PreviewClick() {
    GasLogDocument document(model_, log_, rows_, options());
    TGasLogPreviewForm preview(document, printer().pageLayout(), this);
    if (preview.exec() == 1) {
        done(1);
    }
}

bool TPrintGasLogForm::print_and_save() {
    QPrinter& p = printer();
    const bool ready = p.outputFormat() == QPrinter::PdfFormat ||
                       (p.isValid() && !QPrinterInfo::availablePrinterNames().isEmpty());
    bool printed = false;
    if (!ready) {
        if (operator_) {
            operator_->show_message(kNoPrinterText, "  ОШИБКА", library::MessageIcon::stop);
        }
    } else {
        p.setDocName(title_->text());
        QProgressDialog progress("Печать каротажа...", "Прервать", 0, 0, parentWidget());
        progress.setWindowTitle(kPrintCaption);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        GasLogDocument document(model_, log_, rows_, options());
        printed = print_gas_log(document, p, [&](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
            return !progress.wasCanceled();
        });
        if (!printed && operator_) {
            operator_->show_message(
                "Каротаж напечатан не полностью: принтер отказал или печать "
                "была прервана.",
                kPrintCaption, library::MessageIcon::warning);
        }
    }
    settings::IniFile file;
    if (!ini_path_.empty() && file.open(ini_path_)) {
        file.write_string(kSection, "заголовок_печати", s(title_->text()));
        file.write_integer(kSection, "масштаб_печати", static_cast<int>(options().scale));
        (void)file.save();
    }
    return printed;
}

bool print_gas_log_dialog(QWidget* parent, const display::GasLogModel& model,
                          const analysis::TotalizerLog* log, const display::GasLogRows& rows,
                          const GasLogPrintOptions& defaults, const std::string& ini_path,
                          library::Operator& op, QPrinter* printer) {
    TPrintGasLogForm form(model, log, rows, parent);
    form.set_ini_file(ini_path);
    form.set_operator(&op);
    form.set_printer(printer);
    form.prepare(defaults);
    if (form.exec() != 1) {
        return false;
    }
    return form.print_and_save();
}

}  // namespace vetra::reports::ui
