// What the operator sees of failures, of a second start, of Qt's own texts and of the
// small windows, on the offscreen platform.
#include <QAbstractFileIconProvider>
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QToolButton>
#include <QtTest>
#include <array>
#include <chrono>
#include <memory>
#include <stop_token>
#include <thread>

#include "analysis/ui/tgaz_time_form.h"
#include "app/ui/qt_translation.h"
#include "app/ui/single_instance.h"
#include "app/ui/tvetra_main_form.h"
#include "control/ui/qt_call_pump.h"
#include "control/vetra_system.h"
#include "dialog_rig.h"
#include "library/cp1251.h"
#include "storage/ui/tdel_table_form.h"
#include "support/pty_pair.h"

using namespace vetra;
using namespace std::chrono_literals;

namespace {

// The window over a program directory of its own; `port` empty runs the demonstration.
struct Window {
    explicit Window(const std::string& port = {}) {
        test::write_bytes(rig.dir / settings::kSettingsFileName,
                          library::utf8_to_cp1251("[время]\r\nпосылок_в_секунду=1\r\n"));
        app::ui::MainFormOptions o;
        o.program_dir = rig.dir.dir();
        o.demo = port.empty();
        if (!port.empty()) {
            o.port = port;
        }
        o.start_timer = false;
        o.setup_wizard = false;
        form = std::make_unique<app::ui::TVetraMainForm>(rig.system, rig.settings, rig.op, o);
    }
    ~Window() {
        rig.system.link().stop_acquisition();
        form.reset();
    }
    template <class Done>
    bool tick_until(Done done) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > 20000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            rig.clock.advance(400ms);
            form->MainTimerTimer();
        }
        return true;
    }
    QString hint(const char* name) const { return form->findChild<QWidget*>(name)->toolTip(); }

    test::DialogRig rig;
    control::ui::QtCallPump pump{rig.system.calls()};
    std::unique_ptr<app::ui::TVetraMainForm> form;
};

// A chromatograph that answers the program, sends a few frames and falls silent.
void answer_then_fall_silent(const test::PtyPair& pty, std::stop_token stop) {
    std::string command;
    while (command.size() < 9 && !stop.stop_requested()) {
        command += pty.read(9 - command.size(), 50ms);
    }
    if (stop.stop_requested()) {
        return;
    }
    pty.write("OK");
    for (char tick = 0; tick < 5; ++tick) {
        const std::array<char, 4> frame{static_cast<char>(0x80 | tick), 0, 0x10, 0};
        pty.write(std::string_view(frame.data(), frame.size()));
    }
}

bool has_cyrillic(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF) {
            return true;
        }
    }
    return false;
}

