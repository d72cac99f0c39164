// The "Пересчёт..." window over a small program folder: analyses written as a station writes
// them (run files with their companions), one gas's calibration wrong, then previewed,
// applied, stopped and undone from the window, and the table page marking what changed.
#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_calculator.h"
#include "display/chromatogram_plot.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "library/number_text.h"
#include "settings/global_settings.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "storage/run_file.h"
#include "storage/ui/treprocess_form.h"
#include "storage/ui/ttable_page.h"
#include "support/recording_operator.h"
#include "support/synthetic_run.h"
#include "support/temp_dir.h"

using namespace vetra;

namespace {

constexpr int kRate = 10;

analysis::EtalonStorage calibration(double factor_of_first) {
    analysis::EtalonStorage c;
    analysis::EtalonPoint p;
    p.repeats = 1;
    for (int g = 0; g < 6; ++g) {
        p.pairs.emplace_back(0.05 * (g + 1), (7.3 + g) * (g == 0 ? factor_of_first : 1.0));
    }
    c.copyPointsFrom({p});
    return c;
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A program folder with a table of three analyses made with the first gas's response 20 %
// off and a row left without a run file; a right calibration saved as "верная.cal".
struct Folder {
    Folder() {
        settings.samples_per_second = kRate;
        calculator.set_concentration_function(
            [this](int g, double a) { return wrong.concentration(g, a); });
        calculator.results_notification.connect(
            [this](const std::vector<analysis::GazResult>& r, float depth) {
                table.append(r, depth);
                stamp = table.row(table.row_count() - 1)->stamp;
            });
        table.open(dir / "data.tim");
        std::filesystem::create_directory(dir / "Analiz");
        for (int i = 0; i < 3; ++i) {
            cycle({2026, 3, 5, 14, 7 + 2 * i, 40, 0}, 1.0 + 0.3 * i);
        }
        clock.set({2026, 3, 5, 15, 0, 0, 0});
        table.append(calculator.results(), 3.0f);
        right_file = (dir / "верная.cal").string();
        right.save(right_file);
        for (int r = 0; r < table.row_count(); ++r) {
            first.push_back(table.row(r)->values);
        }
    }

    void cycle(library::LocalTime end, double size) {
        clock.set(end);
        test::write_synthetic_run({size}, kRate, settings, gases, calculator, samples, stamp,
                                  dir.dir(), end);
    }

    storage::ui::ReprocessContext context() {
        return {dir.dir(), &wrong, &gases, &clock,
                [this](const std::string& line) { journal.push_back(line); }};
    }

    test::TempDir dir;
    library::ManualClock clock;
    settings::GlobalSettings settings;
    analysis::GazList gases;
    library::LockObject lock;
    test::RecordingOperator op;
    std::vector<analysis::SampleRecord> samples;
    analysis::EtalonStorage wrong = calibration(1.2);
    analysis::EtalonStorage right = calibration(1.0);
    std::string right_file;
    analysis::GazCalculator calculator{settings, samples, gases, lock, op, clock};
    storage::ResultsTable table{clock};
    std::uint32_t stamp = 0;
    std::vector<std::array<float, storage::kMaxValues>> first;
    std::vector<std::string> journal;
};

QString text_at(QTableWidget* grid, int row, int column) {
    const auto* item = grid->item(row, column);
    return item != nullptr ? item->text() : QString();
}

}  // namespace

class ReprocessFormTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { library::set_decimal_separator(','); }

    // A bad entry is refused where it is typed and keeps the others; the preview lists every
    // cell of the rows with run files and the row without one, sorts by the difference, and
    // with the calibration that made the rows nothing would change.
    void preview_lists_old_and_new_values_and_refuses_bad_entries() {
        Folder f;
        storage::ui::TReprocessForm form(f.table, f.context(), f.op);
        form.set_range(f.table.row(0)->stamp, f.table.row(3)->stamp);
        form.show();

        form.edReason->setText("разбавление");
        form.cbCalibration->setCurrentIndex(1);
        form.edCalibrationFile->setText(QString::fromStdString(f.right_file + ".нет"));
        QVERIFY(!form.preview());
        QCOMPARE(f.op.messages.size(), std::size_t{1});
        QVERIFY(f.op.messages[0].text.find("поле «Калибровка»") != std::string::npos);
        QCOMPARE(form.edReason->text(), QString("разбавление"));
        const QDateTime from = form.edFrom->dateTime();
        form.edFrom->setDateTime(form.edTo->dateTime().addSecs(60));
        QVERIFY(!form.preview());
        QVERIFY(f.op.messages[1].text.find("поле «с»") != std::string::npos);
        form.edFrom->setDateTime(from);

        // With the calibration that made them: every value the same.
        form.cbCalibration->setCurrentIndex(0);
        QSignalSpy done(&form, &storage::ui::TReprocessForm::preview_finished);
        QVERIFY(form.preview());
        QVERIFY(done.wait(10000));
        QVERIFY(form.lblSummary->text().contains("изменится значений: 0"));
        QVERIFY(!form.btnApply->isEnabled());

        form.cbCalibration->setCurrentIndex(1);
        form.edCalibrationFile->setText(QString::fromStdString(f.right_file));
        QVERIFY(!form.btnApply->isEnabled());  // the preview no longer matches
        QVERIFY(form.preview());
        QVERIFY(done.wait(10000));
        QVERIFY(form.btnApply->isEnabled());
        QCOMPARE(form.rows().size(), std::size_t{4});
        QCOMPARE(form.grPreview->rowCount(), 3 * 13 + 1);
        int without = 0;
        int same = 0;
        int methane = 0;
        for (int r = 0; r < form.grPreview->rowCount(); ++r) {
            without += text_at(form.grPreview, r, 5) == "нет файла разгонки" ? 1 : 0;
            const QString gas = text_at(form.grPreview, r, 1);
            const bool unchanged = text_at(form.grPreview, r, 4) == "=";
            same += unchanged && gas.endsWith("_абс") ? 1 : 0;
            methane += gas == "метан_абс" && !unchanged ? 1 : 0;
        }
        QCOMPARE(without, 1);
        QCOMPARE(same, 3 * 5);  // the other gases keep their values
        QCOMPARE(methane, 3);
        form.grPreview->sortByColumn(4, Qt::DescendingOrder);
        QCOMPARE(text_at(form.grPreview, 0, 1), QString("метан_отн"));
        form.grPreview->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(text_at(form.grPreview, 0, 5), QString("нет файла разгонки"));
        form.grab().save(QDir::temp().filePath("reprocess_form.png"));
    }

