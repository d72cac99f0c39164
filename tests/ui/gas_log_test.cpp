// The gas log page, its printing and its PDF/SVG on the offscreen platform, and the page over
// a results table that vetra-console made against the simulated station's depths.
#include <QApplication>
#include <QDialog>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <regex>

#include "analysis/gaz_list.h"
#include "app/ui/gas_log_reports.h"
#include "app/ui/gas_log_rows.h"
#include "display/ui/gas_log_page.h"
#include "library/clock.h"
#include "program_run.h"
#include "reports/ui/gas_log_document.h"
#include "reports/ui/svg_picture.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "storage/results_table.h"
#include "support/recording_operator.h"
#include "support/synthetic_well.h"
#include "support/temp_dir.h"
#include "support/xlsx_reader.h"

using namespace vetra;
using namespace std::chrono_literals;

namespace {

void keep_picture(const QImage& image, const char* name) {
    const QByteArray dir = qgetenv("VETRA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        image.save(QString::fromUtf8(dir) + "/" + name + ".png");
    }
}

void keep_file(const QString& path, const QString& name) {
    const QByteArray dir = qgetenv("VETRA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QFile::remove(QString::fromUtf8(dir) + "/" + name);
        QFile::copy(path, QString::fromUtf8(dir) + "/" + name);
    }
}

// Three days of totalizer readings, one a second, at the depths of the well's last rows.
analysis::TotalizerLog totalizer_over(const test::SyntheticWell& well) {
    analysis::TotalizerLog log;
    const int first = std::max(0, well.size() - 4320);
    for (int i = first; i < well.size(); ++i) {
        const auto& s = well.samples_[static_cast<std::size_t>(i)];
        for (int k = 0; k < 60; ++k) {
            log.append(46000.0 + (i * 60 + k) * library::kSecondInDays,
                       s.gases[0] * 1.4f + 0.05f * static_cast<float>(k % 7), s.depth);
        }
    }
    return log;
}

// The first and last pixel row of the page image where the gas track shows pure red (the
// colour of метан) within `x0..x1`.
std::pair<int, int> red_rows(const QImage& image, int x0, int x1) {
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = x0; x < x1; ++x) {
            if (image.pixel(x, y) == qRgb(255, 0, 0)) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

}  // namespace

class GasLogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void the_page_follows_drilling_scrolls_zooms_and_keeps_its_settings();
    void a_printed_interval_keeps_its_scale_over_pages_in_pdf_and_svg();
    void the_page_shows_a_table_the_console_made_with_the_stations_depths();
    void shows_are_shaded_by_class_at_their_depths_with_the_background_line();
};

