// The "Таблица" page and its two dialogs on the offscreen platform.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <filesystem>
#include <system_error>

#include "analysis/gas_shows.h"
#include "library/clock.h"
#include "library/number_text.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "storage/row_depths.h"
#include "storage/ui/grid_view.h"
#include "storage/ui/results_table_model.h"
#include "storage/ui/tdel_table_form.h"
#include "storage/ui/tdel_table_rows_form.h"
#include "storage/ui/ttable_page.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

using namespace vetra;

namespace {

std::vector<analysis::GazResult> result_list(double first) {
    std::vector<analysis::GazResult> list;
    for (int i = 0; i < 6; ++i) {
        list.push_back({0, "газ" + std::to_string(i), "", "k", "", "C", first + i, 0, 0, false});
    }
    list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", 50, 0, 0, true});
    for (int i = 0; i < 6; ++i) {
        list.push_back({0, "газ" + std::to_string(i) + "_отн", "", "k", "", "Cr", 10, 0, 0, true});
    }
    return list;
}

// A table of `rows` rows whose first value is the row's index, shown on a page.
struct PageRig {
    explicit PageRig(int rows) {
        table.open(dir / "data.tim");
        for (int r = 0; r < rows; ++r) {
            table.append(result_list(r), 100.f + r);
        }
        page = std::make_unique<storage::ui::TTablePage>(text, op);
        page->resize(900, 500);
        page->show();
    }
    QAbstractItemModel* model() { return page->grTextValues->model(); }
    QString cell(int row, int column) { return model()->index(row, column).data().toString(); }

    test::TempDir dir;
    library::ManualClock clock;
    storage::ResultsTable table{clock};
    storage::ResultsTableText text{table};
    test::RecordingOperator op;
    std::unique_ptr<storage::ui::TTablePage> page;
};

// Counts the paint events a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

}  // namespace

class TablePageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { library::set_decimal_separator(','); }

    void clear_dialog_erases_only_on_the_second_press() {
        storage::ui::TDelTableForm form;
        QVERIFY(form.btnCancel->isDefault());
        QVERIFY(!form.btnErase->isEnabled());
        form.CheckBox1->setChecked(true);
        QVERIFY(form.btnErase->isEnabled());
        form.CheckBox1->setChecked(false);
        QVERIFY(!form.btnErase->isEnabled());
        form.CheckBox1->setChecked(true);
        QSignalSpy accepted(&form, &QDialog::accepted);
        form.btnErase->click();
        QCOMPARE(accepted.count(), 0);
        QVERIFY(form.CheckBox1->isHidden());
        QVERIFY(!form.lblAgain->isHidden());
        QCOMPARE(form.btnErase->text(), QString("СТЕРЕТЬ !"));
        QVERIFY(form.btnErase->font().bold());
        form.btnErase->click();
        QCOMPARE(accepted.count(), 1);
    }

    void rows_dialog_waits_for_a_choice_data() {
        QTest::addColumn<bool>("zeros");
        QTest::newRow("erase") << false;
        QTest::newRow("zeros") << true;
    }
    void rows_dialog_waits_for_a_choice() {
        QFETCH(bool, zeros);
        storage::ui::TDelTableRowsForm form;
        QVERIFY(form.btnCancel->isDefault());
        QVERIFY(!form.btnDelete->isEnabled());
        (zeros ? form.rbZeros : form.rbErase)->setChecked(true);
        QVERIFY(form.btnDelete->isEnabled());
        QCOMPARE(form.zeros_only(), zeros);
    }

    void the_model_reads_header_colours_and_cells_from_the_file() {
        PageRig rig(300);
        QCOMPARE(rig.model()->rowCount(), 300);
        QCOMPARE(rig.model()->columnCount(), 15);
        QCOMPARE(rig.model()->headerData(0, Qt::Horizontal).toString(), QString("Глубина, м"));
        QCOMPARE(rig.model()->headerData(8, Qt::Horizontal).toString(), QString("сумм_газ,%"));
        QCOMPARE(rig.cell(299, 0), QString(" 399,0 "));
        QCOMPARE(rig.cell(299, 2), QString(" 299,00000 "));
        QCOMPARE(rig.cell(299, 9), QString(" 10,0 "));
        QCOMPARE(rig.model()->index(0, 2).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(240, 255, 240));
        QCOMPARE(rig.model()->index(0, 8).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(240, 255, 255));
        QVERIFY(!rig.model()->index(0, 1).data(Qt::BackgroundRole).isValid());
        // Opening selects the last row.
        QCOMPARE(rig.page->selected_rows(), std::make_pair(299, 299));

        rig.page->SpeedButton1->click();
        QVERIFY(rig.text.reverse_mode());
        QCOMPARE(rig.model()->headerData(2, Qt::Horizontal).toString(), QString("сумм_газ,%"));
        QCOMPARE(rig.cell(299, 9), QString(" 299,00000 "));
        QCOMPARE(rig.model()->index(0, 9).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(240, 255, 255));
    }

    void an_append_adds_one_row_and_keeps_the_selection() {
        PageRig rig(50);
        rig.page->grTextValues->selectRow(10);
        QSignalSpy inserted(rig.model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(rig.model(), &QAbstractItemModel::modelReset);
        rig.table.append(result_list(7), 1.f);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(rig.model()->rowCount(), 51);
        QCOMPARE(rig.page->selected_rows(), std::make_pair(10, 10));
        // A new gas's column rebuilds the header and still keeps the row.
        auto longer = result_list(1);
        longer.push_back({0, "гептан", "", "гептан_абс", "", "C7", 1, 0, 0, false});
        rig.table.append(longer, 1.f);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(rig.model()->columnCount(), 16);
        QCOMPARE(rig.page->selected_rows(), std::make_pair(10, 10));
    }

    // Appends to a page on screen set the scroll range without a layout: it must still end
    // at the last row, from a table that fits the screen to one that does not.
    void appends_keep_the_last_row_within_scrolling_reach() {
        PageRig rig(2);
        QVERIFY(QTest::qWaitForWindowExposed(rig.page.get()));
        auto* grid = static_cast<storage::ui::GridView*>(rig.page->grTextValues);
        QScrollBar* bar = grid->verticalScrollBar();
        for (int r = 2; r < 60; ++r) {
            rig.table.append(result_list(r), 1.f);
        }
        QApplication::processEvents();
        QVERIFY(bar->isVisible());
        const int rows = rig.model()->rowCount();
        QCOMPARE(bar->maximum(), rows * grid->row_height() - grid->viewport()->height());
        bar->setValue(bar->maximum());
        const QPoint bottom(grid->frozen_width() + 2, grid->viewport()->height() - 2);
        QCOMPARE(grid->indexAt(bottom).row(), rows - 1);
    }

    // The scroll bar repaints only when it looks different: its handle moved on screen, or the
    // view left the end of the table (a style may grey the arrow there).
    void appends_repaint_the_scroll_bar_only_when_it_changes() {
        PageRig rig(3000);
        QVERIFY(QTest::qWaitForWindowExposed(rig.page.get()));
        QScrollBar* bar = rig.page->grTextValues->verticalScrollBar();
        PaintCounter counter;
        bar->installEventFilter(&counter);
        const auto append_and_count = [&] {
            QApplication::processEvents();
            counter.paints = 0;
            rig.table.append(result_list(1), 1.f);
            QApplication::processEvents();
            return counter.paints;
        };
        // A row moves the handle of a 3000-row bar by a sixth of a pixel or so.
        int paints = 0;
        for (int i = 0; i < 12; ++i) {
            paints += append_and_count();
        }
        QVERIFY2(paints <= 4, qPrintable(QString::number(paints)));
        bar->setValue(bar->maximum());
        QVERIFY(append_and_count() > 0);
    }

    void editing_writes_numbers_only_in_edit_mode() {
        PageRig rig(5);
        const QModelIndex depth = rig.model()->index(2, 0);
        QVERIFY(!(rig.model()->flags(depth) & Qt::ItemIsEditable));
        QVERIFY(!rig.model()->setData(depth, "7,5"));
        rig.page->N11Click();
        QVERIFY(!rig.page->lblEditHint->isHidden());
        QVERIFY(!rig.page->btnCancel->isHidden());
        QCOMPARE(rig.page->N11->text(), QString("ОТКЛЮЧИТЬ режим редактирования"));
        QVERIFY(rig.model()->flags(depth) & Qt::ItemIsEditable);
        QVERIFY(!(rig.model()->flags(rig.model()->index(2, 1)) & Qt::ItemIsEditable));
        QCOMPARE(depth.data(Qt::EditRole).toString(), QString("102"));
        QVERIFY(rig.model()->setData(depth, "7,5"));
        QCOMPARE(rig.table.row(2)->depth, 7.5f);
        QCOMPARE(rig.cell(2, 0), QString(" 7,5 "));
        QVERIFY(!rig.model()->setData(rig.model()->index(2, 3), "семь"));
        QCOMPARE(rig.op.messages.size(), 1u);
        QCOMPARE(rig.table.row(2)->values[1], 3.f);
        rig.page->btnCancel->click();
        QVERIFY(rig.page->lblEditHint->isHidden());
        QVERIFY(rig.page->btnCancel->isHidden());
        QVERIFY(!(rig.model()->flags(depth) & Qt::ItemIsEditable));
    }

    void a_file_cut_short_elsewhere_empties_the_display_without_a_crash() {
        PageRig rig(100);
        std::error_code error;
        std::filesystem::resize_file(rig.dir / "data.tim", 0, error);
        if (error) {
            QSKIP("this system refuses to cut a file that is open (Windows)");
        }
        rig.page->grTextValues->scrollToTop();
        (void)rig.page->grab();  // painting finds the rows gone
        QTRY_COMPARE(rig.model()->rowCount(), 0);
        rig.table.append(result_list(1), 1.f);
        QCOMPARE(rig.model()->rowCount(), 1);
    }

    // However the font is set (the page, or the grid by name as a settings dialog may), rows
    // and columns follow at once and every text of the last row fits its cell.
    void a_font_change_resizes_rows_and_columns_at_once() {
        PageRig rig(30);
        auto list = result_list(1.70002);
        list[7].concentration = 100;
        rig.table.append(list, 12345.6f);
        const int last = rig.model()->rowCount() - 1;
        auto* grid = static_cast<storage::ui::GridView*>(rig.page->grTextValues);
        for (int size : {14, 20, 8}) {
            QFont font(rig.page->font().family(), size);
            if (size == 20) {
                rig.page->apply_font(font.family(), size);
            } else {
                grid->setFont(font);
            }
            const QFontMetrics metrics(grid->font());
            QCOMPARE(grid->row_height(), metrics.height() + 4);
            QCOMPARE(grid->visualRect(rig.model()->index(last, 2)).height(), metrics.height() + 3);
            for (int c = 0; c < rig.model()->columnCount(); ++c) {
                const QString text = rig.cell(last, c);
                QVERIFY2(metrics.horizontalAdvance(text) + 4 <= grid->columnWidth(c),
                         qPrintable(QString("%1 pt, column %2: %3").arg(size).arg(c).arg(text)));
            }
        }
        QCOMPARE(rig.cell(last, 2), QString(" 1,70002 "));
        grid->setFont(QFont(rig.page->font().family(), 14));
        const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (!shots.isEmpty()) {
            rig.page->resize(1000, 500);
            grid->scrollToBottom();
            QVERIFY(rig.page->grab().save(shots + "/table-14pt.png"));
            grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
            QVERIFY(rig.page->grab().save(shots + "/table-14pt-scrolled.png"));
        }
    }

    // Scrolled right, depth and date stay at the left edge: drawn the same, hit by the mouse,
    // and a value cell brought into view comes out from under them.
    void the_depth_and_date_columns_stay_in_view_when_scrolled_right() {
        PageRig rig(60);
        rig.page->resize(520, 400);
        auto* grid = static_cast<storage::ui::GridView*>(rig.page->grTextValues);
        grid->scrollToBottom();
        const int frozen = grid->columnWidth(0) + grid->columnWidth(1);
        QCOMPARE(grid->frozen_width(), frozen);
        // Less the edge, which is drawn firmer while columns lie under it.
        const QRect pair(0, 0, frozen - 1, grid->viewport()->height());
        const QImage before = grid->viewport()->grab(pair).toImage();
        QScrollBar* bar = grid->horizontalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        QCOMPARE(grid->viewport()->grab(pair).toImage(), before);

        const int y = grid->visualRect(rig.model()->index(59, 0)).center().y();
        QCOMPARE(grid->indexAt(QPoint(1, y)).column(), 0);
        QCOMPARE(grid->indexAt(QPoint(frozen - 2, y)).column(), 1);
        QCOMPARE(grid->indexAt(QPoint(frozen - 2, y)).row(), 59);
        QVERIFY(grid->indexAt(QPoint(frozen + 2, y)).column() > 2);
        const QModelIndex hidden = rig.model()->index(59, 2);
        QVERIFY(grid->visualRect(hidden).left() < frozen);
        // Dragging in the header over the frozen pair resizes nothing hidden under it.
        QHeaderView* header = grid->horizontalHeader();
        int under = 2;
        while (header->sectionViewportPosition(under) + header->sectionSize(under) <= 1) {
            ++under;
        }
        const QPoint at(header->sectionViewportPosition(under) + header->sectionSize(under) - 1,
                        header->height() / 2);
        QVERIFY(at.x() < frozen);
        const int width = header->sectionSize(under);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseMove(header->viewport(), at + QPoint(40, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, at + QPoint(40, 0));
        QCOMPARE(header->sectionSize(under), width);
        const int shown = header->logicalIndexAt(frozen + 2);  // the same drag resizes it
        const int shown_width = header->sectionSize(shown);
        const QPoint edge(header->sectionViewportPosition(shown) + shown_width - 1, at.y());
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(header->viewport(), edge + QPoint(20, 0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(20, 0));
        QVERIFY(header->sectionSize(shown) > shown_width);
        bar->setValue(bar->maximum());
        grid->scrollTo(hidden);
        QCOMPARE(grid->visualRect(hidden).left(), frozen);
        QCOMPARE(grid->indexAt(grid->visualRect(hidden).center()), hidden);
        bar->setValue(0);
        QCOMPARE(grid->viewport()->grab(pair).toImage(), before);
    }

    // The program's own columns come after the stored ones on demand: the class of the show a
    // row belongs to (by its injection time) and the bit depth of its moment, following a row
    // appended later and rows deleted in between; the stored columns and "data.tim" stay.
    void show_class_and_bit_depth_columns_beside_the_stored_ones() {
        PageRig rig(0);
        // Rows a minute apart, so each has a stamp of its own.
        const auto append = [&](int r) {
            rig.clock.advance(std::chrono::minutes(1));
            rig.table.append(result_list(r), 100.f + r);
        };
        for (int r = 0; r < 6; ++r) {
            append(r);
        }
        const int stored = rig.model()->columnCount();
        const auto path = rig.dir / storage::kRowDepthsFileName;
        const auto record = [&](int row, float bit) {
            storage::RowDepth r;
            r.row = static_cast<std::uint32_t>(row);
            r.stamp = rig.table.row(row)->stamp;
            r.injection = 46000.0 + row / 24.0;
            r.sample_depth = rig.table.row(row)->depth;
            r.bit_depth = bit;
            r.method = storage::DepthMethod::by_strokes;
            QVERIFY(storage::append_row_depth(path, r));
        };
        for (int r = 0; r < 6; ++r) {
            record(r, 140.f + r);
        }
        std::vector<analysis::GasShow> shows(1);
        shows[0].start = 46000.0 + 2 / 24.0;
        shows[0].end = 46000.0 + 3 / 24.0;
        shows[0].top = 102;
        shows[0].bottom = 103;
        shows[0].show_class = analysis::ShowClass::trip;
        QVERIFY(rig.page->btnDepthColumns->isHidden());
        rig.page->set_depth_sources(path, &shows);
        QVERIFY(!rig.page->btnDepthColumns->isHidden());
        QCOMPARE(rig.model()->columnCount(), stored);
        rig.page->btnDepthColumns->click();
        QCOMPARE(rig.model()->columnCount(), stored + 2);
        QCOMPARE(rig.model()->headerData(stored, Qt::Horizontal).toString(),
                 QString("газопоказание"));
        QCOMPARE(rig.model()->headerData(stored + 1, Qt::Horizontal).toString(),
                 QString("глубина_долота"));
        QCOMPARE(rig.cell(1, stored), QString());
        QCOMPARE(rig.cell(2, stored), QString("газ после СПО"));
        QCOMPARE(rig.cell(3, stored), QString("газ после СПО"));
        QCOMPARE(rig.cell(4, stored), QString());
        QCOMPARE(rig.cell(4, stored + 1), QString("144,0"));
        QVERIFY(!(rig.model()->flags(rig.model()->index(4, stored)) & Qt::ItemIsEditable));
        if (const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR"); !shots.isEmpty()) {
            rig.page->grTextValues->scrollTo(rig.model()->index(0, stored + 1));
            rig.page->grab().save(shots + "/table_depth_columns.png");
        }

        // A row appended later gets its record after the row itself.
        append(6);
        QCOMPARE(rig.model()->rowCount(), 7);
        record(6, 146.f);
        QTRY_COMPARE(rig.cell(6, stored + 1), QString("146,0"));
        // Rows deleted: the records follow the rows by their stamps.
        rig.page->grTextValues->selectRow(0);
        rig.page->delete_selected(false);
        QTRY_VERIFY(!rig.page->busy());
        QCOMPARE(rig.model()->rowCount(), 6);
        QCOMPARE(rig.cell(1, stored), QString("газ после СПО"));
        QCOMPARE(rig.cell(3, stored + 1), QString("144,0"));
        rig.page->btnDepthColumns->click();
        QCOMPARE(rig.model()->columnCount(), stored);
    }

    void deleting_selected_rows_data() {
        QTest::addColumn<bool>("zeros");
        QTest::newRow("removed in the background") << false;
        QTest::newRow("filled with zeros") << true;
    }
    void deleting_selected_rows() {
        QFETCH(bool, zeros);
        PageRig rig(10);
        rig.page->grTextValues->selectRow(2);
        rig.page->grTextValues->selectionModel()->select(
            QItemSelection(rig.model()->index(3, 0), rig.model()->index(4, 14)),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(rig.page->selected_rows(), std::make_pair(2, 4));
        rig.page->delete_selected(zeros);
        QTRY_VERIFY(!rig.page->busy());
        QVERIFY(rig.page->ProgressBar1->isHidden());
        QCOMPARE(rig.model()->rowCount(), zeros ? 10 : 7);
        QCOMPARE(rig.cell(2, 2), zeros ? QString(" 0 ") : QString(" 5,00000 "));
        QCOMPARE(rig.page->selected_rows().first, rig.model()->rowCount() - 1);
    }
};

QTEST_MAIN(TablePageTest)
#include "table_page_test.moc"
