// Export handler, table printing and preview, and the help window, on the offscreen platform.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QSysInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QWheelEvent>
#include <QtTest>

#include "analysis/gaz_result.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/utf8_path.h"
#include "reports/ui/help_window.h"
#include "reports/ui/las_exporter.h"
#include "reports/ui/svg_picture.h"
#include "reports/ui/table_exporter.h"
#include "reports/ui/tpreview_form.h"
#include "reports/ui/tprint_grid_form.h"
#include "settings/ini_file.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "support/memory_table.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"
#include "support/xlsx_reader.h"

using namespace vetra;
using reports::TableSelection;

namespace {

// The pages of a PDF file as Qt writes it (its page objects uncompressed), so no program
// outside the test is needed (there is none under Wine); -1 without the file.
int pdf_pages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QString text = QString::fromLatin1(file.readAll());
    return static_cast<int>(text.count(QRegularExpression("/Type\\s*/Page(?![a-zA-Z])")));
}

void pdf_printer(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

// Screenshots for a person to look at, only when asked for.
void keep_picture(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("VETRA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        w.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
    }
}

void keep_file(const QString& path, const QString& name) {
    const QByteArray dir = qgetenv("VETRA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QFile::remove(QString::fromUtf8(dir) + "/" + name);
        QFile::copy(path, QString::fromUtf8(dir) + "/" + name);
    }
}

}  // namespace

class ReportsUiTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void the_scope_follows_the_selection_data() {
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("bottom");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<int>("printed_rows");
        QTest::addColumn<int>("printed_columns");
        QTest::newRow("one cell prints the whole table") << 3 << 4 << true << 11 << 6;
        QTest::newRow("a block prints its fragment") << 4 << 6 << false << 4 << 3;
    }
    void the_scope_follows_the_selection() {
        QFETCH(int, right);
        QFETCH(int, bottom);
        const auto table = test::MemoryTable::results(10, 5);
        reports::ui::TPrintGridForm form;
        form.prepare(table, TableSelection{3, 4, right, bottom});
        QFETCH(bool, whole);
        QFETCH(int, printed_rows);
        QFETCH(int, printed_columns);
        QCOMPARE(form.whole_table(), whole);
        QCOMPARE(form.chosen_table().row_count(), printed_rows);
        QCOMPARE(form.chosen_table().column_count(), printed_columns);
        QCOMPARE(form.chosen_table().cell_text(0, 0), table.cell_text(0, 0));
        keep_picture(form, "print_dialog");
    }

    void printing_gives_the_pages_of_the_document_and_keeps_the_choices_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("a short table, one page") << 5 << true;
        QTest::newRow("a long table, continued") << 400 << false;
    }
    void printing_gives_the_pages_of_the_document_and_keeps_the_choices() {
        QFETCH(int, rows);
        QFETCH(bool, landscape);
        test::TempDir dir;
        const std::string ini = library::utf8_from_path(dir / "хроматограф.ini");
        test::write_bytes(dir / "хроматограф.ini",
                          library::utf8_to_cp1251("[другое]\r\nключ=1\r\n"));
        const auto table = test::MemoryTable::results(rows, 13);
        const QString pdf = QString::fromStdString((dir / "t.pdf").string());
        QPrinter printer(QPrinter::HighResolution);
        pdf_printer(printer, pdf);
        test::RecordingOperator op;

        reports::ui::TPrintGridForm form;
        form.set_ini_file(ini);
        form.set_printer(&printer);
        form.set_operator(&op);
        form.set_landscape(landscape);
        form.prepare(table, {1, 1, 1, 1});
        form.findChild<QLineEdit*>("Edit1")->setText("Скважина 12");
        form.findChild<QComboBox*>("ComboBox1")->setCurrentText("3,5");
        QVERIFY(form.print_and_save());
        keep_file(pdf, QString("table_%1.pdf").arg(rows));
        QVERIFY(op.messages.empty());

        // The same document laid out on the same page counts the pages to expect.
        QPrinter probe(QPrinter::HighResolution);
        pdf_printer(probe, QString::fromStdString((dir / "probe.pdf").string()));
        probe.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        const reports::ui::TableDocument doc(
            table, form.options(), probe.logicalDpiY() * reports::ui::kCmPerInchReciprocal,
            QSize(probe.width(), probe.height()), &probe);
        QCOMPARE(pdf_pages(pdf), doc.page_count());
        QCOMPARE(doc.row_pages() > 1, rows > 100);

        settings::IniFile file;
        QVERIFY(file.open(ini));
        QCOMPARE(file.read_string("другое", "ключ", ""), std::string("1"));
        reports::ui::TPrintGridForm again;
        again.set_ini_file(ini);
        again.prepare(table, {1, 1, 1, 1});
        QCOMPARE(again.options().title, QString("Скважина 12"));
        QCOMPARE(again.options().max_cell_cm, 3.5);
    }

    // The results table with its ratios is wider than a page: the columns that do not fit go
    // on further pages, and every page carries the depth, the date and its number.
    void a_wide_table_prints_every_column_with_the_repeated_ones_on_each_page() {
        test::TempDir dir;
        library::ManualClock clock{{2026, 12, 8, 10, 0, 0, 0}};
        storage::ResultsTable table(clock);
        QVERIFY(table.open(dir / "data.tim"));
        const std::vector<std::string> names{"метан", "этан",   "пропан",
                                             "бутан", "пентан", "гексан"};
        for (int r = 0; r < 80; ++r) {
            std::vector<analysis::GazResult> list;
            for (std::size_t g = 0; g < names.size(); ++g) {
                list.push_back(
                    {0, names[g], "", names[g] + "_абс", "", "", 1.0 + g + r * 0.01, 0, 0, false});
            }
            list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", 30, 0, 0, true});
            for (const auto& name : names) {
                list.push_back({0, name + "_отн", "", name + "_отн", "", "", 5, 0, 0, true});
            }
            table.append(list, 1500.f + static_cast<float>(r));
        }
        storage::ResultsTableText text(table);
        text.set_show_ratios(true);
        const QString pdf = QString::fromStdString((dir / "wide.pdf").string());
        QPrinter printer(QPrinter::HighResolution);
        pdf_printer(printer, pdf);
        printer.setPageOrientation(QPageLayout::Landscape);
        reports::ui::PrintOptions options;
        options.title = "Геолого-технологические исследования";
        QVERIFY(reports::ui::print_document(text, options, printer));
        keep_file(pdf, "wide_table.pdf");
        const int pages = pdf_pages(pdf);
        QVERIFY2(pages >= 4, qPrintable(QString::number(pages)));  // two groups, two row pages
        if (QSysInfo::productType() == "windows") {
            return;  // the pages' text is read with pdftotext, which Windows has not
        }
        QString all;
        for (int page = 1; page <= pages; ++page) {
            const QString page_text = QString::fromStdString(test::run_output(
                QString("pdftotext -f %1 -l %1 '%2' -").arg(page).arg(pdf).toStdString()));
            QVERIFY2(page_text.contains("Глубина, м") && page_text.contains("Дата Время"),
                     qPrintable(page_text));
            QVERIFY(page_text.contains(QString("стр. %1 из %2").arg(page).arg(pages)));
            QVERIFY(page_text.contains("8.12.2026 10:00"));  // the whole date, not cut
            all += page_text;
        }
        for (int c = 2; c < text.column_count(); ++c) {
            const QString header = QString::fromStdString(text.header_text(c)).trimmed();
            QVERIFY2(all.contains(header), qPrintable(header));
        }
        QVERIFY(all.contains("1579,0") || all.contains("1579.0"));  // the last row
    }

    void wide_tables_print_256_columns_and_long_texts_end_in_an_ellipsis() {
        test::MemoryTable table = test::MemoryTable::results(3, 299);
        const std::string long_text = "очень длинная запись оператора, которая не помещается";
        table.cells[2][5] = long_text;
        reports::ui::PrintOptions options;
        options.title = "Т";
        reports::ui::TPreviewForm preview(
            table, options,
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
        const auto& doc = preview.document();
        const double unit = preview.logicalDpiY() * reports::ui::kCmPerInchReciprocal;
        QCOMPARE(doc.column_width(5), static_cast<int>(std::lround(2.0 * unit)));
        QCOMPARE(doc.page_columns(doc.page_count() - 1).back(), 255);

        test::TempDir dir;
        const QString svg = QString::fromStdString((dir / "page.svg").string());
        QCOMPARE(preview.save_to(svg), reports::ui::svg_available());
        if (reports::ui::svg_available()) {
            QFile file(svg);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            QVERIFY(text.contains(QChar(0x2026)));
            QVERIFY(!text.contains(QString::fromStdString(long_text)));
            QVERIFY(text.contains("Газ 256,%") == false && text.contains("Газ 255,%"));
        } else {
            QVERIFY(!QFile::exists(svg));
        }
        QVERIFY(preview.save_to(QString::fromStdString((dir / "page.pdf").string())));
        // 256 columns of at least a header's width: many groups of columns, one page each.
        QVERIFY(pdf_pages(QString::fromStdString((dir / "page.pdf").string())) >= 10);
    }

    void the_preview_scales_stop_at_their_ends() {
        const auto table = test::MemoryTable::results(60, 13);
        reports::ui::PrintOptions options;
        options.title = "Геолого-технологические исследования";
        options.head = QStringList{"Площадь: Северная", "Скважина: 12"};
        reports::ui::TPreviewForm preview(
            table, options,
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                        QMarginsF(10, 10, 10, 10)));
        preview.resize(1000, 700);
        preview.show();
        QCOMPARE(preview.scale_percent(), 100);
        keep_picture(preview, "preview_100");
        // The wheel moves the page by its delta, never past either end.
        QScrollBar* bar = preview.area()->verticalScrollBar();
        const auto wheel = [&](int delta) {
            QWheelEvent e(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(preview.area()->viewport(), &e);
        };
        wheel(-120);
        QCOMPARE(bar->value(), 120);
        wheel(480);
        QCOMPARE(bar->value(), 0);
        wheel(-1000000);
        QCOMPARE(bar->value(), bar->maximum());
        for (int i = 0; i < 20; ++i) {
            preview.zoom_in();
        }
        QCOMPARE(preview.scale_percent(), 500);
        QCOMPARE(preview.area()->scale(), 500);
        for (int i = 0; i < 20; ++i) {
            preview.zoom_out();
        }
        QCOMPARE(preview.scale_percent(), 25);
        QCOMPARE(preview.area()->scale(), 25);
        QCOMPARE(preview.scale_box()->count(), 13);
        keep_picture(preview, "preview_25");
    }

    void an_export_shows_its_bar_then_restores_the_page_and_opens_the_file() {
        test::TempDir dir;
        const auto table = test::MemoryTable::results(3000, 13);
        QWidget page;
        auto* bar = new QProgressBar(&page);
        auto* button = new QPushButton("Экспорт в Excel", &page);
        bar->hide();
        page.show();
        test::RecordingOperator op;
        std::vector<std::string> opened;
        const std::string path = (dir / "TextData" / "table.xlsx").string();
        auto* exporter = reports::ui::export_table(&page, table, {bar, button, nullptr}, path, op,
                                                   [&](const std::string& file) {
                                                       opened.push_back(file);
                                                       return true;
                                                   });
        QVERIFY(exporter);
        QVERIFY(bar->isVisible());
        QVERIFY(!button->isVisible());
        QVERIFY(!reports::ui::export_table(&page, table, {bar, button, nullptr}, path, op));
        QSignalSpy done(exporter, &reports::ui::TableExporter::finished);
        QVERIFY(done.wait(60000));
        QCOMPARE(done.front().front().toBool(), true);
        QVERIFY(!bar->isVisible());
        QVERIFY(button->isVisible());
        QVERIFY(op.messages.empty());
        // The end names the file and offers to open it.
        QCOMPARE(op.questions.size(), std::size_t{1});
        QVERIFY(op.questions.front().text.find(path) != std::string::npos);
        QCOMPARE(opened, std::vector<std::string>{path});
        // The workbook is read back with unzip, which a Windows program has not.
        if (QSysInfo::productType() != "windows") {
            QVERIFY(test::read_first_sheet(path) == table.cells);
        }
    }

    void a_failed_export_restores_the_page_and_says_why() {
        test::TempDir dir;
        test::write_bytes(dir / "TextData", "not a folder");
        QWidget page;
        auto* bar = new QProgressBar(&page);
        auto* button = new QPushButton("Экспорт в Excel", &page);
        page.show();
        test::RecordingOperator op;
        bool opened = false;
        const auto table = test::MemoryTable::results(10, 3);
        auto* exporter = reports::ui::export_table(
            &page, table, {bar, button, nullptr}, (dir / "TextData" / "table.xlsx").string(), op,
            [&](const std::string&) { return opened = true; });
        QSignalSpy done(exporter, &reports::ui::TableExporter::finished);
        QVERIFY(done.wait(20000));
        QCOMPARE(done.front().front().toBool(), false);
        QVERIFY(!bar->isVisible());
        QVERIFY(button->isVisible());
        QVERIFY(!opened);
        QCOMPARE(op.messages.size(), std::size_t{1});
        QVERIFY(op.messages.front().text.find("table.xlsx") != std::string::npos);
    }

    // "Отмена" stops the export: the page comes back, nothing is said, the old file stays.
    void a_cancelled_export_restores_the_page_and_keeps_the_old_file() {
        test::TempDir dir;
        const auto path = dir / "table.xlsx";
        test::write_bytes(path, "the old workbook");
        QWidget page;
        auto* bar = new QProgressBar(&page);
        auto* button = new QPushButton("Экспорт в Excel", &page);
        auto* cancel = new QPushButton("Отмена", &page);
        cancel->hide();
        page.show();
        test::RecordingOperator op;
        const auto table = test::MemoryTable::results(20000, 13);
        auto* exporter =
            reports::ui::export_table(&page, table, {bar, button, cancel}, path.string(), op);
        QVERIFY(cancel->isVisible());
        QSignalSpy done(exporter, &reports::ui::TableExporter::finished);
        cancel->click();
        QVERIFY(done.wait(20000));
        QCOMPARE(done.front().front().toBool(), false);
        QVERIFY(!bar->isVisible() && !cancel->isVisible());
        QVERIFY(button->isVisible());
        QVERIFY(op.messages.empty() && op.questions.empty());
        QCOMPARE(test::read_bytes(path), std::string("the old workbook"));
    }

    // The LAS export runs beside the window: the page's bar while it runs, then a message
    // naming the file and the rows left out for want of a depth; none with a depth: an error.
    void a_las_export_runs_beside_the_window_and_counts_the_rows_left_out() {
        test::TempDir dir;
        library::ManualClock clock{{2026, 12, 8, 10, 0, 0, 0}};
        storage::ResultsTable table(clock);
        QVERIFY(table.open(dir / "data.tim"));
        const std::vector<analysis::GazResult> list{
            {0, "метан", "", "метан_абс", "", "", 0.00004, 0, 0, false}};
        table.append(list, 0.f);
        QWidget page;
        auto* bar = new QProgressBar(&page);
        auto* button = new QPushButton("Экспорт в LAS...", &page);
        page.show();
        test::RecordingOperator op;
        const auto run = [&](const std::string& target) {
            reports::ui::LasJob job{table.path(), {}, false, {}, target, {}};
            auto* exporter = reports::ui::export_las(&page, job, {bar, button, nullptr}, op);
            QVERIFY(exporter);
            QVERIFY(bar->isVisible() && !button->isVisible());
            QSignalSpy done(exporter, &reports::ui::LasExporter::finished);
            QVERIFY(done.wait(20000));
            QVERIFY(!bar->isVisible() && button->isVisible());
        };
        run((dir / "none.las").string());
        QCOMPARE(op.messages.size(), std::size_t{1});
        QCOMPARE(op.messages.back().text, std::string(reports::kNoDepthText));
        QVERIFY(!std::filesystem::exists(dir / "none.las"));

        table.append(list, 1500.f);
        table.append(list, 1500.f);
        run((dir / "t.las").string());
        QCOMPARE(op.messages.size(), std::size_t{2});
        const std::string& text = op.messages.back().text;
        QVERIFY2(text.find("(строк: 2)") != std::string::npos &&
                     text.find("не вошедших в файл: 1") != std::string::npos,
                 text.c_str());
        const auto las = library::read_whole_file(dir / "t.las");
        QVERIFY(las && las->find("     1500.00      0.00004") != std::string::npos);
    }

    void every_help_topic_and_link_is_there() {
        QWidget window;
        auto* help = reports::ui::show_help_topic(&window, "print_table");
        QCOMPARE(help->current_topic(), QString("print_table"));
        QVERIFY(!help->browser()->documentTitle().isEmpty());
        keep_picture(*help, "help_print_table");
        QVERIFY(!help->show_topic("no_such_topic"));
        QCOMPARE(help->current_topic(), QString("index"));

        QDir pages(":/help");
        const QStringList names = pages.entryList({"*.html"});
        QVERIFY(names.size() >= 10);
        const QRegularExpression link("href=\"([a-z_0-9]+\\.html)(#[a-z_0-9]+)?\"");
        for (const QString& name : names) {
            QFile file(":/help/" + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            QVERIFY2(text.contains("<title>"), qPrintable(name));
            for (auto it = link.globalMatch(text); it.hasNext();) {
                const QString target = it.next().captured(1);
                QVERIFY2(pages.exists(target), qPrintable(name + " -> " + target));
            }
            // Every page can be reached from the contents.
            if (name != "index.html") {
                QFile index(":/help/index.html");
                QVERIFY(index.open(QIODevice::ReadOnly));
                QVERIFY2(index.readAll().contains(name.toUtf8()), qPrintable(name));
            }
        }
        delete help;
    }
};

QTEST_MAIN(ReportsUiTest)
#include "reports_ui_test.moc"
