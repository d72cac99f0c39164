// The main window on the offscreen platform, started in a program directory of its own.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QTableView>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "analysis/gas_shows.h"
#include "analysis/ui/tetal_vis_form.h"
#include "analysis/ui/tetalon_form.h"
#include "app/ui/session_end_notifier.h"
#include "app/ui/tvetra_main_form.h"
#include "app/ui/workstation_status_bar.h"
#include "control/ui/qt_call_pump.h"
#include "control/vetra_system.h"
#include "dialog_rig.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/file_reporter.h"
#include "library/ui/screen_fit.h"
#include "library/number_text.h"
#include "session_end.h"
#include "settings/global_settings.h"
#include "settings/ui/topt_master_form.h"
#include "storage/totalizer_file.h"
#include "storage/ui/ttable_page.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

using namespace vetra;
using namespace std::chrono_literals;

namespace {

app::ui::MainFormOptions options(const test::TempDir& dir, bool demo) {
    app::ui::MainFormOptions o;
    o.program_dir = dir.dir();
    o.demo = demo;
    o.start_timer = false;  // the test steps the timer itself
    o.setup_wizard = false;
    return o;
}

// Everything the window needs, as the program's main() builds it, over a fresh program
// directory whose settings file holds `ini` (UTF-8 here, cp1251 on disk).
struct Workstation {
    explicit Workstation(const std::string& ini = {}, bool wizard = false) {
        if (!ini.empty()) {
            test::write_bytes(dir / settings::kSettingsFileName, library::utf8_to_cp1251(ini));
        }
        auto o = options(dir, true);
        o.setup_wizard = wizard;
        form = std::make_unique<app::ui::TVetraMainForm>(system, settings, op, o);
    }
    ~Workstation() {
        system.link().stop_acquisition();
        form.reset();
    }

    // Lets the window's timer step run until `done`, processing queued points meanwhile.
    template <class Done>
    bool tick_until(Done done, std::chrono::seconds limit = std::chrono::seconds(60)) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > std::chrono::milliseconds(limit).count()) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            clock.advance(std::chrono::milliseconds(400));
            form->MainTimerTimer();
        }
        return true;
    }

    test::TempDir dir;
    settings::GlobalSettings settings;
    test::RecordingOperator op;
    library::ManualClock clock;
    control::VetraSystem system{settings, op, clock};
    control::ui::QtCallPump pump{system.calls()};
    std::unique_ptr<app::ui::TVetraMainForm> form;
};