int red_pixels(QWidget* w) {
    const QImage image = w->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 150 && c.green() < 90 && c.blue() < 90 ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

class OperatorWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // After a lost link the indicator says so and the time field holds when it happened,
    // through the idle ticks that follow, until the next cycle starts.
    void a_failed_cycle_leaves_a_word_and_the_time_on_the_indicators() {
        test::PtyPair pty;
        std::jthread device([&pty](std::stop_token stop) { answer_then_fall_silent(pty, stop); });
        Window w(pty.slave_path());
        w.form->MenuStart();
        QCOMPARE(w.rig.system.state(), 0);
        QVERIFY(w.tick_until([&] { return w.rig.system.state() == 1; }));
        for (int i = 0; i < 3; ++i) {
            w.form->MainTimerTimer();
        }
        QCOMPARE(w.form->state_text(), QString("Н Е Т  С В Я З И"));
        QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(w.form->time_text()).hasMatch(),
                 qPrintable(w.form->time_text()));
        QVERIFY(w.hint("indiCurMode").contains(control::kLostConnectionMessage));
        if (const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR"); !shots.isEmpty()) {
            w.form->resize(1366, 768);
            QVERIFY(w.form->grab().save(shots + "/main-after-lost-link.png"));
        }

        // A cycle that ends with a fault of the line is an error of its own.
        w.rig.system.cycle_finished(-98);
        QCOMPARE(w.form->state_text(), QString("О Ш И Б К А"));
        QVERIFY(w.hint("indiCurMode").contains("-98"));

        // The next start clears it.
        w.rig.settings.demo = true;
        w.form->MenuStart();
        QCOMPARE(w.rig.system.state(), 0);
        QVERIFY(w.form->state_text() == "Р А Б О Т А" || w.form->state_text().isEmpty());  // blinks
        QCOMPARE(w.hint("indiCurMode"), QString("Состояние хроматографа"));
    }

    void a_failed_start_is_not_left_as_ready() {
        Window w("/nonexistent/ttyVETRA");
        w.rig.settings.demo = false;
        w.form->MenuStart();
        QCOMPARE(w.rig.system.state(), 1);
        QCOMPARE(w.form->state_text(), QString("О Ш И Б К А"));
        QVERIFY(!w.form->time_text().isEmpty());
        QVERIFY(w.hint("indiCurMode").contains("/nonexistent/ttyVETRA"));
    }

    // A second start on the directory asks the first to come forward; other directories and
    // a start after the first has ended are first starts of their own.
    void a_second_start_brings_the_running_window_forward() {
        test::TempDir dir;
        test::TempDir other;
        QWidget window;
        window.showMinimized();
        {
            app::ui::SingleInstance first(dir.dir());
            QVERIFY(first.claim());
            connect(&first, &app::ui::SingleInstance::showRequested, &window,
                    [&window] { app::ui::bring_forward(&window); });
            app::ui::SingleInstance second(dir.dir());
            QVERIFY(!second.claim());
            QVERIFY(second.ask_running_to_show());
            QTRY_VERIFY(!window.isMinimized());
            QVERIFY(window.isVisible());

            app::ui::SingleInstance elsewhere(other.dir());
            QVERIFY(elsewhere.claim());
        }
        app::ui::SingleInstance again(dir.dir());
        QVERIFY(again.claim());
        app::ui::SingleInstance late(dir.dir());
        QVERIFY(late.ask_running_to_show());
    }

    // The gas exit-time window opens clear of the menu bar and of "Запуск".
    void the_gas_exit_time_window_leaves_menu_and_start_free() {
        Window w;
        w.form->setGeometry(0, 0, 1366, 740);
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        for (QAction* a : w.form->findChildren<QAction*>()) {
            if (QString(a->text()).remove(QChar(u'&')) == "Время выхода газов") {
                a->trigger();
            }
        }
        auto* gas_times = w.form->findChild<analysis::ui::TGazTimeForm*>();
        QVERIFY(gas_times && gas_times->isVisible());
        const auto global = [](QWidget* widget) {
            return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        };
        const QRect placed = gas_times->frameGeometry();
        QVERIFY(!placed.intersects(global(w.form->menuBar())));
        QVERIFY(!placed.intersects(global(w.form->findChild<QToolButton*>("ToolButton1"))));
        QVERIFY(w.form->screen()->availableGeometry().contains(placed));
    }

    // "Стереть..." is red only while it can be pressed.
    void the_erase_button_is_red_only_when_enabled() {
        storage::ui::TDelTableForm form;
        form.show();
        auto* erase = form.findChildren<QPushButton*>().first();
        QCOMPARE(erase->text(), QString("Стереть..."));
        QVERIFY(!erase->isEnabled());
        QCOMPARE(red_pixels(erase), 0);
        form.findChild<QCheckBox*>()->setChecked(true);
        QVERIFY(erase->isEnabled());
        QVERIFY(red_pixels(erase) > 10);
    }

    // Last: the translation stays installed for the rest of the program.
    void qt_texts_are_russian_for_a_russian_locale() {
        auto& app = *QCoreApplication::instance();
        QVERIFY(!app::ui::install_qt_translation(app, QLocale(QLocale::English)));
        QVERIFY(app::ui::install_qt_translation(app, QLocale(QLocale::Russian)));

        QMessageBox box(QMessageBox::Question, "  Печать", "Распечатать хроматограмму ?",
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QString("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QString("Нет"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove('&'), QString("Отмена"));

        // The type column of the file dialog, which Qt's translation leaves in English.
        QCOMPARE(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())), QString("Папка"));
        QFileDialog files(nullptr, "  Сохранение рисунка");
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setAcceptMode(QFileDialog::AcceptSave);
        const auto* buttons = files.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        for (QAbstractButton* b : buttons->buttons()) {
            QVERIFY2(has_cyrillic(b->text()), qPrintable(b->text()));
        }
        QColorDialog colours;
        colours.setOption(QColorDialog::DontUseNativeDialog);
        int russian = 0;
        for (const QLabel* label : colours.findChildren<QLabel*>()) {
            QVERIFY2(label->text() != "&Basic colors", "the colour dialog is in English");
            russian += has_cyrillic(label->text()) ? 1 : 0;
        }
        QVERIFY(russian >= 3);
    }
};

QTEST_MAIN(OperatorWindowTest)
#include "operator_window_test.moc"
