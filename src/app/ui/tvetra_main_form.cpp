#include "app/ui/tvetra_main_form.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "analysis/cycle_status.h"
#include "analysis/ui/tetalon_form.h"
#include "analysis/ui/tgaz_time_form.h"
#include "app/ui/chromatogram_page.h"
#include "app/ui/form_helpers.h"
#include "app/ui/gas_log_reports.h"
#include "app/ui/gas_log_rows.h"
#include "app/ui/settings_menus.h"
#include "app/ui/table_reports.h"
#include "app/ui/workstation_status_bar.h"
#include "control/vetra_system.h"
#include "display/ui/gas_log_page.h"
#include "display/ui/totalizer_chart_panel.h"
#include "display/ui/totalizer_reading_panel.h"
#include "library/number_text.h"
#include "library/operator.h"
#include "library/ui/qt_text.h"
#include "library/ui/screen_fit.h"
#include "link/tsumm_thread.h"
#include "reports/ui/help_window.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "settings/placement.h"
#include "storage/ui/history_page.h"
#include "storage/ui/journal_page.h"
#include "storage/ui/ttable_page.h"
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
const QColor kFailedTop = QColor(255, 214, 0);
const QColor kFailedBottom = QColor(196, 140, 0);
constexpr const char* kStateHint = " Состояние хроматографа ";
constexpr const char* kTimeHint = " Время с начала цикла ";

using library::ui::fixed_text;
using library::ui::q;

QString clock_text(const library::LocalTime& t) {
    return QString::asprintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
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
    settings_menus_ = new SettingsMenus(system_, settings_, operator_, this, [this] {
        show_mode();
        set_panel_visibility();
        refresh_chromatogram(true);
        if (totalizer_chart_) {
            totalizer_chart_->apply_settings(settings_, system_.settings_path());
        }
    });
    settings_menus_->services().rig = &workstation_.rig_settings();
    settings_menus_->services().lag = &workstation_.lag_settings();
    settings_menus_->services().apply_lag = [this](library::DayNumber since, double strokes,
                                                   double minutes) {
        return workstation_.well_depth().apply_lag(system_.results_table(), since, strokes,
                                                   minutes);
    };
    settings_menus_->services().show_help = [this](const std::string& topic) {
        reports::ui::show_help_topic(QApplication::activeModalWidget(),
                                     QString::fromStdString(topic));
    };
    settings_menus_->rig_changed = [this] { workstation_.restart_wits(); };
    settings_menus_->table_font_changed = [this](const std::string& family, int point_size) {
        table_page_->apply_font(q(family), point_size);
    };
    settings_menus_->totalizer().on_reconnect = [this] {
        if (auto* reader = workstation_.totalizer_thread()) {
            reader->request_reconnect();
        }
    };
    build_menus();
    build_tool_bar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(3);
    Panel1 = new display::ui::TotalizerReadingPanel(central);
    layout->addWidget(Panel1);
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName("PageControl1");
    chromatogram_page_ = new ChromatogramPage(system_, settings_, operator_, this);
    indiAdc = chromatogram_page_->adc_indicator();
    PageControl1->addTab(chromatogram_page_, "Хроматограмма");
    PageControl1->addTab(new storage::ui::JournalPage(workstation_.event_log(), operator_, this),
                         "Журнал");
    table_page_ = new storage::ui::TTablePage(system_.results_text(), operator_, this);
    PageControl1->addTab(table_page_, "Таблица");
    table_page_->set_reprocess_context(
        {workstation_.program_dir(), &system_.calibration(), &system_.gases(), &system_.clock(),
         [this](const std::string& line) { workstation_.event_log().add(line); }});
    PageControl1->addTab(new storage::ui::HistoryPage(
                             system_.history(), operator_,
                             [this] { return display::ui::PlotStyle::from(settings_); },
                             [this] { return system_.gases().count(); }, this),
                         "История");
    gas_log_rows_ =
        std::make_unique<TableGasLogRows>(system_.results_text().table(), &system_.gases(),
                                          &workstation_.lag_settings());
    gas_log_page_ =
        new display::ui::GasLogPage(*gas_log_rows_, &system_.link().totalizer_log(), this);
    gas_log_page_->set_shows(&workstation_.well_depth().shows());
    connect(gas_log_page_, &display::ui::GasLogPage::print_requested, this, [this] {
        print_gas_log_page(*gas_log_page_, settings_, system_.settings_path(), operator_);
    });
    PageControl1->addTab(gas_log_page_, "Каротаж");
    layout->addWidget(PageControl1, 1);
    setCentralWidget(central);

    status_bar_ = new WorkstationStatusBar(workstation_.status(), this);
    setStatusBar(status_bar_);
    status_bar_->show_acknowledged = [this] {
        workstation_.acknowledge_shows();
        status_bar_->set_show_mark(0, {});
    };

    MainTimer = new QTimer(this);
    MainTimer->setInterval(kTimerMs);
    connect(MainTimer, &QTimer::timeout, this, &TVetraMainForm::MainTimerTimer);

    start_up();
}

