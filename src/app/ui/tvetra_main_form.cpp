#include "app/ui/tvetra_main_form.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <cstdio>

#include "analysis/ui/tetalon_form.h"
#include "analysis/ui/tgaz_time_form.h"
#include "control/vetra_system.h"
#include "display/ui/chromatogram_painter.h"
#include "library/number_text.h"
#include "library/operator.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "settings/placement.h"
#include "widgets/ui/drag_handle.h"
#include "widgets/ui/text_indicator.h"

namespace vetra::app::ui {
namespace {

constexpr int kTimerMs = 400;
constexpr const char* kPlacementSection = "главное_окно";
constexpr const char* kCloseCaption = "  Завершение работы";

const QColor kWorkTop = QColor(255, 0, 0);       // Windows colour 255
const QColor kWorkBottom = QColor(128, 0, 0);    // 128
const QColor kReadyTop = QColor(128, 128, 128);  // 8421504
const QColor kReadyBottom = QColor(78, 78, 78);  // 5131854

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// Hint on the control, and " " + hint in the status bar while the mouse is over it.
void set_hint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint.trimmed());
    widget->setStatusTip(" " + hint);
}

QToolButton* tool_button(const QString& text, const QString& hint, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumSize(34, 30);
    set_hint(b, hint);
    return b;
}

QString work_mode_button_hint(int period) {
    return " Режим работы по времени с интервалом " + QString::number(period) + " сек";
}

}  // namespace

TVetraMainForm::TVetraMainForm(control::VetraSystem& system, settings::GlobalSettings& settings,
                               library::Operator& op, MainFormOptions options, QWidget* parent)
    : QMainWindow(parent),
      system_(system),
      settings_(settings),
      operator_(op),
      options_(std::move(options)),
      workstation_(system_, settings_, operator_,
                   {options_.program_dir, options_.demo, options_.port}) {
    setObjectName("TVetraMainForm");
    build_menus();
    build_tool_bar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(3);
    layout->addWidget(build_totalizer_panel());
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName("PageControl1");
    PageControl1->addTab(build_chromatogram_page(), "Хроматограмма");
    PageControl1->addTab(build_log_page(), "Журнал");
    PageControl1->addTab(build_table_page(), "Таблица");
    PageControl1->addTab(build_history_page(), "История");
    layout->addWidget(PageControl1, 1);
    setCentralWidget(central);

    const QFontMetrics fm(statusBar()->font());
    statusBar()->setFixedHeight(fm.height() + 6);
    statusBar()->setSizeGripEnabled(true);

    MainTimer = new QTimer(this);
    MainTimer->setInterval(kTimerMs);
    connect(MainTimer, &QTimer::timeout, this, &TVetraMainForm::MainTimerTimer);

    start_up();
}

TVetraMainForm::~TVetraMainForm() {
    MainTimer->stop();
    system_.mode_changed = nullptr;
    workstation_.finish();
    save_placement();
}

// --- layout -------------------------------------------------------------------------------