// The shades of two shows of different classes sit exactly at their depth intervals across the
// tracks, the depth column stays clear, the background is a dashed line along every row at its
// percent of the total-gas track, not raised by the show, and the print carries the same.
void GasLogTest::shows_are_shaded_by_class_at_their_depths_with_the_background_line() {
    test::SyntheticWell well(2000, 990.0);
    // Total gas about 1 %, 5 % over the first show's drilled rows.
    for (std::size_t i = 0; i < well.samples_.size(); ++i) {
        auto& s = well.samples_[i];
        const bool in_show = s.depth >= 1000.0f && s.depth <= 1005.0f;
        s.total = in_show ? 5.0f : (i % 2 == 0 ? 0.98f : 1.02f);
    }
    display::GasLogModel model;
    model.update(well);
    std::vector<analysis::GasShow> shows(2);
    shows[0].top = 1000.0;
    shows[0].bottom = 1005.0;
    shows[0].background = 1.0;
    shows[1].top = 1012.0;
    shows[1].bottom = 1013.0;
    shows[1].background = 1.0;
    shows[1].show_class = analysis::ShowClass::connection;
    display::ui::GasLogView view;
    view.top = 990.0;
    view.dots_per_cm = 40.0;  // 8 pixels a metre at 1:500
    view.tracks = {true, false, false};
    view.shows = &shows;
    QImage image(600, 400, QImage::Format_RGB32);
    QPainter p(&image);
    display::ui::paint_gas_log(p, image.rect(), model, nullptr, view);
    p.end();
    keep_picture(image, "gas_log_shows");
    const int head = display::ui::gas_log_head_height(QFontMetrics(QFont()));
    const auto row_of = [&](double depth) { return head + static_cast<int>((depth - 990.0) * 8); };
    const auto shaded_as = [&](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        const QColor drilled = display::ui::show_colour(analysis::ShowClass::drilled);
        const QColor connection = display::ui::show_colour(analysis::ShowClass::connection);
        const auto blend = [](const QColor& s) {
            const double a = s.alphaF();
            return QColor(qRound(255 * (1 - a) + s.red() * a),
                          qRound(255 * (1 - a) + s.green() * a),
                          qRound(255 * (1 - a) + s.blue() * a));
        };
        const auto near = [&](const QColor& e) {
            return std::abs(c.red() - e.red()) + std::abs(c.green() - e.green()) +
                       std::abs(c.blue() - e.blue()) <
                   12;
        };
        return near(blend(drilled)) ? 1 : near(blend(connection)) ? 2 : 0;
    };
    const int x = 560;  // right in the total track, clear of labels and of the curves
    for (int y = row_of(997); y < row_of(1016); ++y) {
        if ((y - head) % 8 == 0) {
            continue;  // the depth grid's line
        }
        const int expected = y >= row_of(1000) + 1 && y < row_of(1005) - 1   ? 1
                             : y >= row_of(1012) + 1 && y < row_of(1013) - 1 ? 2
                                                                             : -1;
        if (expected > 0) {
            QCOMPARE(shaded_as(x, y), expected);
        } else if (y < row_of(1000) - 1 || (y > row_of(1005) + 1 && y < row_of(1012) - 1) ||
                   y > row_of(1013) + 1) {
            QCOMPARE(shaded_as(x, y), 0);
        }
    }
    QCOMPARE(shaded_as(5, row_of(1002)), 0);  // the depth column
    // The dashed background at 1 % (a tenth of the 10 % track) above, through and below the
    // show; the total gas itself at the show's 5 % (no totalizer: the analyses' own).
    const int depth_width =
        QFontMetrics(QFont()).horizontalAdvance("00000,0") + QFontMetrics(QFont()).height() / 2;
    const int track = image.width() - depth_width;
    const auto pixels_at = [&](double from, double to, double share, auto is_colour) {
        int found = 0;
        for (int y = row_of(from); y < row_of(to); ++y) {
            for (int i = depth_width; i < image.width(); ++i) {
                if (is_colour(image.pixelColor(i, y)) &&
                    std::fabs(double(i - depth_width) / (track - 1) - share) < 0.01) {
                    ++found;
                }
            }
        }
        return found;
    };
    // Brown drawn over the shades; black under them (orange over black is a darker brown).
    const auto brown = [](const QColor& c) {
        return c.red() > 105 && c.red() < 135 && c.green() > 45 && c.green() < 75 && c.blue() < 30;
    };
    const auto black = [](const QColor& c) {
        return c.red() < 105 && c.green() < 70 && c.blue() < 30;
    };
    QVERIFY(pixels_at(994, 999, 0.1, brown) > 10);
    QVERIFY(pixels_at(1003, 1005, 0.1, brown) > 4);
    QVERIFY(pixels_at(1006, 1016, 0.1, brown) > 10);
    QCOMPARE(pixels_at(1003, 1005, 0.5, brown), 0);
    QVERIFY(pixels_at(1003, 1005, 0.5, black) > 4);
    QCOMPARE(pixels_at(1006, 1016, 0.5, black), 0);

    // The page shades them too.
    display::ui::GasLogPage page(well, nullptr);
    page.set_shows(&shows);
    page.resize(900, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.scroll_to(995);
    QCOMPARE(page.view().shows, &shows);
    keep_picture(page.grab().toImage(), "gas_log_page_shows");

    // The print has the same labels.
    test::TempDir dir;
    reports::ui::GasLogPrintOptions options;
    options.from = 995;
    options.to = 1020;
    options.shows = shows;
    reports::ui::GasLogDocument document(model, nullptr, well, options);
    const QString pdf = QString::fromStdString((dir.path() / "shows.pdf").string());
    QString error;
    QVERIFY2(reports::ui::save_gas_log(document, pdf, error), qPrintable(error));
    keep_file(pdf, "gas_log_shows.pdf");
    QString text = QString::fromStdString(
        test::run_output(("pdftotext -layout '" + pdf + "' -").toStdString()));
    text.replace(',', '.');
    QVERIFY2(text.contains("при бурении 1000.0-1005.0") &&
                 text.contains("газ наращивания 1012.0-1013.0") && text.contains("фон"),
             qPrintable(text));
}

void GasLogTest::the_page_follows_drilling_scrolls_zooms_and_keeps_its_settings() {
    test::SyntheticWell well(20000, 1200.0);
    const analysis::TotalizerLog log = totalizer_over(well);
    display::ui::GasLogPage page(well, &log);
    page.resize(1280, 900);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(page.model().size(), 20000);
    QVERIFY(page.following());
    QCOMPARE(page.view().scale, 500.0);
    QVERIFY(page.view().drilling_only);

    // While drilling the newest depth sits in view, and a new row moves the view with it.
    const auto in_view = [&](double depth) {
        const double metres =
            (page.canvas()->height() - 3 * page.canvas()->fontMetrics().height()) /
            page.view().axis().pixels_per_metre;
        return depth > page.view().top && depth < page.view().top + metres;
    };
    QVERIFY(in_view(*page.model().newest_depth()));
    const double top = page.view().top;
    display::GasLogSample next = well.samples_.back();
    next.depth += 30.0f;
    well.samples_.push_back(next);
    page.refresh();
    QCOMPARE(page.model().size(), 20001);
    QVERIFY(std::fabs(page.view().top - (top + 30.0)) < 0.01);
    page.set_cursor(*page.model().newest_depth() - 0.01);
    QVERIFY2(page.cursor_text().contains("Сумм. газ:") && page.cursor_text().contains("C1:") &&
                 page.cursor_text().contains("Wh:"),
             qPrintable(page.cursor_text()));
    keep_picture(page.grab().toImage(), "gas_log_drilling");

    // The wheel scrolls away and stops following; "К забою" comes back.
    QWheelEvent wheel(QPointF(300, 300), page.canvas()->mapToGlobal(QPointF(300, 300)), QPoint(),
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(page.canvas(), &wheel);
    QVERIFY(!page.following());
    QVERIFY(page.view().top < top + 30.0);
    page.refresh();
    QVERIFY(page.view().top < top + 30.0);
    page.follow_newest();
    QVERIFY(page.following());

    // After a trip, with the trips shown: the rows logged above the bottom are drawn too.
    page.set_drilling_only(false);
    page.set_scale(1000);
    page.scroll_to(well.samples_[7990].depth - 60);
    page.set_cursor(well.samples_[7995].depth);
    QVERIFY2(page.cursor_text().contains("Анализ на"), qPrintable(page.cursor_text()));
    keep_picture(page.grab().toImage(), "gas_log_after_trip");

    page.zoom(1.5);  // a free zoom
    QCOMPARE(page.view().scale, 1500.0);
    settings::IniFile file;
    page.save_settings(file);
    display::ui::GasLogPage other(well, &log);
    other.load_settings(file);
    QCOMPARE(other.view().scale, 1500.0);
    QVERIFY(!other.view().drilling_only);
    QCOMPARE(file.read_integer(display::ui::kGasLogSection, "масштаб", 0), 1500);

    // "Распечатать..." through the dialog, accepted as it opens, onto a PDF printer.
    test::TempDir dir;
    const QString pdf = QString::fromStdString((dir / "page.pdf").string());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    test::RecordingOperator op;
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            d->done(1);
        }
    });
    settings::GlobalSettings settings;
    QVERIFY(app::ui::print_gas_log_page(page, settings, (dir / "x.ini").string(), op, &printer));
    QVERIFY(QFileInfo(pdf).size() > 1000);
}

