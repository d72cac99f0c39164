#include "storage/ui/history_page.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <utility>

#include "library/operator.h"
#include "storage/history.h"
#include "storage/ui/history_entry_window.h"

namespace vetra::storage::ui {
namespace {

constexpr int kMinCellHeight = 100;  // below this a thinned chromatogram is unreadable
constexpr int kFrameWidth = 5;
constexpr int kFrameGap = 2;

QFont two_thirds(QFont font) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 2 / 3);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(1, font.pixelSize() * 2 / 3));
    }
    return font;
}

QRect cell_rect(int index, const QRect& page, int margin) {
    const HistoryCell c = history_cell(index, page.width(), page.height(), margin);
    return QRect(QPoint(page.left() + c.left, page.top() + c.top),
                 QPoint(page.left() + c.right - 1, page.top() + c.bottom - 1));
}

// Right-aligned on the line the compact layout keeps free above the plot, after the value
// label; shortened rather than run into it.
void paint_date(QPainter& p, const QRect& cell, const QString& date,
                const display::ChromatogramPlot& entry) {
    if (date.isEmpty()) {
        return;
    }
    const QFontMetrics fm = p.fontMetrics();
    const int room = cell.width() - fm.horizontalAdvance("00000 мВ  ");
    if (room <= 0) {
        return;
    }
    p.setPen(display::ui::to_qcolor(entry.foreground));
    const QRect line(cell.left(), cell.top(), cell.width() - 2, fm.height());
    p.drawText(line, Qt::AlignRight | Qt::AlignVCenter, fm.elidedText(date, Qt::ElideRight, room));
}

}  // namespace

void paint_history(QPainter& p, const QRect& page, const QRect& clip, History& history,
                   const HistoryPaint& how) {
    display::ui::PlotStyle style = how.style;
    style.curve_width = 1;
    const QFont font = two_thirds(how.font);
    for (int i = 0; i < history.count(); ++i) {
        const QRect cell = cell_rect(i, page, how.margin);
        if (!cell.isValid() || !cell.intersects(clip)) {
            continue;
        }
        p.save();
        p.setFont(font);
        display::ui::PaintOptions options;
        options.fill_peaks = true;
        display::ChromatogramPlot& entry = history.entry(i);
        entry.compact = true;
        // The date goes on the cell's top line beside the value label: as the plot's warning
        // box it would cover the tallest peaks and their labels at a large font.
        std::string date;
        std::swap(date, entry.message);
        display::ui::paint_chromatogram(p, cell, entry, how.gas_count, style, options);
        paint_date(p, cell, QString::fromStdString(date).simplified(), entry);
        std::swap(date, entry.message);
        p.restore();
    }
    const int selected = history.selected();
    if (selected >= 0 && selected < history.count()) {
        const QRect cell = cell_rect(selected, page, how.margin);
        const int out = kFrameGap + kFrameWidth / 2;  // the pen's centre line
        QPen pen(Qt::red, kFrameWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.adjusted(-out, -out, out, out));
    }
}

HistoryView::HistoryView(History& history, std::function<HistoryPaint()> how, QWidget* parent)
    : QWidget(parent), history_(history), how_(std::move(how)) {
    setObjectName("pboxHistory");
    setMinimumHeight(kHistoryRows * kMinCellHeight);
}

// A twentieth of an inch, but never so little that the selection's frame would cover the
// value label of the entry below it.
int HistoryView::margin() const {
    return std::max(logicalDpiX() / 20, kFrameGap + kFrameWidth + 1);
}

void HistoryView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), palette().window());
    HistoryPaint how = how_ ? how_() : HistoryPaint{};
    how.font = font();
    how.margin = margin();
    paint_history(p, rect(), event->rect(), history_, how);
}

void HistoryView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    (void)history_.select_at(at.x(), at.y(), width(), height(), margin());
}

void HistoryView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    (void)history_.select_at(at.x(), at.y(), width(), height(), margin());
    Q_EMIT openRequested();
}

