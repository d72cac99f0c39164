// The main window on the offscreen platform, started in a program directory of its own.
#include <QAction>
#include <QApplication>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <chrono>
#include <memory>
#include <string>

#include "analysis/ui/tetalon_form.h"
#include "app/ui/tvetra_main_form.h"
#include "control/ui/qt_call_pump.h"
#include "control/vetra_system.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "settings/global_settings.h"
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
    return o;
}

// Everything the window needs, as the program's main() builds it, over a fresh program
// directory whose settings file holds `ini` (UTF-8 here, cp1251 on disk).
struct Workstation {
    explicit Workstation(const std::string& ini = {}) {
        if (!ini.empty()) {
            test::write_bytes(dir / settings::kSettingsFileName, library::utf8_to_cp1251(ini));
        }
        form = std::make_unique<app::ui::TVetraMainForm>(system, settings, op, options(dir, true));
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
    }

    // At the laptop size the operators use: the plot fills the page, and with
    // VETRA_SHOT_DIR set the window is saved during and after a cycle for a person to look at.
    // At the laptop size the operators use: the plot fills the page, and with
    // VETRA_SHOT_DIR set the window is saved during and after a cycle for a person to look at
    // (VETRA_SHOT_PORT: a simulated chromatograph's port instead of the demonstration).
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
            item = a->text() == "Калибровка хроматографа..." ? a : item;
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
