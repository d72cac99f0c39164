#include <QSignalSpy>
#include <QtTest>

#include "widgets/ui/range_selector.h"

using vetra::widgets::ui::RangeSelector;

class RangeSelectorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void set_values_clamps_and_orders_data() {
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::addColumn<int>("expected_lower");
        QTest::addColumn<int>("expected_upper");
        QTest::newRow("inside") << 17 << 19 << 17 << 19;
        QTest::newRow("outside both ends") << -5 << 500 << 0 << 120;
        QTest::newRow("reversed") << 18 << 12 << 12 << 18;
        QTest::newRow("reversed beyond the end") << 300 << 100 << 100 << 120;
        QTest::newRow("one value") << 30 << 30 << 30 << 30;
    }
    void set_values_clamps_and_orders() {
        QFETCH(int, lower);
        QFETCH(int, upper);
        QFETCH(int, expected_lower);
        QFETCH(int, expected_upper);
        RangeSelector range;
        range.set_maximum(120);
        QSignalSpy changed(&range, &RangeSelector::rangeChanged);
        QSignalSpy moved(&range, &RangeSelector::rangeMoved);
        range.set_values(lower, upper);
        QCOMPARE(range.lower(), expected_lower);
        QCOMPARE(range.upper(), expected_upper);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(moved.count(), 0);
    }

    void a_smaller_maximum_pulls_the_handles_in() {
        RangeSelector range;
        range.set_maximum(120);
        range.set_values(60, 100);
        QSignalSpy changed(&range, &RangeSelector::rangeChanged);
        QSignalSpy moved(&range, &RangeSelector::rangeMoved);
        range.set_maximum(50);
        QCOMPARE(range.lower(), 50);
        QCOMPARE(range.upper(), 50);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(moved.count(), 0);  // the program's change, not the operator's
        range.set_maximum(50);
        QCOMPARE(changed.count(), 1);
    }

    void keys_move_the_active_handle_up_to_the_other() {
        RangeSelector range;
        range.set_maximum(120);
        range.set_values(10, 12);
        range.show();
        range.setFocus(Qt::TabFocusReason);
        QCOMPARE(range.active_handle(), RangeSelector::Handle::lower);
        QSignalSpy moved(&range, &RangeSelector::rangeMoved);
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(&range, Qt::Key_Right);
        }
        QCOMPARE(range.lower(), 12);
        QCOMPARE(moved.count(), 2);  // 11 and 12; the handle stops there

        QTest::keyClick(&range, Qt::Key_Tab);
        QCOMPARE(range.active_handle(), RangeSelector::Handle::upper);
        QTest::keyClick(&range, Qt::Key_Left);
        QCOMPARE(range.upper(), 12);
        QTest::keyClick(&range, Qt::Key_End);
        QCOMPARE(range.upper(), 120);
        QTest::keyClick(&range, Qt::Key_PageDown);  // one of 20 scale marks
        QCOMPARE(range.upper(), 114);
        QTest::keyClick(&range, Qt::Key_Home);
        QCOMPARE(range.upper(), 12);
        QTest::keyClick(&range, Qt::Key_Backtab);
        QTest::keyClick(&range, Qt::Key_Home);
        QCOMPARE(range.lower(), 0);
        QCOMPARE(moved.last().at(0).toInt(), 0);
        QCOMPARE(moved.last().at(1).toInt(), 12);
    }

    void a_handle_follows_the_mouse_and_stops_at_the_other() {
        RangeSelector range;
        range.resize(420, range.sizeHint().height());
        range.set_maximum(120);
        range.set_values(17, 20);
        range.show();
        QVERIFY(QTest::qWaitForWindowExposed(&range));
        const int row = 10;
        QTest::mousePress(&range, Qt::LeftButton, {}, QPoint(range.position_of(17), row));
        QTest::mouseMove(&range, QPoint(range.position_of(12), row));
        QTest::mouseRelease(&range, Qt::LeftButton, {}, QPoint(range.position_of(12), row));
        QCOMPARE(range.lower(), 12);
        QCOMPARE(range.upper(), 20);

        QTest::mousePress(&range, Qt::LeftButton, {}, QPoint(range.position_of(20), row));
        QTest::mouseMove(&range, QPoint(range.position_of(5), row));
        QTest::mouseRelease(&range, Qt::LeftButton, {}, QPoint(range.position_of(5), row));
        QCOMPARE(range.upper(), 12);  // no further than the lower handle
        QCOMPARE(range.lower(), 12);

        // Both at one value: the direction of the drag picks the handle.
        QTest::mousePress(&range, Qt::LeftButton, {}, QPoint(range.position_of(12), row));
        QTest::mouseMove(&range, QPoint(range.position_of(40), row));
        QTest::mouseRelease(&range, Qt::LeftButton, {}, QPoint(range.position_of(40), row));
        QCOMPARE(range.lower(), 12);
        QCOMPARE(range.upper(), 40);
    }

    void a_press_on_the_scale_brings_the_nearer_handle() {
        RangeSelector range;
        range.resize(420, range.sizeHint().height());
        range.set_maximum(120);
        range.set_values(40, 80);
        range.show();
        QVERIFY(QTest::qWaitForWindowExposed(&range));
        QTest::mouseClick(&range, Qt::LeftButton, {}, QPoint(range.position_of(70), 30));
        QCOMPARE(range.upper(), 70);
        QTest::mouseClick(&range, Qt::LeftButton, {}, QPoint(range.position_of(10), 30));
        QCOMPARE(range.lower(), 10);
        QCOMPARE(range.active_handle(), RangeSelector::Handle::lower);
    }

    void positions_and_values_agree() {
        RangeSelector range;
        range.resize(300, 50);
        range.set_maximum(120);
        for (int v : {0, 1, 17, 60, 119, 120}) {
            QCOMPARE(range.value_at(range.position_of(v)), v);
        }
        QCOMPARE(range.value_at(-50), 0);
        QCOMPARE(range.value_at(5000), 120);
    }
};

QTEST_MAIN(RangeSelectorTest)
#include "range_selector_test.moc"