void TVetraMainForm::build_menus() {
    QMenu* chromatograph = menuBar()->addMenu("Хроматограф");
    chromatograph->setObjectName("menuChromatograph");

    // "Запуск" and the mode items live on the tool bar; the menu only keeps them hidden.
    QAction* start = chromatograph->addAction("Запуск");
    start->setVisible(false);
    const char* modes[4] = {"Непрерывный режим", "Временной режим", "Ручной режим",
                            "По метке глубины"};
    const int mode_numbers[4] = {control::kContinuous, control::kByTime, control::kManual,
                                 control::kByDepthMark};
    for (int i = 0; i < 4; ++i) {
        mode_actions_[i] = chromatograph->addAction(modes[i]);
        mode_actions_[i]->setCheckable(true);
        mode_actions_[i]->setVisible(false);
        const int mode = mode_numbers[i];
        connect(mode_actions_[i], &QAction::triggered, this,
                [this, mode] { MenuSelectWorkMode(mode); });
    }
    mProgrev = chromatograph->addAction("Запуск прогрева колонок...", this,
                                        &TVetraMainForm::mProgrevClick);
    mProgrev->setObjectName("mProgrev");
    QAction* porog = chromatograph->addAction("Порог срабатывания...");
    porog->setVisible(false);
    chromatograph->addSeparator();
    QAction* exit = chromatograph->addAction("Выход из программы", this, &QWidget::close);
    exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    connect(chromatograph, &QMenu::aboutToShow, this, [this] {
        const int mode_numbers[4] = {control::kContinuous, control::kByTime, control::kManual,
                                     control::kByDepthMark};
        for (int i = 0; i < 4; ++i) {
            mode_actions_[i]->setChecked(system_.work_mode() == mode_numbers[i]);
        }
    });
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(f5, &QShortcut::activated, this, &TVetraMainForm::MenuStart);

    QMenu* setup = menuBar()->addMenu("Настройка");
    setup->addAction("Общие настройки...")->setEnabled(false);
    QAction* work = setup->addAction("Рабочие настройки...");
    work->setShortcut(QKeySequence(Qt::Key_F11));
    work->setEnabled(false);
    setup->addAction("Время выхода газов", this, &TVetraMainForm::N13Click);
    setup->addAction("Калибровка хроматографа...", this, &TVetraMainForm::MenuEtalon);

    QMenu* help = menuBar()->addMenu("Справка");
    QAction* contents = help->addAction("Вызов справки");
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    contents->setEnabled(false);
    help->addSeparator();
    help->addAction("О программе...", this, &TVetraMainForm::MenuAbout);
}

void TVetraMainForm::build_tool_bar() {
    auto* bar = new QToolBar("ToolBar1", this);
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    bar->setFloatable(false);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(0xEC, 0xEC, 0xE6));
    bar->setPalette(palette);
    bar->setAutoFillBackground(true);
    addToolBar(Qt::TopToolBarArea, bar);

    ToolButton1 = tool_button("  Запуск  ", " Запуск хроматографа в ручном режиме ", bar);
    ToolButton1->setObjectName("ToolButton1");
    QFont bold = ToolButton1->font();
    bold.setBold(true);
    ToolButton1->setFont(bold);
    connect(ToolButton1, &QToolButton::clicked, this, &TVetraMainForm::MenuStart);
    bar->addWidget(ToolButton1);
    bar->addSeparator();

    const auto mode_button = [&](QToolButton*& button, const char* name, const QString& text,
                                 const QString& hint, int mode) {
        button = tool_button(text, hint, bar);
        button->setObjectName(name);
        button->setCheckable(true);
        button->setFont(bold);
        connect(button, &QToolButton::clicked, this, [this, mode] { MenuSelectWorkMode(mode); });
        bar->addWidget(button);
    };
    mode_button(ToolButton3, "ToolButton3", "Н", " Непрерывный режим ", control::kContinuous);
    mode_button(ToolButton4, "ToolButton4", "В", " Режим работы по времени ", control::kByTime);
    mode_button(ToolButton5, "ToolButton5", "Р", " Ручной режим работы ", control::kManual);
    mode_button(ToolButton6, "ToolButton6", "Г", " Режим по метке глубины ", control::kByDepthMark);
    mode_button(ToolButton8, "ToolButton8", "Σ", "От показаний газосумматора",
                control::kByTotalizer);
    bar->addSeparator();

    BitBtn1 = tool_button(" Сохр. ", " Сохранить текущую разгонку ", bar);
    BitBtn1->setObjectName("BitBtn1");
    connect(BitBtn1, &QToolButton::clicked, this, &TVetraMainForm::ButtonSaveValues);
    bar->addWidget(BitBtn1);
    bar->addSeparator();

    const auto indicator = [&](widgets::ui::TextIndicator*& w, const char* name,
                               const QString& sample, const QString& hint) {
        w = new widgets::ui::TextIndicator(bar);
        w->setObjectName(name);
        w->SetSampleText(sample);
        w->SetBold(true);
        set_hint(w, hint);
        bar->addWidget(w);
    };
    indicator(indiWorkMode, "indiWorkMode", "  Прогрев колонок 3 из 3  ",
              " Текущий режим работы \r\n Для выбора режима используйте кнопки \"Н\", \"В\", "
              "\"Р\" и \"Г\" ");
    indicator(indiCurMode, "indiCurMode", "  Р А Б О Т А  ", " Состояние хроматографа ");
    indicator(indiTime, "indiTime", " 00000 с. ", " Время с начала цикла ");
}

