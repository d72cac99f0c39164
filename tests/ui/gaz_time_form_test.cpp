#include <QComboBox>
#include <QLabel>
#include <QtTest>
#include <atomic>
#include <boost/signals2/signal.hpp>
#include <chrono>
#include <future>
#include <thread>

#include "analysis/gaz_list.h"
#include "analysis/ui/tgaz_time_form.h"
#include "library/lock_object.h"
#include "widgets/ui/range_selector.h"

using vetra::analysis::GazList;
using vetra::analysis::ui::TGazTimeForm;
using vetra::widgets::ui::RangeSelector;

class GazTimeFormTest : public QObject {
    Q_OBJECT

    struct Rig {
        GazList gases;
        vetra::library::LockObject lock;
        boost::signals2::signal<void()> windows_changed;
        int changes = 0;
        int screen = 120;
        TGazTimeForm form{gases, lock, windows_changed, [this] { return screen; }};

        Rig() {
            windows_changed.connect([this] {
                // Listeners may take the data lock again, as the main window's refresh does.
                vetra::library::ScopedLock again(lock);
                ++changes;
            });
        }
        void select(int index) { form.cbGazes()->setCurrentIndex(index); }
        void keys(Qt::Key key, int times) {
            for (int i = 0; i < times; ++i) {
                QTest::keyClick(form.Range(), key);
            }
        }
    };

private Q_SLOTS:
    void is_a_tool_window_over_the_main_window() {
        Rig rig;
        rig.screen = 90;
        rig.form.show();
        QCOMPARE(rig.form.windowTitle(), QStringLiteral(" Корректировка времени выхода газа"));
        // Above the main window as its tool window, but never above a dialog.
        QCOMPARE(rig.form.windowType(), Qt::Tool);
        QVERIFY(!rig.form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!rig.form.isModal());
        QCOMPARE(rig.form.cbGazes()->count(), 6);
        QCOMPARE(rig.form.cbGazes()->itemText(1), QStringLiteral("этан (C2)"));
        QCOMPARE(rig.form.cbGazes()->currentIndex(), 0);
        QCOMPARE(rig.form.Range()->maximum(), 90);
        QCOMPARE(rig.form.Range()->scale_marks(), 20);
        QCOMPARE(rig.form.lbRange()->text(), QStringLiteral("10 - 15"));
        QVERIFY(rig.form.findChild<QComboBox*>("cbGazes") != nullptr);
        QVERIFY(rig.form.findChild<RangeSelector*>("Range") != nullptr);
        QVERIFY(rig.form.findChild<QLabel*>("lbRange") != nullptr);
    }

    void handles_show_the_working_window_rounded_data() {
        QTest::addColumn<float>("start");
        QTest::addColumn<float>("end");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::newRow("16.6 .. 19.4") << 16.6f << 19.4f << 17 << 19;
        QTest::newRow("halves round up") << 10.5f << 15.49f << 11 << 15;
        QTest::newRow("near zero") << 0.4f << 0.5f << 0 << 1;
    }
    void handles_show_the_working_window_rounded() {
        QFETCH(float, start);
        QFETCH(float, end);
        QFETCH(int, a);
        QFETCH(int, b);
        Rig rig;
        rig.gases.gas(1).work_start = start;
        rig.gases.gas(1).work_end = end;
        rig.form.show();
        rig.select(1);
        QCOMPARE(rig.form.Range()->lower(), a);
        QCOMPARE(rig.form.Range()->upper(), b);
        QCOMPARE(rig.form.lbRange()->text(), QString("%1 - %2").arg(a).arg(b));
        // Showing a gas changes nothing.
        QCOMPARE(rig.gases.gas(1).work_start, start);
        QCOMPARE(rig.gases.gas(1).start, 17.0f);
        QCOMPARE(rig.changes, 0);
    }

    void moving_the_handles_sets_both_windows_of_the_gas() {
        Rig rig;
        rig.gases.setWindow(0, 5, 10);  // methane out of the way: 12 .. 18 would overlap it
        rig.form.show();
        rig.select(1);  // этан, 17 .. 20
        rig.form.Range()->setFocus(Qt::TabFocusReason);
        rig.keys(Qt::Key_Left, 5);
        QTest::keyClick(rig.form.Range(), Qt::Key_Tab);
        rig.keys(Qt::Key_Left, 2);
        const auto& gas = rig.gases.gas(1);
        QCOMPARE(gas.start, 12.0f);
        QCOMPARE(gas.work_start, 12.0f);
        QCOMPARE(gas.end, 18.0f);
        QCOMPARE(gas.work_end, 18.0f);
        QCOMPARE(rig.changes, 7);  // once per change
        QCOMPARE(rig.form.lbRange()->text(), QStringLiteral("12 - 18"));
        QCOMPARE(rig.gases.gas(0).start, 5.0f);  // the others stay
        QCOMPARE(rig.gases.gas(2).end, 40.0f);
    }