    // "Применить" needs a reason, writes through the trail with a journal line, and the page
    // marks the cells and shows their first values on request; stopping an apply puts every
    // row back; "Отменить пересчёт" restores the first values exactly.
    void apply_stop_and_undo_from_the_window_and_the_page_marks() {
        Folder f;
        storage::ResultsTableText text(f.table);
        storage::ui::TTablePage page(text, f.op);
        page.set_reprocess_context(f.context());
        QVERIFY(page.NReprocess->isEnabled());
        page.resize(1000, 400);
        page.show();

        storage::ui::TReprocessForm form(f.table, f.context(), f.op);
        QObject::connect(&form, &storage::ui::TReprocessForm::table_rewritten, &page,
                         &storage::ui::TTablePage::reload_reprocessed);
        form.set_range(f.table.row(0)->stamp, f.table.row(3)->stamp);
        form.cbCalibration->setCurrentIndex(1);
        form.edCalibrationFile->setText(QString::fromStdString(f.right_file));
        QSignalSpy done(&form, &storage::ui::TReprocessForm::preview_finished);
        QVERIFY(form.preview());
        QVERIFY(done.wait(10000));

        form.apply();  // no reason
        QVERIFY(f.op.messages.back().text.find("поле «Причина»") != std::string::npos);
        for (int r = 0; r < 4; ++r) {
            QVERIFY(f.table.row(r)->values == f.first[static_cast<std::size_t>(r)]);
        }

        // Stopped at its first row: all put back.
        form.edReason->setText("разбавление метана введено неверно");
        QTimer::singleShot(0, form.btnStop, &QPushButton::click);
        form.apply();
        QVERIFY(f.op.messages.back().text.find("отменён") != std::string::npos);
        for (int r = 0; r < 4; ++r) {
            QVERIFY(f.table.row(r)->values == f.first[static_cast<std::size_t>(r)]);
        }
        QVERIFY(f.journal.empty());

        QVERIFY(form.preview());
        QVERIFY(done.wait(10000));
        form.apply();
        QVERIFY2(f.op.messages.back().text.find("Пересчёт №2") == 0,
                 f.op.messages.back().text.c_str());
        QCOMPARE(f.journal.size(), std::size_t{1});
        QVERIFY(f.journal[0].find("калибровка: верная.cal") != std::string::npos);
        const float fixed = f.table.row(0)->values[0];
        QVERIFY(std::abs(fixed - f.first[0][0] * 1.2f) < 1e-5f);
        QVERIFY(same_bits(f.table.row(0)->values[1], f.first[0][1]));

        // The page: the changed cell marked, its first value on request.
        auto* model = page.grTextValues->model();
        int column = -1;
        for (int c = 0; c < model->columnCount(); ++c) {
            if (model->headerData(c, Qt::Horizontal).toString().contains("метан")) {
                column = c;
                break;
            }
        }
        QVERIFY(column >= 0);
        const QModelIndex cell = model->index(0, column);
        const QString shown = cell.data().toString();
        QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(), QColor(255, 226, 150));
        QVERIFY(model->index(3, column).data(Qt::BackgroundRole).value<QColor>() !=
                QColor(255, 226, 150));
        page.NOriginals->setChecked(true);
        QVERIFY(cell.data().toString() != shown);
        QVERIFY(cell.data(Qt::ToolTipRole).toString().contains(shown.trimmed()));
        page.grab().save(QDir::temp().filePath("reprocess_page.png"));
        page.NOriginals->setChecked(false);
        QCOMPARE(cell.data().toString(), shown);

        form.edReason->setText("проверка отмены");
        form.undo();
        for (int r = 0; r < 4; ++r) {
            const auto values = f.table.row(r)->values;
            for (std::size_t c = 0; c < values.size(); ++c) {
                QVERIFY(same_bits(values[c], f.first[static_cast<std::size_t>(r)][c]));
            }
        }
        QCOMPARE(f.journal.size(), std::size_t{2});
        QVERIFY(f.journal[1].find("Отменён пересчёт №2") == 0);
        QVERIFY(model->index(0, column).data(Qt::BackgroundRole).value<QColor>() !=
                QColor(255, 226, 150));
    }
};

QTEST_MAIN(ReprocessFormTest)
#include "reprocess_form_test.moc"