QWidget* TVetraMainForm::build_totalizer_panel() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(6, 0, 6, 0);
    auto* label = new QLabel("Показания газосумматора", Panel1);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.3);
    f.setBold(true);
    label->setFont(f);
    indiSumm = new widgets::ui::TextIndicator(Panel1);
    indiSumm->setObjectName("indiSumm");
    indiSumm->setFont(f);
    indiSumm->SetSampleText("  0000,000  ");
    indiSumm->SetCaption("0,00");
    indiSumm->SetGradient(QColor(0x10, 0x30, 0x18), QColor(0x08, 0x18, 0x0C));
    indiSumm->SetTextColour(QColor(0x60, 0xFF, 0x80));
    auto* percent = new QLabel("%", Panel1);
    percent->setFont(f);
    row->addWidget(label);
    row->addWidget(indiSumm);
    row->addWidget(percent);
    row->addStretch(1);
    return Panel1;
}

QWidget* TVetraMainForm::build_chromatogram_page() {
    auto* page = new QWidget(this);
    auto* outer = new QHBoxLayout(page);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(2);

    // Zoom, range handles and printing at the left of the value axis.
    auto* strip = new QVBoxLayout();
    strip->setSpacing(2);
    const auto zoom = [&](const QString& text, const QString& hint, double factor) {
        auto* b = tool_button(text, hint, page);
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
        auto* h = new widgets::ui::DragHandle(shape, page);
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
    print_button_ = tool_button("Печ.", " Печать хроматограммы ", page);
    print_button_->setObjectName("printButton");
    connect(print_button_, &QToolButton::clicked, this, &TVetraMainForm::MenuPrint);
    strip->addWidget(print_button_);
    outer->addLayout(strip);

    auto* splitter = new QSplitter(Qt::Horizontal, page);
    auto* plot_column = new QWidget(splitter);
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
    splitter->addWidget(plot_column);

    // The totalizer strip chart comes with the built-in totalizer; its frame is here.
    totalizer_chart_ = new QGroupBox("Газосумматор", splitter);
    auto* chart = new QVBoxLayout(totalizer_chart_);
    ComboBox1 = new QComboBox(totalizer_chart_);
    ComboBox1->addItems({"10 сек.", "30 сек.", "1 минута", "3 минуты", "5 минут", "10 минут",
                         "15 минут", "20 минут", "30 минут", "1 час", "2 часа", "3 часа"});
    chart->addWidget(ComboBox1);
    auto* area = new QHBoxLayout();
    auto* chart_box = new QWidget(totalizer_chart_);
    chart_box->setMinimumWidth(120);
    area->addWidget(chart_box, 1);
    area->addWidget(new QScrollBar(Qt::Vertical, totalizer_chart_));
    chart->addLayout(area, 1);
    totalizer_chart_->setEnabled(false);
    splitter->addWidget(totalizer_chart_);
    splitter->setStretchFactor(0, 1);
    outer->addWidget(splitter, 1);
    return page;
}

QWidget* TVetraMainForm::build_log_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* buttons = new QHBoxLayout();
    for (const char* text : {"Добавить запись...", "Очистить..."}) {
        auto* b = new QPushButton(text, page);
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    auto* log = new QListWidget(page);
    log->setObjectName("lbLog");
    layout->addWidget(log, 1);
    return page;
}

QWidget* TVetraMainForm::build_table_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* buttons = new QHBoxLayout();
    for (const char* text : {"Реверс", "Распечатать...", "Редакт. >>", "Отмена"}) {
        auto* b = new QPushButton(text, page);
        b->setEnabled(false);
        b->setVisible(std::string_view(text) != "Отмена");
        buttons->addWidget(b);
    }
    auto* progress = new QProgressBar(page);
    progress->setVisible(false);
    buttons->addWidget(progress);
    buttons->addStretch(1);
    auto* export_button = new QPushButton("Экспорт в Excel", page);
    export_button->setEnabled(false);
    buttons->addWidget(export_button);
    layout->addLayout(buttons);
    auto* table = new QTableWidget(page);
    table->setObjectName("grTextValues");
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(table, 1);
    return page;
}

