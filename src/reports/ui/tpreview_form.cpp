#include "reports/ui/tpreview_form.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <climits>

#include "library/ui/screen_fit.h"
#include "reports/ui/help_window.h"
#include "reports/ui/svg_picture.h"

namespace vetra::reports::ui {

PreviewArea::PreviewArea(const TableDocument& document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document) {
    setObjectName("PaintBox1");
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
}

void PreviewArea::set_scale(int percent) {
    const int old = scale_;
    scale_ = std::max(percent, 1);
    // Keep the same part of the page at the top when the scale changes.
    const qint64 top = qint64{verticalScrollBar()->value()} * scale_ / std::max(old, 1);
    update_bars();
    verticalScrollBar()->setValue(static_cast<int>(top));
    viewport()->update();
}

qint64 PreviewArea::page_step() const {
    return qint64{document_.page_size().height()} + kPageGap;
}

void PreviewArea::update_bars() {
    const qint64 width = (qint64{document_.page_size().width()} + 2 * kPageGap) * scale_ / 100;
    const qint64 height = page_step() * document_.page_count() * scale_ / 100 + kPageGap;
    const auto range = [](qint64 full, int view) {
        return static_cast<int>(std::clamp<qint64>(full - view, 0, INT_MAX));
    };
    horizontalScrollBar()->setRange(0, range(width, viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setRange(0, range(height, viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
}

void PreviewArea::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    update_bars();
}

// One notch moves the page by the wheel's own delta, as the operator's other programs do.
void PreviewArea::wheelEvent(QWheelEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() - event->angleDelta().y());
    event->accept();
}

int PreviewArea::first_visible_page() const {
    const double s = scale_ / 100.0;
    return static_cast<int>(
        std::clamp<qint64>(static_cast<qint64>(verticalScrollBar()->value() / s) / page_step(), 0,
                           document_.page_count() - 1));
}

// The pages one under another; only those in view are drawn.
void PreviewArea::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const double s = scale_ / 100.0;
    const double top = verticalScrollBar()->value() / s;  // in page pixels
    const double left = horizontalScrollBar()->value() / s;
    const QSize page = document_.page_size();
    p.scale(s, s);
    for (int i = first_visible_page(); i < document_.page_count(); ++i) {
        const double y = static_cast<double>(page_step()) * i + kPageGap - top;
        if (y * s > viewport()->height()) {
            break;
        }
        p.save();
        p.translate(kPageGap - left, y);
        p.fillRect(QRect(QPoint(0, 0), page), Qt::white);
        p.setClipRect(QRect(QPoint(0, 0), page));
        document_.render_page(p, i);
        p.restore();
    }
}

const QStringList& TPreviewForm::scales() {
    static const QStringList list = {"25 %",  "33 %",  "50 %",  "66 %",  "80 %",  "90 %", "100 %",
                                     "120 %", "150 %", "200 %", "250 %", "400 %", "500 %"};
    return list;
}

TPreviewForm::TPreviewForm(const storage::TableText& table, const PrintOptions& options,
                           const QPageLayout& page, QWidget* parent)
    : QDialog(parent), table_(table), options_(options), page_(page) {
    setObjectName("TPreviewForm");
    setWindowTitle("Предварительный просмотр");
    resize(library::ui::within_screen(this, {900, 700}));

    // The screen's centimetre; the page as large as the printer's, in screen pixels.
    const double unit = logicalDpiY() * kCmPerInchReciprocal;
    const QRectF page_cm = page_.paintRect(QPageLayout::Millimeter);
    document_ =
        std::make_unique<TableDocument>(table_, options_, unit,
                                        QSize(static_cast<int>(page_cm.width() / 10.0 * unit),
                                              static_cast<int>(page_cm.height() / 10.0 * unit)),
                                        this);

    scale_box_ = new QComboBox(this);
    scale_box_->setObjectName("ComboBox1");
    scale_box_->addItems(scales());
    scale_box_->setCurrentText("100 %");
    auto* plus = new QPushButton("+", this);
    plus->setObjectName("btnPlus");
    auto* minus = new QPushButton("-", this);
    minus->setObjectName("btnMinus");
    auto* print = new QPushButton("Печать", this);
    print->setObjectName("btnPrint");
    auto* save = new QPushButton("Сохранить...", this);
    save->setObjectName("btnSave");
    auto* close = new QPushButton("Закрыть", this);
    close->setObjectName("btnClose");
    auto* help = new QPushButton("Справка", this);
    for (QPushButton* b : {plus, minus}) {
        b->setFixedWidth(32);
    }

    area_ = new PreviewArea(*document_, this);
    connect(scale_box_, &QComboBox::currentIndexChanged, this,
            [this] { area_->set_scale(scale_percent()); });
    connect(plus, &QPushButton::clicked, this, &TPreviewForm::zoom_in);
    connect(minus, &QPushButton::clicked, this, &TPreviewForm::zoom_out);
    connect(print, &QPushButton::clicked, this, [this] { done(1); });
    connect(close, &QPushButton::clicked, this, [this] { done(2); });
    connect(save, &QPushButton::clicked, this, &TPreviewForm::SaveClick);
    connect(help, &QPushButton::clicked, this, [this] { show_help_topic(this, "print_table"); });

    auto* bar = new QHBoxLayout;
    bar->addWidget(scale_box_);
    bar->addWidget(plus);
    bar->addWidget(minus);
    bar->addSpacing(16);
    bar->addWidget(print);
    bar->addWidget(save);
    bar->addStretch(1);
    bar->addWidget(help);
    bar->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(area_, 1);
}

TPreviewForm::~TPreviewForm() = default;

int TPreviewForm::scale_percent() const {
    return scale_box_->currentText().section(' ', 0, 0).toInt();
}

void TPreviewForm::zoom_in() {
    if (scale_box_->currentIndex() + 1 < scale_box_->count()) {
        scale_box_->setCurrentIndex(scale_box_->currentIndex() + 1);
    }
}

void TPreviewForm::zoom_out() {
    if (scale_box_->currentIndex() > 0) {
        scale_box_->setCurrentIndex(scale_box_->currentIndex() - 1);
    }
}

bool TPreviewForm::save_to(const QString& path) {
    if (path.endsWith(".pdf", Qt::CaseInsensitive)) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageLayout(page_);
        return print_document(table_, options_, printer);
    }
    // The pages one under another, as on screen at 100 %; a file left half written by a
    // crash would pass for a picture.
    const QSize page = document_->page_size();
    const QSize size(page.width(), page.height() * document_->page_count());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const auto svg = svg_picture(&file, size, logicalDpiY(), options_.title);
    QPainter p;
    if (!svg || !p.begin(svg.get())) {
        return false;
    }
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    document_->set_glyph_runs(false);
    for (int i = 0; i < document_->page_count(); ++i) {
        p.save();
        p.translate(0, qint64{page.height()} * i);
        document_->render_page(p, i);
        p.restore();
    }
    document_->set_glyph_runs(true);
    return p.end() && file.commit();
}

void TPreviewForm::SaveClick() {
    QString selected;
    const QString path =
        QFileDialog::getSaveFileName(this, "  Сохранение рисунка", QString(),
                                     picture_filter(true), &selected);
    if (path.isEmpty()) {
        return;
    }
    QString target = path;
    if (QFileInfo(target).suffix().isEmpty()) {
        target += selected.contains("svg") ? ".svg" : ".pdf";
    }
    if (!save_to(target)) {
        QMessageBox::critical(this, "  ОШИБКА", "Не удалось сохранить файл \"" + target + "\".");
    }
}

}  // namespace vetra::reports::ui