void GasLogTest::a_printed_interval_keeps_its_scale_over_pages_in_pdf_and_svg() {
    // A dry well at 0.001 % (the left edge) with two shows of 100 % метан (the right edge).
    test::SyntheticWell well(0, 0);
    for (int i = 0; i <= 6000; ++i) {
        display::GasLogSample s;
        s.depth = static_cast<float>(1000.0 + i * 0.05);
        s.stamp = 1'700'000'000u + static_cast<std::uint32_t>(i) * 60u;
        const bool show = std::fabs(s.depth - 1005.0) < 0.01 || std::fabs(s.depth - 1250.0) < 0.01;
        s.gases.fill(0.001f);
        s.gases[0] = show ? 100.0f : 0.001f;
        well.samples_.push_back(s);
    }
    display::GasLogModel model;
    model.update(well);
    reports::ui::GasLogPrintOptions options;
    options.from = 1000;
    options.to = 1300;
    options.scale = 500;
    options.well = "Р-17";
    options.tracks.total = false;
    options.tracks.ratios = false;

    // Pages drawn at 100 dots a centimetre: 1:500 puts 5 m on 100 dots.
    reports::ui::GasLogDocument document(model, nullptr, well, options);
    QImage page(1900, 2700, QImage::Format_RGB32);
    page.setDotsPerMeterX(10000);
    page.setDotsPerMeterY(10000);
    {
        QPainter measure(&page);
        document.layout(measure, page.size(), 100.0);
    }
    const int body = page.height() - document.tracks_top();
    QCOMPARE(document.metres_per_page(), body / 20.0);
    QCOMPARE(document.page_count(), static_cast<int>(std::ceil(300.0 / (body / 20.0))));
    const auto show_at = [&](double depth) {
        const int index = static_cast<int>((depth - options.from) / document.metres_per_page());
        page.fill(Qt::white);
        QPainter p(&page);
        document.render_page(p, index);
        p.end();
        const double expected = document.tracks_top() +
                                (depth - options.from - index * document.metres_per_page()) * 20.0;
        const auto [first, last] = red_rows(page, page.width() / 2, page.width());
        QVERIFY2(first >= 0 && std::fabs(first - expected) <= 2 && std::fabs(last - expected) <= 2,
                 qPrintable(QString("%1..%2, expected %3").arg(first).arg(last).arg(expected)));
    };
    show_at(1005.0);
    show_at(1250.0);  // on a later page, continued at the same scale
    keep_picture(page, "gas_log_page");

    // PDF: A4 pages, as many as the interval needs at 1:500 on the paper's printable height.
    test::TempDir dir;
    const QString pdf = QString::fromStdString((dir / "log.pdf").string());
    QString error;
    reports::ui::GasLogDocument for_pdf(model, nullptr, well, options);
    QVERIFY2(reports::ui::save_gas_log(for_pdf, pdf, error), qPrintable(error));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::string bytes = file.readAll().toStdString();
    const std::regex media(R"(/MediaBox \[0 0 ([0-9.]+) ([0-9.]+)\])");
    std::smatch m;
    QVERIFY(std::regex_search(bytes, m, media));
    QVERIFY(std::fabs(std::stod(m[1]) - 595.0) < 1 && std::fabs(std::stod(m[2]) - 842.0) < 1);
    // 1:500 on the printable height of A4 with 10 mm margins, below the heading.
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                         QPageLayout::Millimeter);
    QCOMPARE(for_pdf.dots_per_cm(), 300 / 2.54);
    QCOMPARE(for_pdf.page_size(), a4.paintRectPixels(300).size());
    const double printable_cm =
        (a4.paintRectPixels(300).height() - for_pdf.tracks_top()) / for_pdf.dots_per_cm();
    QVERIFY2(std::fabs(for_pdf.metres_per_page() - printable_cm * 5.0) < 1e-6,
             qPrintable(QString("%1 m a page, %2 cm printable, %3 dots a cm")
                            .arg(for_pdf.metres_per_page())
                            .arg(printable_cm)
                            .arg(for_pdf.dots_per_cm())));
    std::ptrdiff_t pages = 0;
    const std::regex page_type(R"(/Type /Page\b)");
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), page_type);
         it != std::sregex_iterator(); ++it) {
        ++pages;
    }
    QCOMPARE(pages, static_cast<std::ptrdiff_t>(for_pdf.page_count()));
    QCOMPARE(for_pdf.page_count(), static_cast<int>(std::ceil(300.0 / for_pdf.metres_per_page())));
    keep_file(pdf, "gas_log.pdf");

    // SVG: one picture whose height in millimetres is the interval at 1:500.
    const QString svg = QString::fromStdString((dir / "log.svg").string());
    reports::ui::GasLogDocument for_svg(model, nullptr, well, options);
    if (!reports::ui::svg_available()) {
        // A build without an SVG writer refuses and says so, leaving no file.
        QVERIFY(!reports::ui::save_gas_log(for_svg, svg, error));
        QVERIFY(error.contains("SVG"));
        QVERIFY(!QFile::exists(svg));
        return;
    }
    QVERIFY2(reports::ui::save_gas_log(for_svg, svg, error), qPrintable(error));
    QFile svg_file(svg);
    QVERIFY(svg_file.open(QIODevice::ReadOnly));
    const std::string text = svg_file.readAll().toStdString();
    QVERIFY(std::regex_search(text, m, std::regex(R"(height="([0-9.]+)mm")")));
    const double expected_mm = for_svg.tracks_top() / 10.0 + 300.0 / 5.0 * 10.0;
    QVERIFY2(std::fabs(std::stod(m[1]) - expected_mm) < 1.0, m[1].str().c_str());

    // A file that cannot be written says so and leaves nothing behind.
    QVERIFY(!reports::ui::save_gas_log(for_svg, "/nonexistent/dir/log.pdf", error));
    QVERIFY(!error.isEmpty());
}

