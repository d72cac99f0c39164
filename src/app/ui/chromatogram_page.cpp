#include "app/ui/chromatogram_page.h"

#include "display/ui/totalizer_chart_panel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinter>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/form_helpers.h"
#include "control/vetra_system.h"
#include "display/ui/chromatogram_painter.h"
#include "library/operator.h"
#include "settings/global_settings.h"
#include "widgets/ui/drag_handle.h"
#include "widgets/ui/text_indicator.h"

namespace vetra::app::ui {

ChromatogramPage::ChromatogramPage(control::VetraSystem& system, settings::GlobalSettings& settings,
                                   library::Operator& op, QWidget* parent)
    : QWidget(parent), system_(system), settings_(settings), operator_(op) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(2);
    outer->addWidget(build_strip());
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(build_plot_column(splitter));
    totalizer_chart_ = new display::ui::TotalizerChartPanel(splitter);
    splitter->addWidget(totalizer_chart_);
    splitter->setStretchFactor(0, 1);
    splitter_ = splitter;
    outer->addWidget(splitter, 1);
}

// Zoom, range handles and printing at the left of the value axis.
QWidget* ChromatogramPage::build_strip() {
    auto* strip_widget = new QWidget(this);
    auto* strip = new QVBoxLayout(strip_widget);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(2);
    const auto zoom = [&](const QString& text, const QString& hint, double factor) {
        auto* b = tool_button(text, hint, strip_widget);
        b->setMinimumSize(24, 24);
        connect(b, &QToolButton::clicked, this, [this, factor] { ChangeGraphicsRange(factor); });
        strip->addWidget(b);
        return b;
    };
    zoom("+", " Увеличить график ", 0.1)->setObjectName("zoomIn");
    zoom("−", " Уменьшить график ", 10)->setObjectName("zoomOut");
    zoom_auto_ = zoom("A", " Автоматическое масштабирование ", 0);
    zoom_auto_->setObjectName("zoomAuto");
    zoom_auto_->setCheckable(true);
    zoom_auto_->setChecked(true);
    strip->addSpacing(8);
    const auto handle = [&](widgets::ui::DragHandle::Shape shape, const char* name, int which,
                            const QString& hint) {
        auto* h = new widgets::ui::DragHandle(shape, strip_widget);
        h->setObjectName(name);
        set_hint(h, hint);
        connect(h, &widgets::ui::DragHandle::dragStarted, this,
                [this] { drag_start_range_ = system_.view().range(); });
        connect(h, &widgets::ui::DragHandle::dragged, this,
                [this, which](int rows) { drag_range(which, rows); });
        return h;
    };
    strip->addWidget(
        handle(widgets::ui::DragHandle::Shape::up, "Image1", 0, " Верхняя граница шкалы "), 0,
        Qt::AlignHCenter);
    strip->addStretch(1);
    strip->addWidget(handle(widgets::ui::DragHandle::Shape::both, "Image3", 1, " Сдвиг шкалы "), 0,
                     Qt::AlignHCenter);
    strip->addStretch(1);
    strip->addWidget(
        handle(widgets::ui::DragHandle::Shape::down, "Image2", 2, " Нижняя граница шкалы "), 0,
        Qt::AlignHCenter);
    strip->addSpacing(8);
    print_button_ = tool_button("Печ.", " Печать хроматограммы ", strip_widget);
    print_button_->setObjectName("printButton");
    connect(print_button_, &QToolButton::clicked, this, &ChromatogramPage::MenuPrint);
    strip->addWidget(print_button_);
    return strip_widget;
}

QWidget* ChromatogramPage::build_plot_column(QWidget* parent) {
    auto* plot_column = new QWidget(parent);
    auto* column = new QVBoxLayout(plot_column);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    plot_ = new display::ui::ChromatogramWidget(plot_column);
    plot_->setObjectName("chromatogram");
    column->addWidget(plot_, 1);

    adc_row_ = new QWidget(plot_column);
    auto* adc = new QHBoxLayout(adc_row_);
    adc->setContentsMargins(2, 0, 2, 0);
    adc->addWidget(new QLabel("Сигнал детектора:", adc_row_));
    indiAdc = new widgets::ui::TextIndicator(adc_row_);
    indiAdc->setObjectName("indiAdc");
    indiAdc->SetSampleText("АЦП=FFFFFFFFh ДИАП=3[1]");
    indiAdc->SetCaption("АЦП=0000h ДИАП=0");
    adc->addWidget(indiAdc);
    adc->addWidget(new QLabel("(код АЦП, диапазон, [состояние])", adc_row_));
    adc->addStretch(1);
    column->addWidget(adc_row_);
    return plot_column;
}

void ChromatogramPage::attach() {
    plot_->set_plot(
        &system_.view(), [this] { return system_.gases().count(); },
        [this] { return display::ui::PlotStyle::from(settings_); });
}

void ChromatogramPage::set_chart_width(int width) {
    width = std::clamp(width, 60, 2000);
    splitter_->setSizes({std::max(splitter_->width() - width, 200), width});
}

void ChromatogramPage::set_panels(bool adc, bool totalizer_chart) {
    adc_row_->setVisible(adc);
    totalizer_chart_->setVisible(totalizer_chart);
}

void ChromatogramPage::refresh(bool force) {
    if (system_.refresh_view(force)) {
        plot_->update();
    }
}

void ChromatogramPage::show_error(const std::string& text, bool beep) {
    if (beep) {
        operator_.beep(1000, 20);
    }
    system_.view().message = text;
    refresh(true);
    plot_->repaint();
}

void ChromatogramPage::ChangeGraphicsRange(double factor) {
    display::ChromatogramPlot& view = system_.view();
    const auto top = display::zoomed_top(view.range().second, factor);
    if (!top) {
        return;
    }
    view.set_range(0, *top);
    zoom_auto_->setChecked(*top == 0);
    refresh(true);
}

// Handles: 0 the upper limit, 1 the whole range, 2 the lower limit.
void ChromatogramPage::drag_range(int handle, int rows) {
    const display::DragHandle which = handle == 0   ? display::DragHandle::upper
                                      : handle == 1 ? display::DragHandle::whole
                                                    : display::DragHandle::lower;
    const auto [bottom, top] =
        display::dragged_range(which, drag_start_range_, rows, plot_->current_plot_rect().height());
    system_.view().set_range(bottom, top);
    zoom_auto_->setChecked(false);
    refresh(true);
}

bool ChromatogramPage::refuse_print_while_working() {
    if (system_.state() != 0) {
        return false;
    }
    operator_.show_message("Невозможно выполнить печать. Дождитесь окончания цикла хроматографа",
                           "  ОШИБКА", library::MessageIcon::stop);
    return true;
}

void ChromatogramPage::MenuPrint() {
    if (refuse_print_while_working()) {
        return;
    }
    if (!operator_.ask_yes_no("Распечатать хроматограмму ?", "  Печать")) {
        return;
    }
    // The question's event loop runs the timer, which may have started a cycle meanwhile.
    if (refuse_print_while_working()) {
        return;
    }
    print_button_->setEnabled(false);
    QPrinter printer(QPrinter::HighResolution);
    (void)display::ui::print_chromatogram(system_.view(), system_.gases().count(),
                                          display::ui::PlotStyle::from(settings_), printer,
                                          &operator_);
    print_button_->setEnabled(true);
}

}  // namespace vetra::app::ui