TVetraMainForm::~TVetraMainForm() {
    MainTimer->stop();
    system_.mode_changed = nullptr;
    workstation_.finish();
    if (!shut_down_) {
        save_placement();
    }
}

// --- layout -------------------------------------------------------------------------------

void TVetraMainForm::build_menus() {
    QMenu* chromatograph = menuBar()->addMenu("&Хроматограф");
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
    mProgrev = chromatograph->addAction("Запуск &прогрева колонок...", this,
                                        &TVetraMainForm::mProgrevClick);
    mProgrev->setObjectName("mProgrev");
    chromatograph->addAction("Порог срабатывания...", settings_menus_, &SettingsMenus::N7Click)
        ->setVisible(false);
    chromatograph->addSeparator();
    QAction* exit = chromatograph->addAction("Вы&ход из программы", this, &QWidget::close);
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

    QMenu* setup = menuBar()->addMenu("&Настройка");
    setup->addAction("&Общие настройки...", settings_menus_, &SettingsMenus::MenuProgrammConf);
    setup->addAction("&Рабочие настройки...", settings_menus_, &SettingsMenus::MenuVetraOpt)
        ->setShortcut(QKeySequence(Qt::Key_F11));
    setup->addAction("&Время выхода газов", this, &TVetraMainForm::N13Click);
    setup->addAction("&Калибровка хроматографа...", this, &TVetraMainForm::MenuEtalon);

    QMenu* help = menuBar()->addMenu("&Справка");
    QAction* contents = help->addAction("&Вызов справки");
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    connect(contents, &QAction::triggered, this, [this] { reports::ui::show_help_contents(this); });
    help->addSeparator();
    help->addAction("&О программе...", this, &TVetraMainForm::MenuAbout);
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
    bar->setStyleSheet(kToolBarStyle);
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
    indicator(indiCurMode, "indiCurMode", "  Н Е Т  С В Я З И  ", kStateHint);
    indicator(indiTime, "indiTime", " 00000 с. ", kTimeHint);
}

// --- start-up and shut-down ---------------------------------------------------------------