void GasLogTest::the_page_shows_a_table_the_console_made_with_the_stations_depths() {
    test::TempDir sandbox;
    const std::filesystem::path program = sandbox / "program";
    e2e::write_settings(
        program, "[время]\r\nпосылок_в_секунду=2\r\n[VetraSystem]\r\nmax_depth_counter=0\r\n");
    // The sample calibration, so the demonstration's peaks give concentrations, not zeros.
    std::filesystem::copy_file(std::filesystem::path(VETRA_EXAMPLES_DIR) / "calibr.ini",
                               program / "calibr.ini");
    const std::vector<std::string> depths{"1000", "1001,5", "1003", "1002", "1004,5"};
    e2e::ProgramRun console(sandbox, "console", VETRA_CONSOLE_PATH,
                            {"--demo", "--verbose", "--dir", program.string(), "--mode", "3",
                             "--cycles", std::to_string(depths.size())});
    for (std::size_t i = 0; i < depths.size(); ++i) {
        e2e::ProgramRun send(sandbox, "send", VETRA_SIM_PATH,
                             {"station", "--send-only", "--wait", "20", "--send", "operation=start",
                              "--send", "depth=" + depths[i]});
        QCOMPARE(send.wait(30s).status, 0);
        QVERIFY2(
            e2e::wait_until(
                [&] { return e2e::count_of(console.err_so_far(), "cycle finished") > i; }, 30s),
            console.err_so_far().c_str());
    }
    QCOMPARE(console.wait(30s).status, 0);

    settings::GlobalSettings settings;
    settings::load_settings_at_startup(settings, program.string() + "/");
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    QVERIFY(table.open(
        settings::data_directory(settings, program.string() + "/") / storage::kTableFileName,
        true));
    QCOMPARE(table.row_count(), 5);
    analysis::GazList gases;
    app::ui::TableGasLogRows rows(table, &gases);
    QCOMPARE(rows.gases().size(), std::size_t{6});
    QCOMPARE(rows.gases()[0].code, std::string("C1"));
    QCOMPARE(rows.gases()[0].colour, gases.gas(0).colour);
    display::ui::GasLogPage page(rows, nullptr);
    page.resize(1000, 700);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(page.model().size(), 5);
    QCOMPARE(page.model().drilling_rows(), (std::vector<int>{0, 1, 2, 4}));
    page.set_scale(200);
    page.scroll_to(999);
    page.set_cursor(1002.0);
    QVERIFY2(page.cursor_text().contains("Анализ на 1001"), qPrintable(page.cursor_text()));
    page.set_drilling_only(false);
    QVERIFY2(page.cursor_text().contains("Анализ на 1002"), qPrintable(page.cursor_text()));
    // Each gas comes from its own stored column: метан is the table's first value.
    int above_scale_floor = 0;
    for (int row = 0; row < 5; ++row) {
        display::GasLogSample s;
        QVERIFY(rows.read(row, s));
        QCOMPARE(s.gases[0], table.row(row)->values[0]);
        QCOMPARE(s.gases[5], table.row(row)->values[5]);
        // The demonstration's gases are near the axis's 0,001 %: any of them will do.
        for (int g = 0; g < 6; ++g) {
            const auto level = page.model().level(g, row);
            QCOMPARE(static_cast<int>(level),
                     static_cast<int>(std::lround(display::log_fraction(s.gases[g], 0.001, 100) *
                                                  display::GasLogModel::kLevels)));
            above_scale_floor += level > 0 ? 1 : 0;
        }
    }
    QVERIFY(above_scale_floor > 0);
    QVERIFY2(!page.cursor_text().contains("C1: 0 "), qPrintable(page.cursor_text()));
    keep_picture(page.grab().toImage(), "gas_log_console_table");
}

QTEST_MAIN(GasLogTest)
#include "gas_log_test.moc"