QWidget* TVetraMainForm::build_history_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* buttons = new QHBoxLayout();
    for (const char* text : {"Печать...", "Сохранить..."}) {
        auto* b = new QPushButton(text, page);
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    auto* scroll = new QScrollArea(page);
    auto* history = new QWidget(scroll);
    history->setObjectName("pboxHistory");
    scroll->setWidget(history);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 1);
    return page;
}

// --- start-up and shut-down ---------------------------------------------------------------

void TVetraMainForm::start_up() {
    workstation_.start_up();
    set_panel_visibility();
    show_mode();
    load_placement();

    plot_->set_plot(
        &system_.view(), [this] { return system_.gases().count(); },
        [this] { return display::ui::PlotStyle::from(settings_); });
    workstation_.start_devices();
    if (options_.start_timer) {
        MainTimer->start();
    }
    PageControl1->setCurrentIndex(0);

    system_.mode_changed = [this] { show_mode(); };
    connections_.emplace_back(system_.cycle_started.connect([this] {
        show_state();
        show_mode();
    }));
    connections_.emplace_back(system_.cycle_finished.connect([this](int) {
        show_state();
        // The last gases may be computed as the cycle closes, with no new point to notice.
        refresh_chromatogram(true);
    }));
    connections_.emplace_back(
        system_.windows_changed.connect([this] { refresh_chromatogram(true); }));
    refresh_chromatogram(true);
    set_title();
    show_state();
}

void TVetraMainForm::set_title() {
    switch (settings_.device_type) {
        case settings::kModelTd5:
            setWindowTitle("Хроматограф ТД-5ЛК");
            mProgrev->setVisible(false);
            break;
        case settings::kModelVelon:
            setWindowTitle("Хроматограф Велон");
            mProgrev->setVisible(true);
            break;
        default:
            setWindowTitle(
                "Хроматограф <Неизвестный прототип> (ПРОВЕРЬТЕ ПРАВИЛЬНОСТЬ "
                "УСТАНОВКИ ПРОГРАММЫ !!!)");
            mProgrev->setVisible(true);
            break;
    }
}

void TVetraMainForm::closeEvent(QCloseEvent* event) {
    if (system_.state() == 0) {
        operator_.show_message("Для закрытия программы дождитесь завершения работы хроматографа",
                               kCloseCaption, library::MessageIcon::stop);
        event->ignore();
        return;
    }
    if (!operator_.ask_yes_no("Вы действительно хотите выйти из программы ?", kCloseCaption)) {
        event->ignore();
        return;
    }
    shut_down();
    event->accept();
}

void TVetraMainForm::shut_down() {
    MainTimer->stop();
    std::string error;
    if (!workstation_.shut_down(error)) {
        operator_.show_message(error, "  ОШИБКА", library::MessageIcon::error);
    }
}

void TVetraMainForm::load_placement() {
    settings::IniFile file;
    if (!file.open(system_.settings_path())) {
        return;
    }
    const QRect g = geometry();
    const settings::WindowPlacement current{g.top(), g.left(), g.width(), g.height(), 0};
    const settings::WindowPlacement p = settings::load_placement(file, kPlacementSection, current);
    if (p.width > 200 && p.height > 150) {
        setGeometry(p.left, p.top, p.width, p.height);
    }
    if (p.state == 2) {
        setWindowState(Qt::WindowMaximized);
    }
}

void TVetraMainForm::save_placement() {
    settings::IniFile file;
    if (!file.open(system_.settings_path())) {
        return;
    }
    const QRect g = normalGeometry();
    const int state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
    settings::save_placement(file, kPlacementSection,
                             {g.top(), g.left(), g.width(), g.height(), state});
    (void)file.save();
}