void TVetraMainForm::start_up() {
    workstation_.start_up();
    table_page_->apply_font(q(settings_.font_name), settings_.table_font_size);
    // The well folder is open from here on.
    table_page_->set_depth_sources(workstation_.well_depth().row_depths_path(),
                                   &workstation_.well_depth().shows());
    new TableReports(*table_page_, workstation_, system_.gases(), settings_, operator_);
    set_panel_visibility();
    show_mode();
    if (options_.setup_wizard && settings_.first_start) {
        settings_menus_->MenuProgrammConf();
    }
    load_placement();

    chromatogram_page_->attach();
    chromatogram_page_->set_chart_width(settings_.win_width);
    totalizer_chart_ = chromatogram_page_->totalizer_chart();
    totalizer_chart_->start_up(&system_.link().totalizer_log(), settings_, system_.settings_path());
    workstation_.start_devices();
    if (options_.start_timer) {
        MainTimer->start();
    }
    PageControl1->setCurrentIndex(0);

    system_.mode_changed = [this] { show_mode(); };
    system_.link().totalizer_panels_changed = [this] {
        set_panel_visibility();
        show_mode();
    };
    connections_.emplace_back(system_.cycle_started.connect([this] {
        show_state();
        show_mode();
    }));
    connections_.emplace_back(system_.cycle_finished.connect([this](int status) {
        if (status != analysis::kStatusNoError && status != analysis::kStatusClosingFrame) {
            failure_ =
                "Цикл прерван: сбой обмена с хроматографом (код " + QString::number(status) + ")";
            failure_time_ = clock_text(system_.clock().local_now());
        }
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

void TVetraMainForm::end_session() {
    ending_session_ = true;
    close();
}

// Closing is refused while a cycle runs; otherwise the operator is asked. The question's
// event loop runs the timer, which may start a cycle meanwhile: look again after the
// answer. A session end during the question closes whatever the answer.
bool TVetraMainForm::confirm_close() {
    const auto refuse_while_working = [this] {
        if (system_.state() != 0) {
            return false;
        }
        operator_.show_message("Для закрытия программы дождитесь завершения работы хроматографа",
                               kCloseCaption, library::MessageIcon::stop);
        return true;
    };
    if (refuse_while_working()) {
        return false;
    }
    const bool yes =
        operator_.ask_yes_no("Вы действительно хотите выйти из программы ?", kCloseCaption);
    if (ending_session_) {
        return true;
    }
    return yes && !refuse_while_working();
}

void TVetraMainForm::closeEvent(QCloseEvent* event) {
    if (!ending_session_ && !confirm_close()) {
        event->ignore();
        return;
    }
    shut_down();
    event->accept();
}

void TVetraMainForm::shut_down() {
    MainTimer->stop();
    settings_.win_width = totalizer_chart_->width();
    settings_.win_mashtab = totalizer_chart_->span_index();
    shut_down_ = true;
    std::string error;
    // The chart, the placement and the table settings go into the one write of the settings.
    const auto window_sections = [this](settings::IniFile& file) {
        totalizer_chart_->save_settings(file);
        write_placement(file);
    };
    if (!workstation_.shut_down(error, window_sections)) {
        operator_.show_message(error, "  ОШИБКА", library::MessageIcon::error);
    }
}

void TVetraMainForm::load_placement() {
    settings::IniFile file;
    if (!file.open(system_.settings_path())) {
        return;
    }
    // A first start (nothing stored) opens centred at 90 % of the screen, so the plot is
    // usable; wider where the window needs more, yet never past the screen's edge.
    const QRect screen_area = screen()->availableGeometry();
    QRect first(QPoint(), (screen_area.size() * 0.9)
                              .expandedTo(minimumSizeHint())
                              .boundedTo(screen_area.size()));
    first.moveCenter(screen_area.center());
    const settings::WindowPlacement current{first.top(), first.left(), first.width(),
                                            first.height(), 0};
    const settings::WindowPlacement p = settings::load_placement(file, kPlacementSection, current);
    table_page_->load_settings(file);
    gas_log_page_->load_settings(file);
    restored_ = p.width > 200 && p.height > 150
                    ? library::ui::on_screen(this, QRect(p.left, p.top, p.width, p.height))
                    : first;
    setGeometry(restored_);
    if (p.state == 2) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void TVetraMainForm::save_placement() {
    settings::IniFile file;
    if (!file.open(system_.settings_path())) {
        return;
    }
    write_placement(file);
    std::error_code error;
    const bool saved = file.save(&error);
    workstation_.files().report(system_.settings_path(), saved, error);
}

void TVetraMainForm::write_placement(settings::IniFile& file) {
    // A window that was never shown restored has no normal geometry of its own yet.
    const QRect g = normalGeometry().isValid() ? normalGeometry() : restored_;
    const int state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
    settings::save_placement(file, kPlacementSection,
                             {g.top(), g.left(), g.width(), g.height(), state});
    table_page_->save_settings(file);
    gas_log_page_->save_settings(file);
}

// --- main timer ---------------------------------------------------------------------------

void TVetraMainForm::MainTimerTimer() {
    workstation_.on_tick();
    try {
        system_.on_timer_tick();
    } catch (const control::VetraError& e) {
        chromatogram_page_->show_error(e.what(), true);
        show_failure(e.what());
        status_bar_->refresh();
        return;
    }

    // For model 0 the workstation has just stored the external reader's value.
    if (settings_.totalizer_show && settings_.totalizer_use.load()) {
        Panel1->SetValue(system_.link().current_average(), settings_.gaz_summ_prec);
    } else if (settings_.totalizer_show && settings_.porog_from_station) {
        Panel1->SetValue(workstation_.station_client().last_value(), settings_.gaz_summ_prec);
    }

    if (settings_.show_adc) {
        const auto adc = system_.link().adc_display();
        indiAdc->SetCaption(
            adc_indicator_text(adc.code, adc.range, system_.state(), settings_.adc_value_mode));
    }

    if (system_.state() == 0) {
        std::int32_t seconds = 0;
        {
            library::ScopedLock lock(system_.data_lock());
            seconds = system_.link().elapsed_seconds();
        }
        indiTime->SetCaption(QString::number(seconds) + " с.");
    } else if (failure_.isEmpty()) {
        indiTime->SetCaption({});
    }

    refresh_chromatogram(false);
    gas_log_page_->refresh();  // a new row shows at this tick, whichever page is open
    if (totalizer_chart_->isVisible()) {
        totalizer_chart_->refresh();
    }
    if (system_.state() == 0) {
        show_state();
    }
    status_bar_->set_show_mark(workstation_.unacknowledged_shows(),
                               QString::fromStdString(workstation_.last_show_line()));
    status_bar_->refresh();
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

// A failed start or a cycle that broke off leaves a word on the indicator and the time it
// happened in the time field, never a bare colour, until the next cycle starts.
void TVetraMainForm::show_failure(const std::string& message) {
    failure_ = q(message);
    failure_time_ = clock_text(system_.clock().local_now());
    show_state();
}

void TVetraMainForm::show_state() {
    if (system_.state() == 0) {
        if (!failure_.isEmpty()) {
            failure_.clear();
            set_hint(indiCurMode, kStateHint);
            set_hint(indiTime, kTimeHint);
        }
        indiCurMode->SetGradient(kWorkTop, kWorkBottom);
        indiCurMode->SetTextColour(Qt::white);
        indiCurMode->SetCaption((blink_ & 1) == 0 ? "Р А Б О Т А" : "");
        ++blink_;
    } else if (!failure_.isEmpty()) {
        const bool no_link =
            failure_ == control::kLostConnectionMessage || failure_ == control::kNoAnswerMessage;
        indiCurMode->SetGradient(kFailedTop, kFailedBottom);
        indiCurMode->SetTextColour(Qt::black);
        indiCurMode->SetCaption(no_link ? "Н Е Т  С В Я З И" : "О Ш И Б К А");
        set_hint(indiCurMode, " Состояние хроматографа: " + failure_ + " ");
        set_hint(indiTime, " Время сбоя ");
        indiTime->SetCaption(failure_time_);
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
                              q(library::fixed_to_text(settings_.porog_value, 3)) + "%");
}

void TVetraMainForm::set_panel_visibility() {
    BitBtn1->setEnabled(!system_.save_all_values());
    Panel1->setVisible(settings_.totalizer_show && settings_.totalizer_use.load());
    chromatogram_page_->set_panels(settings_.show_adc,
                                   settings_.totalizer_show_win && settings_.totalizer_use.load());
}

void TVetraMainForm::refresh_chromatogram(bool force) {
    chromatogram_page_->refresh(force);
}

// --- commands -----------------------------------------------------------------------------

void TVetraMainForm::MenuStart() {
    try {
        system_.start_analysis();
    } catch (const control::VetraError& e) {
        chromatogram_page_->show_error(e.what(), false);
        show_failure(e.what());
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
        analysis::ui::EtalonHooks hooks{
            [this](const std::string& line) { workstation_.event_log().add(line); },
            [this] { reports::ui::show_help_topic(etalon_form_, "calibration"); }};
        etalon_form_ =
            new analysis::ui::TEtalonForm(system_, settings_, operator_, std::move(hooks), this);
    }
    etalon_form_->set_settings_path(system_.settings_path());
    etalon_form_->open_window();
}

void TVetraMainForm::ButtonSaveValues() {
    system_.calculation().publishNow();
}

void TVetraMainForm::ChangeGraphicsRange(double factor) {
    chromatogram_page_->ChangeGraphicsRange(factor);
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
    return Panel1->text();
}

}  // namespace vetra::app::ui
