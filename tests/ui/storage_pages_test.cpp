// The "История" and "Журнал" pages on the offscreen platform.
#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "library/clock.h"
#include "sample_plot.h"
#include "storage/event_log.h"
#include "storage/history.h"
#include "storage/ui/history_entry_window.h"
#include "storage/ui/history_page.h"
#include "storage/ui/journal_page.h"
#include "storage/ui/tlog_add_text_form.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

using namespace vetra;

namespace {

const library::LocalTime kAt{2026, 12, 7, 9, 5, 7, 0};

// A page over a history of `entries` sample chromatograms, laid out and shown.
struct HistoryRig {
    explicit HistoryRig(int entries) {
        for (int i = 0; i < entries; ++i) {
            history.add(sample.plot, sample.gases, sample.results, test::SamplePlot::kRate,
                        0xFFFFFF, kAt);
        }
        page.resize(960, 1000);
        page.show();
        QCoreApplication::processEvents();
    }
    QRect cell(int index) const {
        storage::ui::HistoryView* v = page.view();
        const storage::HistoryCell c =
            storage::history_cell(index, v->width(), v->height(), v->margin());
        return QRect(QPoint(c.left, c.top), QPoint(c.right - 1, c.bottom - 1));
    }

    test::SamplePlot sample;
    storage::History history;
    test::RecordingOperator op;
    storage::ui::HistoryPage page{history, op, [] { return test::SamplePlot::style(); },
                                  [this] { return sample.gases.count(); }};
};

bool is_red(const QImage& image, QPoint at) {
    return image.pixelColor(at) == QColor(Qt::red);
}

// Fills and closes the entry dialog once it is shown; an empty `text` cancels.
void answer_entry_dialog(const QString& text, bool ok) {
    QTimer::singleShot(0, [text, ok] {
        auto* form = qobject_cast<storage::ui::TLogAddTextForm*>(QApplication::activeModalWidget());
        QVERIFY(form != nullptr);
        form->edit()->setText(text);
        ok ? form->accept() : form->reject();
    });
}

}  // namespace

class StoragePagesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void a_click_selects_the_entry_under_it_and_frames_it_in_red() {
        HistoryRig rig(5);
        QCOMPARE(rig.history.selected(), 0);
        const QRect second = rig.cell(2);
        QTest::mouseClick(rig.page.view(), Qt::LeftButton, {}, second.center());
        QCOMPARE(rig.history.selected(), 2);
        // A click in the margin, or on a cell without an entry, changes nothing.
        QTest::mouseClick(rig.page.view(), Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseClick(rig.page.view(), Qt::LeftButton, {}, rig.cell(7).center());
        QCOMPARE(rig.history.selected(), 2);

        const QImage image = rig.page.view()->grab().toImage();
        const int y = second.center().y();
        QVERIFY(is_red(image, {second.left() - 4, y}));
        QVERIFY(is_red(image, {second.right() + 4, y}));
        QVERIFY(is_red(image, {second.center().x(), second.top() - 4}));
        QVERIFY(!is_red(image, {second.left() - 1, y}));  // 2 pixels stay clear of the cell
        const QRect first = rig.cell(1);
        QVERIFY(!is_red(image, {first.left() - 4, first.center().y()}));
        // The entry itself is painted inside its cell: the white background of the plot.
        QCOMPARE(
            image.pixelColor(second.center() + QPoint(0, second.height() / 4)).lightness() > 200,
            true);
    }

    void printing_asks_first_and_the_picture_is_1280_by_1024() {
        HistoryRig rig(2);
        rig.op.answer = false;
        rig.page.MyButton1Click();
        QCOMPARE(rig.op.questions.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(rig.op.questions[0].text),
                 QString("Распечатать хроматограмму ?"));
        QCOMPARE(QString::fromStdString(rig.op.questions[0].caption), QString("  Печать"));
        QVERIFY(rig.op.messages.empty());

        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("h.pdf"));
        QVERIFY(rig.page.print_selected(printer));
        QVERIFY(QFileInfo(dir.filePath("h.pdf")).size() > 1000);