// --- main timer ---------------------------------------------------------------------------

void TVetraMainForm::MainTimerTimer() {
    try {
        system_.on_timer_tick();
    } catch (const control::VetraError& e) {
        show_error(e.what(), true);
        return;
    }

    if (settings_.totalizer_show && settings_.totalizer_use.load()) {
        indiSumm->SetCaption(
            q(library::fixed_decimals(system_.link().current_average(), settings_.gaz_summ_prec)));
    } else if (settings_.totalizer_show && settings_.porog_from_station) {
        indiSumm->SetCaption(q(library::fixed_decimals(workstation_.station_client().last_value(),
                                                       settings_.gaz_summ_prec)));
    }

    if (settings_.show_adc) {
        int code = 0;
        {
            library::ScopedLock lock(system_.data_lock());
            code = system_.link().last_adc_code();
        }
        indiAdc->SetCaption(adc_indicator_text(code, system_.link().last_range(), system_.state(),
                                               settings_.adc_value_mode));
    }

    if (system_.state() == 0) {
        std::int32_t seconds = 0;
        {
            library::ScopedLock lock(system_.data_lock());
            seconds = system_.link().elapsed_seconds();
        }
        indiTime->SetCaption(QString::number(seconds) + " с.");
    } else {
        indiTime->SetCaption({});
    }

    refresh_chromatogram(false);
    if (system_.state() == 0) {
        show_state();
    }
}

QString TVetraMainForm::adc_indicator_text(int code, int range, int state, int mode) {
    // A negative code shows its 32-bit pattern, as the hexadecimal form of a signed integer.
    const QString value = mode == 0 ? QString::number(static_cast<std::uint32_t>(code), 16)
                                              .toUpper()
                                              .rightJustified(4, '0') +
                                          "h"
                                    : QString::number(code);
    return "АЦП=" + value + " ДИАП=" + QString::number(range) + "[" + QString::number(state) + "]";
}

void TVetraMainForm::show_state() {
    if (system_.state() == 0) {
        indiCurMode->SetGradient(kWorkTop, kWorkBottom);
        indiCurMode->SetTextColour(Qt::white);
        indiCurMode->SetCaption((blink_ & 1) == 0 ? "Р А Б О Т А" : "");
        ++blink_;
    } else {
        indiCurMode->SetGradient(kReadyTop, kReadyBottom);
        indiCurMode->SetTextColour(Qt::white);
        indiCurMode->SetCaption("Г О Т О В");
        indiTime->SetCaption({});
    }
}

void TVetraMainForm::show_mode() {
    ToolButton8->setEnabled(settings_.totalizer_use.load() || settings_.porog_from_station);
    ToolButton3->setChecked(system_.work_mode() == control::kContinuous);
    ToolButton4->setChecked(system_.work_mode() == control::kByTime);
    ToolButton5->setChecked(system_.work_mode() == control::kManual);
    ToolButton6->setChecked(system_.work_mode() == control::kByDepthMark);
    ToolButton8->setChecked(system_.work_mode() == control::kByTotalizer);
    indiWorkMode->SetCaption(q(system_.status_text()));
    set_hint(ToolButton4, work_mode_button_hint(system_.time_mode_period()));
    set_hint(ToolButton8, " Режим запуска при показаниях газосумматора более чем: " +
                              q(library::fixed_decimals(settings_.porog_value, 3)) + "%");
}

void TVetraMainForm::set_panel_visibility() {
    BitBtn1->setEnabled(!system_.save_all_values());
    Panel1->setVisible(settings_.totalizer_show && settings_.totalizer_use.load());
    totalizer_chart_->setVisible(settings_.totalizer_show_win && settings_.totalizer_use.load());
    adc_row_->setVisible(settings_.show_adc);
}

void TVetraMainForm::refresh_chromatogram(bool force) {
    display::ChromatogramPlot& view = system_.view();
    if (system_.link().sample_count() == view.point_count() && !force) {
        return;
    }
    system_.link().copy_new_samples(view.points);
    view.set_background(settings_.background_colour);
    view.rebuild_windows(system_.gases(), system_.calculation().results(),
                         settings_.samples_per_second);
    plot_->update();
}