// One point a second keeps a demonstration cycle short.
const std::string kFastDemo = "[время]\r\nпосылок_в_секунду=1\r\n";

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void a_first_start_runs_the_wizard_before_the_window_shows() {
        bool wizard = false;
        bool window_hidden = false;
        test::on_modal([&](QDialog* dialog) {
            wizard = qobject_cast<settings::ui::TOptMasterForm*>(dialog) != nullptr;
            window_hidden = !dialog->parentWidget()->isVisible();
            dialog->reject();
        });
        Workstation w({}, true);
        QVERIFY(wizard);
        QVERIFY(window_hidden);
        QVERIFY(w.settings.first_start);
        QCOMPARE(w.form->windowTitle(), QString("Хроматограф ТД-5ЛК"));
    }

    void a_demonstration_cycle_shows_work_time_and_points() {
        Workstation w(kFastDemo);
        QCOMPARE(w.form->state_text(), QString("Г О Т О В"));
        QVERIFY(w.form->time_text().isEmpty());

        w.form->MenuStart();
        QCOMPARE(w.system.state(), 0);
        bool seen_work = false;
        bool seen_seconds = false;
        QVERIFY(w.tick_until([&] {
            seen_work |= w.form->state_text() == "Р А Б О Т А";
            seen_seconds |= w.form->time_text().endsWith(" с.") &&
                            w.form->time_text().split(' ').first().toInt() > 0;
            return w.system.state() == 1;
        }));
        QVERIFY(seen_work);
        QVERIFY(seen_seconds);
        QCOMPARE(w.form->state_text(), QString("Г О Т О В"));
        QVERIFY(w.form->time_text().isEmpty());
        QVERIFY(w.system.view().point_count() > 100);
        QCOMPARE(w.system.view().point_count(), w.system.link().sample_count());
        // The whole cycle is drawn with one offset: the points that arrive as it ends, when
        // the new zero level is stored, must not drop below the axis.
        const std::vector<double>& points = w.system.view().points;
        const double offset = w.system.link().sample_at(0).value - points[0];
        int shifted = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double v = w.system.link().sample_at(static_cast<int>(i)).value;
            shifted += std::abs(v - points[i] - offset) > 1e-9 ? 1 : 0;
        }
        QCOMPARE(shifted, 0);
        QVERIFY(w.system.link().display_offset() != 0);  // else nothing was at stake
        // A published list is a row of the table page, of the well's "data.tim" and a line of
        // the day's text data.
        analysis::GazResult methane;
        methane.name = "метан";
        methane.code = "C1";
        methane.concentration = 0.25;
        w.system.calculation().results_notification({methane}, 12.5f);
        auto* table = w.form->findChild<QTableView*>("grTextValues");
        QVERIFY(table != nullptr);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(std::filesystem::file_size(w.dir / "default" / "default" / "data.tim"), 145u);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(w.dir / "TextData"), {}), 1);
    }

    // At the laptop size the operators use: the plot fills the page, and with
    // VETRA_SHOT_DIR set the window is saved during and after a cycle for a person to look at.
    // At the laptop size the operators use: the plot fills the page, and with
    // VETRA_SHOT_DIR set the window is saved during and after a cycle for a person to look at
    // (VETRA_SHOT_PORT: a simulated chromatograph's port instead of the demonstration).
    // Model 1 in demonstration: the built-in totalizer streams between cycles, the reading
    // panel and the chart show it, and a close keeps the log, the chart's width and span.
    void the_built_in_totalizer_fills_panel_chart_and_log() {
        Workstation w(kFastDemo +
                      "[порт]\r\ndevice_type=01000000\r\n[газосумматор]\r\nuse=1\r\nshow=1\r\n"
                      "show_win=1\r\nwin_mashtab=9\r\nwin_width=260\r\n");
        w.form->resize(1366, 768);
        w.form->show();
        QVERIFY(w.tick_until([&] { return w.system.link().totalizer_log().size() >= 5; }));
        QCOMPARE(w.form->totalizer_text(),
                 QString::number(w.system.link().current_average(), 'f', 2)
                     .replace('.', QChar(library::decimal_separator())));
        const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (!shots.isEmpty()) {
            QVERIFY(w.form->grab().save(shots + "/main-totalizer.png"));
        }
        const std::size_t records = w.system.link().totalizer_log().size();
        QVERIFY(w.form->close());
        const std::string ini =
            library::cp1251_to_utf8(test::read_bytes(w.dir / settings::kSettingsFileName));
        QVERIFY(ini.find("win_mashtab=9") != std::string::npos);
        QVERIFY(ini.find("[planshet_summ_Суммарный газ]\r\ncolor=clBlack") != std::string::npos);
        analysis::TotalizerLog saved;
        QCOMPARE(storage::load_totalizer_file(
                     saved, w.dir / "default" / "default" / storage::kTotalizerLogFileName),
                 storage::TotalizerLoad::loaded);
        QVERIFY(saved.size() >= records);
    }

    void the_window_at_1366_by_768_during_and_after_a_cycle() {
        const QString port = qEnvironmentVariable("VETRA_SHOT_PORT");
        Workstation w("[время]\r\nпосылок_в_секунду=" + std::string(port.isEmpty() ? "4" : "8") +
                      "\r\n[экран]\r\nзначения_АЦП=1\r\n");
        if (!port.isEmpty()) {
            w.form.reset();
            w.settings.demo = false;
            w.settings.port_name = port.toStdString();
            app::ui::MainFormOptions o = options(w.dir, false);
            o.port = port.toStdString();
            w.form = std::make_unique<app::ui::TVetraMainForm>(w.system, w.settings, w.op, o);
        }
        w.form->resize(1366, 768);
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR");
        w.form->MenuStart();
        const int rate = w.settings.samples_per_second;
        QVERIFY(w.tick_until([&] { return w.system.view().point_count() >= rate * 60; }, 120s));
        if (!shots.isEmpty()) {
            QVERIFY(w.form->grab().save(shots + "/main-during-cycle.png"));
        }
        QVERIFY(w.tick_until([&] { return w.system.state() == 1; }, 120s));
        QCoreApplication::processEvents();
        auto* plot = w.form->findChild<QWidget*>("chromatogram");
        QVERIFY(plot);
        QVERIFY(plot->width() > 1000 && plot->height() > 400);
        QCOMPARE(w.system.calculation().results().size(), std::size_t{13});
        if (!shots.isEmpty()) {
            QVERIFY(w.form->grab().save(shots + "/main-after-cycle.png"));
        }
        if (port.isEmpty()) {
            return;
        }
        // Against the simulator: the time mode counting down, and (VETRA_SHOT_LOST_PORT, a
        // simulator that falls silent) a lost link.
        w.system.set_time_mode_period(120);
        w.form->MenuSelectWorkMode(control::kByTime);
        QVERIFY(w.tick_until([&] { return w.system.seconds_counter() >= 5; }));
        if (!shots.isEmpty()) {
            QVERIFY(w.form->grab().save(shots + "/main-time-mode.png"));
        }
        const QString lost = qEnvironmentVariable("VETRA_SHOT_LOST_PORT");
        if (!lost.isEmpty()) {
            w.form->MenuSelectWorkMode(control::kManual);
            w.settings.port_name = lost.toStdString();
            w.form->MenuStart();
            using Bar = app::ui::WorkstationStatusBar;
            QVERIFY(w.tick_until(
                [&] { return w.form->status_bar()->text(Bar::chromatograph).contains("потеряна"); },
                120s));
            if (!shots.isEmpty()) {
                QVERIFY(w.form->grab().save(shots + "/main-lost-link.png"));
            }
        }
    }

    // The status line keeps the state in view beside a hint, and each field says its part.
    void the_status_line_says_the_state() {
        using Bar = app::ui::WorkstationStatusBar;
        Workstation w(kFastDemo);
        w.form->resize(1366, 768);
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        Bar* bar = w.form->status_bar();
        QCOMPARE(bar->text(Bar::chromatograph), QString("Демонстрация"));
        QCOMPARE(bar->text(Bar::analysis), QString("Анализ: ещё не было"));
        QCOMPARE(bar->text(Bar::files), QString());
        w.form->MenuStart();
        QVERIFY(w.tick_until([&] { return w.system.state() == 1; }));
        w.system.calculation().results_notification({}, 0.0f);  // a list published
        w.form->MainTimerTimer();
        // The manual clock runs on as fast as the ticks come, so only the form is certain.
        QVERIFY2(QRegularExpression("^Анализ: \\d\\d:\\d\\d:\\d\\d$")
                     .match(bar->text(Bar::analysis))
                     .hasMatch(),
                 qPrintable(bar->text(Bar::analysis)));

        w.system.set_time_mode_period(120);
        w.form->MenuSelectWorkMode(control::kByTime);
        app::WorkstationStatus& status = w.form->workstation().status();
        status.file_failed("data.tim", "нет места на диске");
        w.form->MainTimerTimer();
        // The workstation says the WITS links' state on every tick (here: none is on).
        QVERIFY(!bar->findChild<QWidget*>("statusWits")->isVisible());
        status.set_wits_state(app::WitsDirection::output, app::Health::waiting,
                              "порт 5005, нет приёмника");
        bar->refresh();
        QVERIFY2(bar->text(Bar::mode).startsWith("Временной режим, запуск через "),
                 qPrintable(bar->text(Bar::mode)));
        QCOMPARE(bar->text(Bar::files), QString("Не записан файл data.tim"));
        QCOMPARE(bar->health(Bar::files), app::Health::fault);
        QCOMPARE(bar->text(Bar::wits), QString("WITS: выход порт 5005, нет приёмника"));

        // A hint in the status line leaves every field where it is, whole.
        bar->showMessage(" Запуск хроматографа в ручном режиме ");
        QCoreApplication::processEvents();
        const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (!shots.isEmpty()) {
            QVERIFY(w.form->grab().save(shots + "/status-demo-time-mode.png"));
        }
        for (const char* name : {"statusChromatograph", "statusMode", "statusAnalysis",
                                 "statusStation", "statusWits", "statusFiles"}) {
            auto* lamp = bar->findChild<QWidget*>(name);
            QVERIFY2(lamp && lamp->isVisible(), name);
            // The bar lays its fields out on the next pass of the event loop.
            QTRY_VERIFY2(lamp->geometry().right() <= bar->width(), name);
        }
        status.file_recovered("data.tim");
        w.form->MainTimerTimer();
        QVERIFY(!bar->findChild<QWidget*>("statusFiles")->isVisible());
        QVERIFY(QString::fromStdString(w.form->workstation().event_log().lines().back())
                    .endsWith(QString::fromStdString(library::file_recovered_text("data.tim"))));
    }

    // A show found marks the status line with a short word, its journal line in the tooltip, and
    // beeps; a click on the mark acknowledges it and the mark goes. No cycle waits for it.
    void a_show_is_marked_until_the_operator_acknowledges_it() {
        Workstation w(kFastDemo);
        w.form->resize(1366, 768);
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        auto* bar = w.form->status_bar();
        auto* mark = bar->findChild<QWidget*>("statusShow");
        QVERIFY(mark && !mark->isVisible());
        analysis::GasShow show;
        show.top = 1523.4;
        show.bottom = 1527.0;
        show.peak_total = 4.2;
        show.background = 0.6;
        const std::size_t beeps = w.op.beeps.size();
        w.form->workstation().well_depth().show_found(show);
        w.form->MainTimerTimer();
        QCOMPARE(w.op.beeps.size(), beeps + 1);
        QVERIFY(mark->isVisible());
        QCOMPARE(bar->show_mark_text(), QString("Газ!"));
        QVERIFY2(mark->toolTip().startsWith("Газопоказание 1523,4-1527,0 м"),
                 qPrintable(mark->toolTip()));
        QTRY_VERIFY(mark->geometry().right() <= bar->width());
        w.form->MenuStart();
        QVERIFY(w.tick_until([&] { return w.system.state() == 1; }));  // cycles go on
        QVERIFY(mark->isVisible());
        QTest::mouseClick(mark, Qt::LeftButton);
        QVERIFY(!mark->isVisible());
        QCOMPARE(w.form->workstation().unacknowledged_shows(), 0);
        w.form->MainTimerTimer();
        QVERIFY(!mark->isVisible());
    }

    // A port that cannot be opened is said in the status line and once in the journal.
    void a_dead_port_is_said_in_the_status_line_and_the_journal() {
        using Bar = app::ui::WorkstationStatusBar;
        Workstation w("[порт]\r\nимя=/nonexistent/ttyVETRA\r\n[расчёт]\r\ndemo=0\r\n");
        w.form.reset();
        w.form = std::make_unique<app::ui::TVetraMainForm>(w.system, w.settings, w.op,
                                                           options(w.dir, false));
        w.form->resize(1366, 768);
        w.form->show();
        QCOMPARE(w.form->status_bar()->health(Bar::chromatograph), app::Health::waiting);
        w.form->MenuSelectWorkMode(control::kContinuous);
        for (int i = 0; i < 4; ++i) {
            w.clock.advance(400ms);
            w.form->MainTimerTimer();
        }
        QCOMPARE(w.form->status_bar()->text(Bar::chromatograph),
                 QString("/nonexistent/ttyVETRA ТД-5ЛК: порт не открывается"));
        QCOMPARE(w.form->status_bar()->health(Bar::chromatograph), app::Health::fault);
        auto* lamp = w.form->status_bar()->findChild<QWidget*>("statusChromatograph");
        QVERIFY(lamp->width() >= lamp->sizeHint().width());  // whole, not cut short
        int lines = 0;
        for (const auto& line : w.form->workstation().event_log().lines()) {
            lines += line.find("Не удалось открыть порт хроматографа") != std::string::npos;
        }
        QCOMPARE(lines, 1);
        const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (!shots.isEmpty()) {
            QVERIFY(w.form->grab().save(shots + "/status-dead-port.png"));
        }
        w.form->MenuSelectWorkMode(control::kManual);
    }

    void the_title_follows_the_model_data() {
        QTest::addColumn<QString>("block");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("warmup_item");
        QTest::newRow("model 0") << "00000000"
                                 << "Хроматограф ТД-5ЛК" << false;
        QTest::newRow("model 1") << "01000000"
                                 << "Хроматограф Велон" << true;
        QTest::newRow("model 2") << "02000000"
                                 << "Хроматограф <Неизвестный прототип> (ПРОВЕРЬТЕ ПРАВИЛЬНОСТЬ "
                                    "УСТАНОВКИ ПРОГРАММЫ !!!)"
                                 << true;
    }
    void the_title_follows_the_model() {
        QFETCH(QString, block);
        QFETCH(QString, title);
        QFETCH(bool, warmup_item);
        Workstation w("[порт]\r\ndevice_type=" + block.toStdString() + "\r\n");
        QCOMPARE(w.form->windowTitle(), title);
        auto* warmup = w.form->findChild<QAction*>("mProgrev");
        QVERIFY(warmup);
        QCOMPARE(warmup->isVisible(), warmup_item);
    }

    // The menu item opens the calibration window on the controller's calibration.
    void the_calibration_menu_opens_the_calibration_window() {
        Workstation w;
        w.system.calibration().copyPointsFrom({{"1 / 10", 3, {{0.5, 1000}}}});
        QAction* item = nullptr;
        for (QAction* a : w.form->findChildren<QAction*>()) {
            item = QString(a->text()).remove('&') == "Калибровка хроматографа..." ? a : item;
        }
        QVERIFY(item && item->isEnabled());
        item->trigger();
        auto* etalon = w.form->findChild<analysis::ui::TEtalonForm*>();
        QVERIFY(etalon && etalon->isVisible());
        QCOMPARE(etalon->Grid1()->rowCount(), 1);
    }

    void closing_is_refused_while_a_cycle_runs() {
        Workstation w(kFastDemo);
        w.form->show();
        w.form->MenuStart();
        QVERIFY(!w.form->close());
        QCOMPARE(w.op.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(w.op.messages[0].text),
                 QString("Для закрытия программы дождитесь завершения работы хроматографа"));
        QVERIFY(w.form->isVisible());
        QVERIFY(w.op.questions.empty());

        QVERIFY(w.tick_until([&] { return w.system.state() == 1; }));
        w.op.answer = false;
        QVERIFY(!w.form->close());
        QCOMPARE(QString::fromStdString(w.op.questions.back().text),
                 QString("Вы действительно хотите выйти из программы ?"));
        w.op.answer = true;
        QVERIFY(w.form->close());
    }

    // A question box runs an event loop in which the timer may start a cycle: the answer
    // must then neither stop the cycle nor print.
    void a_cycle_started_during_a_question_is_not_disturbed() {
        Workstation w(kFastDemo);
        w.form->show();
        w.op.while_asking = [&] { w.form->MenuStart(); };
        QVERIFY(!w.form->close());
        QCOMPARE(w.system.state(), 0);
        QVERIFY(w.form->isVisible());
        QCOMPARE(QString::fromStdString(w.op.messages.back().text),
                 QString("Для закрытия программы дождитесь завершения работы хроматографа"));

        QVERIFY(w.tick_until([&] { return w.system.state() == 1; }));
        w.op.messages.clear();
        w.form->findChild<QToolButton*>("printButton")->click();
        QCOMPARE(QString::fromStdString(w.op.questions.back().text),
                 QString("Распечатать хроматограмму ?"));
        QCOMPARE(w.system.state(), 0);
        QCOMPARE(w.op.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(w.op.messages[0].text),
                 QString("Невозможно выполнить печать. Дождитесь окончания цикла хроматографа"));
    }

    // A logout or shutdown: the window closes in order without its question, even in the
    // middle of a cycle.
    void a_session_end_signal_closes_in_order_data() {
        QTest::addColumn<int>("signal");
        for (const test::SessionEndKind& kind : test::session_end_kinds()) {
            QTest::newRow(kind.name) << kind.code;
        }
    }
    void a_session_end_signal_closes_in_order() {
        QFETCH(int, signal);
        Workstation w(kFastDemo);
        app::ui::SessionEndNotifier ender;  // wired as main() wires it
        connect(&ender, &app::ui::SessionEndNotifier::ended, w.form.get(),
                &app::ui::TVetraMainForm::end_session);
        w.form->show();
        w.form->MenuStart();
        QCOMPARE(w.system.state(), 0);
        test::end_session(signal);
        QTRY_VERIFY(!w.form->isVisible());
        QVERIFY(w.op.questions.empty());
        QVERIFY(w.op.messages.empty());
        QVERIFY(w.system.link().idle());
        settings::GlobalSettings reread;
        reread.load_from(w.dir.dir());
        QVERIFY(!reread.first_start);
        const std::string ini =
            library::cp1251_to_utf8(test::read_bytes(w.dir / settings::kSettingsFileName));
        QVERIFY(ini.find("[VetraSystem]") != std::string::npos);
    }

    // Absurd buffer settings must not stop the program at start-up nor freeze the paint.
    void a_huge_screen_span_still_starts() {
        Workstation w(
            "[время]\r\nпосылок_в_секунду=2000000000\r\n[режим_работы]\r\nразмер_экрана="
            "2000000000\r\n");
        w.form->resize(900, 600);
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        w.form->MainTimerTimer();
        QVERIFY(!w.form->grab().isNull());
    }

    // A first start opens large enough to use the plot at once; a stored placement, also a
    // maximised one, comes back as it was left and is stored again as it was.
    void the_window_opens_where_it_was_left_data() {
        QTest::addColumn<QString>("placement");
        QTest::addColumn<bool>("maximised");
        QTest::newRow("first start") << "" << false;
        QTest::newRow("stored") << "top=40\r\nleft=30\r\nwidth=900\r\nheight=550\r\nstate=0"
                                << false;
        QTest::newRow("maximised")
            << "top=40\r\nleft=30\r\nwidth=900\r\nheight=550\r\nstate=2" << true;
        // Left on a second monitor that is gone: back on this screen, whole.
        QTest::newRow("off screen")
            << "top=3000\r\nleft=-5000\r\nwidth=900\r\nheight=550\r\nstate=0" << false;
    }
    void the_window_opens_where_it_was_left() {
        QFETCH(QString, placement);
        QFETCH(bool, maximised);
        Workstation w(placement.isEmpty()
                          ? std::string()
                          : "[главное_окно]\r\n" + placement.toStdString() + "\r\n");
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        QCOMPARE(w.form->isMaximized(), maximised);
        const QRect screen = w.form->screen()->availableGeometry();
        if (placement.isEmpty()) {
            QVERIFY2(w.form->width() >= screen.width() * 9 / 10 &&
                         w.form->height() >= screen.height() * 9 / 10,
                     qPrintable(QString("%1x%2 on %3x%4")
                                    .arg(w.form->width())
                                    .arg(w.form->height())
                                    .arg(screen.width())
                                    .arg(screen.height())));
            // Not past the screen's top or left edge, even where the window needs more.
            QVERIFY(screen.contains(w.form->geometry().topLeft()));
            return;
        }
        if (QString(QTest::currentDataTag()) == "off screen") {
            QVERIFY(screen.contains(w.form->geometry().topLeft()));
            QVERIFY(w.form->height() <= 550);
            return;
        }
        if (!maximised) {
            QCOMPARE(w.form->geometry(), QRect(30, 40, 900, 550));
        }
        w.form.reset();
        const std::string ini =
            library::cp1251_to_utf8(test::read_bytes(w.dir / settings::kSettingsFileName));
        QVERIFY(ini.find(placement.toStdString()) != std::string::npos);
    }

    // New windows open centred on the one they belong to, and again where the operator left
    // them while that is on a screen; the table's edit mode never changes the main window's
    // size.
    void windows_open_over_their_parent_and_a_mode_switch_keeps_the_size() {
        QWidget parent;
        parent.setGeometry(300, 200, 400, 300);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QWidget child(&parent, Qt::Window);
        const QRect centred = library::ui::opening_place(&child, {200, 100});
        QCOMPARE(centred.size(), QSize(200, 100));
        QVERIFY((centred.center() - parent.frameGeometry().center()).manhattanLength() <= 2);
        QCOMPARE(library::ui::opening_place(&child, {200, 100}, {50, 60, 200, 100}),
                 QRect(50, 60, 200, 100));
        const QRect room = parent.screen()->availableGeometry();
        QVERIFY(room.contains(library::ui::opening_place(&child, {}, {5000, -900, 200, 100})));

        // The calibration curves: over the calibration window first, then where left.
        Workstation w;
        const std::string ini = (w.dir / "curves.ini").string();
        QPoint left;
        {
            analysis::ui::TEtalVisForm curves(w.system.gases(), {}, 1.0, ini, &parent);
            const QPoint off = curves.geometry().center() - parent.frameGeometry().center();
            QVERIFY2(off.manhattanLength() <= 60,
                     qPrintable(QString("%1,%2").arg(curves.x()).arg(curves.y())));
            curves.move(curves.x() - 30, curves.y() - 20);
            left = curves.pos();
        }
        analysis::ui::TEtalVisForm again(w.system.gases(), {}, 1.0, ini, &parent);
        QCOMPARE(again.pos(), left);

        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        auto* table = w.form->findChild<storage::ui::TTablePage*>();
        QVERIFY(table != nullptr);
        auto* pages = w.form->findChild<QTabWidget*>("PageControl1");
        QVERIFY(pages != nullptr);
        pages->setCurrentWidget(table);
        QCoreApplication::processEvents();
        const QSize before = w.form->size();
        table->N11->trigger();
        QVERIFY(table->lblEditHint->isVisibleTo(w.form.get()));
        QCoreApplication::processEvents();
        QCOMPARE(w.form->size(), before);
        table->N11->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(w.form->size(), before);
    }

    void an_orderly_close_saves_the_settings_and_the_controller_files() {
        Workstation w;
        QVERIFY(w.settings.first_start);
        w.form->MenuSelectWorkMode(control::kContinuous);
        w.form->MenuSelectWorkMode(control::kManual);
        QVERIFY(w.form->close());
        const std::string ini =
            library::cp1251_to_utf8(test::read_bytes(w.dir / settings::kSettingsFileName));
        QVERIFY(ini.find("[VetraSystem]") != std::string::npos);
        QVERIFY(ini.find("item6=") != std::string::npos);  // the gas list
        // A demonstration started from the command line is not stored.
        QVERIFY(ini.find("demo=0") != std::string::npos);
        w.form.reset();
        settings::GlobalSettings reread;
        reread.load_from(w.dir.dir());
        QVERIFY(!reread.first_start);
    }

    void the_adc_indicator_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("hexadecimal") << 0 << 6699 << "АЦП=1A2Bh ДИАП=2[1]";
        QTest::newRow("decimal") << 1 << 6699 << "АЦП=6699 ДИАП=2[1]";
        QTest::newRow("short hexadecimal is padded") << 0 << 10 << "АЦП=000Ah ДИАП=2[1]";
        QTest::newRow("negative code") << 0 << -1 << "АЦП=FFFFFFFFh ДИАП=2[1]";
    }
    void the_adc_indicator() {
        QFETCH(int, mode);
        QFETCH(int, code);
        QFETCH(QString, text);
        Workstation w;
        w.settings.show_adc = true;
        w.settings.adc_value_mode = mode;
        w.system.link().publish_display(code, 2);
        w.form->MainTimerTimer();
        QCOMPARE(w.form->adc_text(), text);
    }

    // The window runs under the operator's locale (its own ctest run uses ru_RU): only the
    // injected separator may reach a number text.
    void number_texts_follow_only_the_injected_separator_data() {
        QTest::addColumn<QChar>("separator");
        QTest::newRow("point") << QChar('.');
        QTest::newRow("comma") << QChar(',');
    }
    void number_texts_follow_only_the_injected_separator() {
        QFETCH(QChar, separator);
        const char saved = library::decimal_separator();
        library::set_decimal_separator(separator.toLatin1());
        Workstation w("[порог]\r\nporog_po_summe_value=1,25\r\n");
        const QString threshold = w.form->findChild<QToolButton*>("ToolButton8")->toolTip();
        library::set_decimal_separator(saved);
        QCOMPARE(threshold, QString("Режим запуска при показаниях газосумматора более чем: 1") +
                                separator + "250%");
    }

    void zooming_stops_at_its_limits() {
        Workstation w;
        w.system.view().set_range(0, 0.0005);
        w.form->ChangeGraphicsRange(0.1);  // 0.00005 is below the limit
        QCOMPARE(w.system.view().range().second, 0.0005);
        w.form->ChangeGraphicsRange(10);
        QCOMPARE(w.system.view().range().second, 0.005);
        w.system.view().set_range(0, 5000);
        w.form->ChangeGraphicsRange(10);  // 50000 is above it
        QCOMPARE(w.system.view().range().second, 5000.0);
        auto* automatic = w.form->findChild<QToolButton*>("zoomAuto");
        QVERIFY(automatic && !automatic->isChecked());
        w.form->ChangeGraphicsRange(0);
        QCOMPARE(w.system.view().fixed_top, 0.0);
        QVERIFY(automatic->isChecked());
    }

    void a_refused_totalizer_mode_leaves_the_manual_button_down() {
        Workstation w;
        w.form->MenuSelectWorkMode(control::kByTotalizer);
        QCOMPARE(w.system.work_mode(), static_cast<std::int32_t>(control::kManual));
        QVERIFY(w.form->findChild<QToolButton*>("ToolButton5")->isChecked());
        QVERIFY(!w.form->findChild<QToolButton*>("ToolButton8")->isChecked());
        QVERIFY(!w.form->findChild<QToolButton*>("ToolButton8")->isEnabled());
        QCOMPARE(w.form->work_mode_text(), QString("Ручной режим"));
    }

    void a_start_error_is_shown_on_the_plot() {
        Workstation w("[порт]\r\nимя=/nonexistent/ttyVETRA\r\n[расчёт]\r\ndemo=0\r\n");
        w.form.reset();
        // Without the session's demonstration mode the missing port is tried.
        w.form = std::make_unique<app::ui::TVetraMainForm>(w.system, w.settings, w.op,
                                                           options(w.dir, false));
        w.form->MenuStart();
        QCOMPARE(QString::fromStdString(w.system.view().message),
                 QString("ОШИБКА: Невозможно открыть порт /nonexistent/ttyVETRA. Возможно он "
                         "отсутствует на компьютере, или занят другим устройством."));
        QVERIFY(w.op.beeps.empty());  // only an error from the timer beeps
        QCOMPARE(w.system.state(), 1);
    }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