    // One gas's peak would be counted into the other; a loaded overlap may still be undone.
    void a_move_into_another_gas_window_is_refused_and_names_both() {
        Rig rig;
        rig.form.show();
        rig.select(0);  // метан, 10 .. 15; этан 17 .. 20
        rig.form.Range()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(rig.form.Range(), Qt::Key_Tab);
        rig.keys(Qt::Key_Right, 3);  // 16, 17 (touching), 18
        const auto& methane = rig.gases.gas(0);
        QCOMPARE(methane.end, 17.0f);
        QCOMPARE(methane.work_end, 17.0f);
        QCOMPARE(rig.changes, 2);
        QCOMPARE(rig.form.Range()->upper(), 17);
        QCOMPARE(rig.form.lbRange()->text(), QStringLiteral("10 - 17"));
        const QString said = rig.form.lbOverlap()->text();
        QVERIFY(!rig.form.lbOverlap()->isHidden());
        QVERIFY2(said.contains(QStringLiteral("метан (10 - 18 с)")) &&
                     said.contains(QStringLiteral("этан (17 - 20 с)")),
                 qPrintable(said));
        QCOMPARE(rig.gases.gas(1).start, 17.0f);
        rig.keys(Qt::Key_Left, 1);
        QVERIFY(rig.form.lbOverlap()->isHidden());
        QCOMPARE(methane.end, 16.0f);

        rig.gases.setWindow(0, 10, 33);  // as a file edited by hand may hold
        rig.select(1);
        rig.select(0);
        rig.keys(Qt::Key_Left, 1);
        QCOMPARE(methane.end, 32.0f);
        rig.keys(Qt::Key_Right, 3);  // 33 and 34 still only over ethane; 35 into propane
        QCOMPARE(methane.end, 34.0f);
        QVERIFY(rig.form.lbOverlap()->text().contains(QStringLiteral("пропан")));
    }

    // The acquisition thread reads the windows under the data lock; a change must wait
    // for it.
    void a_change_waits_for_the_data_lock() {
        Rig rig;
        rig.form.show();
        rig.select(1);
        std::atomic<bool> released{false};
        std::promise<void> locked;
        std::jthread holder([&] {
            vetra::library::ScopedLock hold(rig.lock);
            locked.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            released = true;
        });
        locked.get_future().wait();
        bool waited = false;
        // Ahead of the rig's own listener, which takes the lock itself.
        auto check = rig.windows_changed.connect(boost::signals2::at_front,
                                                 [&] { waited = released.load(); });
        rig.form.Range()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(rig.form.Range(), Qt::Key_Left);
        QVERIFY(waited);
        QCOMPARE(rig.gases.gas(1).start, 16.0f);
    }

    void without_gases_the_range_is_disabled() {
        Rig rig;
        rig.gases.resize(0);
        rig.form.show();
        QCOMPARE(rig.form.cbGazes()->count(), 0);
        QVERIFY(!rig.form.Range()->isEnabled());
        QVERIFY(!rig.form.lbRange()->isEnabled());
        rig.form.RangeChange(3, 4);
        QCOMPARE(rig.changes, 0);
    }

    void entries_are_made_once_and_outlive_a_shorter_list() {
        Rig rig;
        rig.form.show();
        rig.form.hide();
        rig.gases.resize(2);
        rig.screen = 60;
        rig.form.show();
        QCOMPARE(rig.form.cbGazes()->count(), 6);
        QCOMPARE(rig.form.Range()->maximum(), 60);  // read at every show
        rig.select(4);                              // no such gas any more
        QVERIFY(!rig.form.Range()->isEnabled());
        rig.form.RangeChange(3, 4);
        QCOMPARE(rig.changes, 0);
        QCOMPARE(rig.gases.count(), 2);
        rig.select(1);
        QVERIFY(rig.form.Range()->isEnabled());
    }

    // Writes the window as a PNG file into $VETRA_SHOT_DIR for a look by eye.
    void picture() {
        const QString dir = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (dir.isEmpty()) {
            QSKIP("VETRA_SHOT_DIR not set");
        }
        Rig rig;
        rig.form.show();
        rig.select(2);
        rig.form.Range()->setFocus(Qt::TabFocusReason);
        QVERIFY(rig.form.grab().save(dir + "/gaz-time-form.png"));
    }
};

QTEST_MAIN(GazTimeFormTest)
#include "gaz_time_form_test.moc"