void TVetraMainForm::show_error(const std::string& text, bool beep) {
    if (beep) {
        operator_.beep(1000, 20);
    }
    system_.view().message = text;
    refresh_chromatogram(true);
    plot_->repaint();
}

// --- commands -----------------------------------------------------------------------------

void TVetraMainForm::MenuStart() {
    try {
        system_.start_analysis();
    } catch (const control::VetraError& e) {
        show_error(e.what(), false);
    }
}

void TVetraMainForm::MenuSelectWorkMode(int mode) {
    system_.set_work_mode(mode);
    show_mode();  // a refused mode must not leave its button down
    (void)settings_.save();
}

void TVetraMainForm::mProgrevClick() {
    system_.request_warmup();
    show_mode();
}

void TVetraMainForm::N13Click() {
    if (!gaz_time_form_) {
        gaz_time_form_ = new analysis::ui::TGazTimeForm(
            system_.gases(), system_.data_lock(), system_.windows_changed,
            [this] { return settings_.screen_seconds; }, this);
    }
    gaz_time_form_->show();
    gaz_time_form_->raise();
}

void TVetraMainForm::MenuEtalon() {
    if (!etalon_form_) {
        // Journal and help are wired when the event log and the help viewer join.
        etalon_form_ = new analysis::ui::TEtalonForm(system_, settings_, operator_,
                                                     {[](const std::string&) {}, {}}, this);
    }
    etalon_form_->set_settings_path(system_.settings_path());
    etalon_form_->open_window();
}

void TVetraMainForm::ButtonSaveValues() {
    system_.calculation().publishNow();
}

void TVetraMainForm::ChangeGraphicsRange(double factor) {
    display::ChromatogramPlot& view = system_.view();
    const auto top = display::zoomed_top(view.range().second, factor);
    if (!top) {
        return;
    }
    view.set_range(0, *top);
    zoom_auto_->setChecked(*top == 0);
    refresh_chromatogram(true);
}

// Handles: 0 the upper limit, 1 the whole range, 2 the lower limit.
void TVetraMainForm::drag_range(int handle, int rows) {
    const display::DragHandle which = handle == 0   ? display::DragHandle::upper
                                      : handle == 1 ? display::DragHandle::whole
                                                    : display::DragHandle::lower;
    const auto [bottom, top] =
        display::dragged_range(which, drag_start_range_, rows, plot_->current_plot_rect().height());
    system_.view().set_range(bottom, top);
    zoom_auto_->setChecked(false);
    refresh_chromatogram(true);
}

void TVetraMainForm::MenuPrint() {
    if (system_.state() == 0) {
        operator_.show_message(
            "Невозможно выполнить печать. Дождитесь окончания цикла хроматографа", "  ОШИБКА",
            library::MessageIcon::stop);
        return;
    }
    if (!operator_.ask_yes_no("Распечатать хроматограмму ?", "  Печать")) {
        return;
    }
    print_button_->setEnabled(false);
    QPrinter printer(QPrinter::HighResolution);
    (void)display::ui::print_chromatogram(system_.view(), system_.gases().count(),
                                          display::ui::PlotStyle::from(settings_), printer,
                                          &operator_);
    print_button_->setEnabled(true);
}

void TVetraMainForm::MenuAbout() {
    QMessageBox::about(this, "О программе",
                       "Хроматограф — рабочее место оператора газового хроматографа.\n\nСборка: " +
                           q(settings_.build_stamp));
}

// --- for the tests and the status -----------------------------------------------------------

QString TVetraMainForm::work_mode_text() const {
    return indiWorkMode->caption();
}
QString TVetraMainForm::state_text() const {
    return indiCurMode->caption();
}
QString TVetraMainForm::time_text() const {
    return indiTime->caption();
}
QString TVetraMainForm::adc_text() const {
    return indiAdc->caption();
}
QString TVetraMainForm::totalizer_text() const {
    return indiSumm->caption();
}

}  // namespace vetra::app::ui