void HistoryView::contextMenuEvent(QContextMenuEvent* event) {
    (void)history_.select_at(event->pos().x(), event->pos().y(), width(), height(), margin());
    QMenu menu(this);
    menu.addAction("Открыть", this, &HistoryView::openRequested);
    menu.addAction("Печать...", this, &HistoryView::printRequested);
    menu.addAction("Сохранить...", this, &HistoryView::saveRequested);
    menu.exec(event->globalPos());
}

HistoryPage::HistoryPage(History& history, library::Operator& op,
                         std::function<display::ui::PlotStyle()> style,
                         std::function<int()> gas_count, QWidget* parent)
    : QWidget(parent),
      history_(history),
      operator_(op),
      style_(std::move(style)),
      gas_count_(std::move(gas_count)) {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout();
    MyButton1 = new QPushButton("Печать...", this);
    MyButton1->setObjectName("MyButton1");
    MyButton2 = new QPushButton("Сохранить...", this);
    MyButton2->setObjectName("MyButton2");
    buttons->addWidget(MyButton1);
    buttons->addWidget(MyButton2);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setWidgetResizable(true);  // the grid keeps the box's client width
    view_ = new HistoryView(
        history_,
        [this] {
            HistoryPaint how;
            how.style = style_ ? style_() : display::ui::PlotStyle{};
            how.gas_count = gas_count_ ? gas_count_() : 0;
            return how;
        },
        ScrollBox1);
    ScrollBox1->setWidget(view_);
    layout->addWidget(ScrollBox1, 1);

    connect(MyButton1, &QPushButton::clicked, this, &HistoryPage::MyButton1Click);
    connect(MyButton2, &QPushButton::clicked, this, &HistoryPage::MyButton2Click);
    connect(view_, &HistoryView::openRequested, this, &HistoryPage::open_selected);
    connect(view_, &HistoryView::printRequested, this, &HistoryPage::MyButton1Click);
    connect(view_, &HistoryView::saveRequested, this, &HistoryPage::MyButton2Click);
    repaint_ = history_.changed.connect([this] { view_->update(); });
}

HistoryPage::~HistoryPage() = default;

bool HistoryPage::have_selection(const char* caption) {
    if (history_.selected_entry() != nullptr) {
        return true;
    }
    operator_.show_message(kNothingSelected, caption, library::MessageIcon::information);
    return false;
}

void HistoryPage::MyButton1Click() {
    if (!have_selection(kPrintCaption) || !operator_.ask_yes_no(kPrintQuestion, kPrintCaption)) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    (void)print_selected(printer);
}

void HistoryPage::MyButton2Click() {
    if (!have_selection("  Сохранение рисунка")) {
        return;
    }
    const QString path = display::ui::ask_picture_path(this);
    if (!path.isEmpty()) {
        (void)save_selected(path);
    }
}

HistoryEntryWindow* HistoryPage::open_selected() {
    const display::ChromatogramPlot* entry = history_.selected_entry();
    if (entry == nullptr) {
        return nullptr;
    }
    auto* window = new HistoryEntryWindow(*entry, style_, gas_count_, this);
    window->show();
    return window;
}

bool HistoryPage::print_selected(QPrinter& printer) {
    const display::ChromatogramPlot* entry = history_.selected_entry();
    if (entry == nullptr) {
        return false;
    }
    return display::ui::print_chromatogram(*entry, gas_count_ ? gas_count_() : 0,
                                           style_ ? style_() : display::ui::PlotStyle{}, printer,
                                           &operator_);
}

bool HistoryPage::save_selected(const QString& path) {
    const display::ChromatogramPlot* entry = history_.selected_entry();
    if (entry == nullptr) {
        return false;
    }
    if (display::ui::save_picture(*entry, gas_count_ ? gas_count_() : 0,
                                  style_ ? style_() : display::ui::PlotStyle{}, path)) {
        return true;
    }
    operator_.show_message("Не удалось сохранить рисунок: " + path.toStdString(),
                           "  Сохранение рисунка", library::MessageIcon::error);
    return false;
}

}  // namespace vetra::storage::ui