        QVERIFY(rig.page.save_selected(dir.filePath("h.jpeg")));
        QImageReader reader(dir.filePath("h.jpeg"));
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), QSize(1280, 1024));
    }

    // A double click opens the entry under it large, in a window of its own, on a copy: the
    // time axis stretches and scrolls, the value axis zooms, and nothing is asked or printed.
    void a_double_click_opens_the_entry_large_with_zoom() {
        HistoryRig rig(3);
        rig.history.entry(1).message = "Дата: 7.12.2026.   Время: 9:05.";
        // In the grid the date is a line of text on the cell's top line, not the plot's yellow
        // warning box over the peaks.
        const QImage grid = rig.page.view()->grab().toImage();
        const QRect top_line = rig.cell(1).adjusted(rig.cell(1).width() / 2, 0, 0, 0);
        int yellow = 0;
        int ink = 0;
        for (int y = top_line.top(); y < top_line.top() + rig.cell(1).height() / 8; ++y) {
            for (int x = top_line.left(); x <= top_line.right(); ++x) {
                yellow += grid.pixelColor(x, y) == QColor(Qt::yellow) ? 1 : 0;
                ink += grid.pixelColor(x, y).lightness() < 100 ? 1 : 0;
            }
        }
        QCOMPARE(yellow, 0);
        QVERIFY(ink > 20);
        QTest::mouseDClick(rig.page.view(), Qt::LeftButton, {}, rig.cell(1).center());
        QCOMPARE(rig.history.selected(), 1);
        QVERIFY(rig.op.questions.empty());
        auto* large = rig.page.findChild<storage::ui::HistoryEntryWindow*>();
        QVERIFY(large && large->isWindow() && large->isVisible());
        QVERIFY(large->windowTitle().contains("Время: 9:05."));
        QVERIFY(large->plot().message.empty() && !large->plot().compact);
        QVERIFY(rig.history.entry(1).compact);  // the stored entry is untouched
        QCoreApplication::processEvents();
        const int width = large->view()->width();
        QVERIFY(width > rig.cell(1).width() * 2);

        large->stretch_time(2);
        QCOMPARE(large->stretch(), 4);
        QCOMPARE(large->view()->width(), width * 4);
        large->stretch_time(10);
        QCOMPARE(large->stretch(), storage::ui::HistoryEntryWindow::kMaxStretch);
        large->stretch_time(-10);
        QCOMPARE(large->view()->width(), width);

        const QImage before = large->view()->grab().toImage();
        large->zoom_values(0.1);
        QVERIFY(large->plot().fixed_top > 0);
        QVERIFY(large->view()->grab().toImage() != before);
        large->zoom_values(0);
        QCOMPARE(large->plot().fixed_top, 0.0);
        QCOMPARE(rig.history.entry(1).fixed_top, 0.0);
    }

    void without_an_entry_printing_and_saving_are_refused_with_a_message() {
        HistoryRig rig(0);
        rig.page.MyButton1Click();
        rig.page.MyButton2Click();
        QVERIFY(rig.op.questions.empty());
        QCOMPARE(rig.op.messages.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(rig.op.messages[0].text),
                 QString(storage::ui::kNothingSelected));
        QTemporaryDir dir;
        QVERIFY(!rig.page.save_selected(dir.filePath("none.jpeg")));
        QVERIFY(!QFile::exists(dir.filePath("none.jpeg")));
    }

    // A damaged file may hold windows far outside the points: painting clamps or drops them.
    void an_entry_with_windows_outside_its_points_paints_and_prints() {
        HistoryRig rig(0);
        const auto i32 = [](std::int32_t v) { return std::string(reinterpret_cast<char*>(&v), 4); };
        std::string entry = std::string(1, '\0') + i32(0xFFFFFF) + i32(0) + i32(3);
        for (double v : {1.0, 5.0, 2.0}) {
            entry += std::string(8, '\0') + std::string(reinterpret_cast<char*>(&v), 8) +
                     std::string(8, '\0');
        }
        entry += i32(6);
        for (std::int32_t start : {-5, 1, 2, 0, 2000000000, -2000000000}) {
            entry += i32(0xFF) + i32(start) + i32(2147483647) + std::string(8, '\0') + "\1C\0x\0";
        }
        rig.history.from_bytes("VetraHistory\1" + i32(1) + entry);
        QCOMPARE(rig.history.count(), 1);
        QVERIFY(!rig.page.view()->grab().isNull());
        QTemporaryDir dir;
        QVERIFY(rig.page.save_selected(dir.filePath("damaged.jpeg")));
    }

    void the_journal_page_adds_typed_lines_and_clears_after_asking() {
        test::TempDir dir;
        library::ManualClock clock(kAt);
        storage::EventLog log(clock);
        log.attach((dir / "события.txt").string());
        log.add("Запуск программы");
        test::RecordingOperator op;
        storage::ui::JournalPage page(log, op);
        QListWidget* list = page.list();
        QCOMPARE(list->count(), 1);

        answer_entry_dialog("смена вахты", true);
        page.AddLogLine();
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QString("[9:05:07 7.12.2026]     смена вахты"));
        answer_entry_dialog("", true);  // an empty entry adds nothing
        page.AddLogLine();
        answer_entry_dialog("передумал", false);
        page.AddLogLine();
        QCOMPARE(list->count(), 2);
        log.add("Произведена калибровка хроматографа");  // from elsewhere: the page follows
        QCOMPARE(list->count(), 3);

        op.answer = false;
        page.ClearLog();
        QCOMPARE(list->count(), 3);
        op.answer = true;
        page.ClearLog();
        QCOMPARE(list->count(), 1);
        QVERIFY(list->item(0)->text().endsWith("     Очищен журнал"));
        QCOMPARE(QString::fromStdString(op.questions.back().text),
                 QString("Стереть все записи в журнале?"));
        QCOMPARE(QString::fromStdString(op.questions.back().caption), QString("  Очистка журнала"));
    }
};

QTEST_MAIN(StoragePagesTest)
#include "storage_pages_test.moc"
