#include "storage/ui/history_entry_window.h"

#include <QHBoxLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "library/ui/screen_fit.h"

namespace vetra::storage::ui {
namespace {

// The copy's own rate from the seconds its points carry; entries without them (older
// files) fall back to the thinning of the current settings.
int entry_rate(const display::ChromatogramPlot& plot, int samples_per_second) {
    const int n = plot.point_count();
    if (static_cast<int>(plot.seconds.size()) == n && n > 1) {
        const int span = plot.seconds.back() - plot.seconds.front();
        if (span > 0) {
            return std::max(1, static_cast<int>(std::lround((n - 1) / static_cast<double>(span))));
        }
    }
    const int r = std::max(1, samples_per_second / 2);
    return std::max(1, samples_per_second / r);
}

QToolButton* zoom_button(const QString& text, const QString& hint, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(false);
    return b;
}

}  // namespace

HistoryEntryWindow::HistoryEntryWindow(const display::ChromatogramPlot& entry,
                                       std::function<display::ui::PlotStyle()> style,
                                       std::function<int()> gas_count, QWidget* parent)
    : QWidget(parent, Qt::Window), plot_(entry), style_(std::move(style)) {
    setObjectName("HistoryEntryWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    // The date goes to the title; over the large plot it would be a warning box.
    setWindowTitle(" История: " + QString::fromStdString(plot_.message).trimmed());
    plot_.message.clear();
    plot_.compact = false;
    plot_.fixed_top = 0;
    rate_ = entry_rate(plot_, style_ ? style_().samples_per_second : 1);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout();
    const auto add = [&](const QString& text, const QString& hint, auto action) {
        QToolButton* b = zoom_button(text, hint, this);
        connect(b, &QToolButton::clicked, this, action);
        bar->addWidget(b);
        return b;
    };
    add("Время +", "Растянуть по времени (Ctrl + колесо мыши)", [this] {
        stretch_time(1);
    })->setObjectName("stretchIn");
    add("Время −", "Сжать по времени", [this] { stretch_time(-1); })->setObjectName("stretchOut");
    bar->addSpacing(12);
    add("Увеличить", "Увеличить график", [this] { zoom_values(0.1); })->setObjectName("zoomIn");
    add("Уменьшить", "Уменьшить график", [this] { zoom_values(10); })->setObjectName("zoomOut");
    add("Авто", "Автоматическое масштабирование", [this] {
        zoom_values(0);
    })->setObjectName("zoomAuto");
    bar->addStretch(1);
    layout->addLayout(bar);

    area_ = new QScrollArea(this);
    area_->setWidgetResizable(false);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_ = new display::ui::ChromatogramWidget(area_);
    view_->setObjectName("historyEntryPlot");
    view_->set_plot(&plot_, std::move(gas_count), [this] { return entry_style(); });
    area_->setWidget(view_);
    area_->viewport()->installEventFilter(this);
    layout->addWidget(area_, 1);

    setGeometry(library::ui::opening_place(this, screen()->availableGeometry().size() * 0.8));
}

display::ui::PlotStyle HistoryEntryWindow::entry_style() const {
    display::ui::PlotStyle s = style_ ? style_() : display::ui::PlotStyle{};
    s.samples_per_second = rate_;
    s.screen_seconds = std::max(1, (plot_.point_count() + rate_ - 1) / rate_);
    // Time lines no closer than their labels allow at this width and font.
    const QFontMetrics fm(display::ui::plot_font(s), view_);
    const int labels = std::max(1, view_->width() / std::max(1, fm.horizontalAdvance("0000  ")));
    for (const int step : {1, 2, 5, 10, 15, 20, 30, 60, 120, 300, 600}) {
        s.horizontal_grid = step;
        if (s.screen_seconds / step <= labels) {
            break;
        }
    }
    return s;
}

void HistoryEntryWindow::stretch_time(int steps) {
    int next = stretch_;
    for (; steps > 0; --steps) {
        next = std::min(kMaxStretch, next * 2);
    }
    for (; steps < 0; ++steps) {
        next = std::max(1, next / 2);
    }
    if (next == stretch_) {
        return;
    }
    // The middle of what is seen stays in the middle.
    QScrollBar* bar = area_->horizontalScrollBar();
    const double middle =
        (bar->value() + area_->viewport()->width() / 2.0) / std::max(1, view_->width());
    stretch_ = next;
    fit_view();
    bar->setValue(static_cast<int>(middle * view_->width() - area_->viewport()->width() / 2.0));
}

void HistoryEntryWindow::zoom_values(double factor) {
    if (const auto top = display::zoomed_top(plot_.range().second, factor)) {
        plot_.set_range(0, *top);
        view_->update();
    }
}

void HistoryEntryWindow::fit_view() {
    const QSize room = area_->viewport()->size();
    view_->resize(room.width() * stretch_, room.height());
}

bool HistoryEntryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == area_->viewport()) {
        if (event->type() == QEvent::Resize) {
            fit_view();
        } else if (event->type() == QEvent::Wheel) {
            auto* wheel = static_cast<QWheelEvent*>(event);
            if (wheel->modifiers() & Qt::ControlModifier) {
                stretch_time(wheel->angleDelta().y() > 0 ? 1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vetra::storage::ui
