#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

#include "display/ui/chromatogram_painter.h"
#include "sample_plot.h"
#include "support/recording_operator.h"

using vetra::display::ChromatogramPlot;
using vetra::display::GasWindow;
using namespace vetra::display::ui;

namespace {

QImage render(ChromatogramPlot& plot, int gas_count, const PlotStyle& style,
              const PaintOptions& options = {}, QSize size = {1100, 560}) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    paint_chromatogram(p, image.rect(), plot, gas_count, style, options);
    return image;
}

int pixels_of(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            n += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return n;
}

// Columns of the plot's left or right half that hold a vertical grid line (dotted: many
// pixels of the foreground colour) away from the axes.
int grid_columns(const QImage& image, const QRect& area, bool right_half) {
    int columns = 0;
    const int from = right_half ? area.center().x() : area.left() + 3;
    const int to = right_half ? area.right() - 2 : area.center().x();
    for (int x = from; x < to; ++x) {
        int dots = 0;
        for (int y = area.top() + area.height() / 4; y < area.bottom() - area.height() / 4; ++y) {
            dots += (image.pixel(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
        }
        columns += dots > area.height() / 8 ? 1 : 0;
    }
    return columns;
}

}  // namespace

class PlotUiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void colours_are_windows_values() {
        QCOMPARE(to_qcolor(255), QColor(255, 0, 0));
        QCOMPARE(to_qcolor(0xFF0000), QColor(0, 0, 255));
        QCOMPARE(to_qcolor(32896), QColor(128, 128, 0));
    }

    void paint_stores_the_top_in_use_data() {
        QTest::addColumn<QList<double>>("points");
        QTest::addColumn<double>("fixed");
        QTest::addColumn<double>("top");
        QTest::newRow("no points: 0 .. 1") << QList<double>{} << 0.0 << 1.0;
        QTest::newRow("0.8 stays") << QList<double>{0.1, 0.8} << 0.0 << 0.8;
        QTest::newRow("0.81 gives 1") << QList<double>{0.81} << 0.0 << 1.0;
        QTest::newRow("fixed top") << QList<double>{300.0} << 40.0 << 40.0;
    }
    void paint_stores_the_top_in_use() {
        QFETCH(QList<double>, points);
        QFETCH(double, fixed);
        QFETCH(double, top);
        ChromatogramPlot plot;
        plot.top = 12345;
        plot.points.assign(points.begin(), points.end());
        plot.fixed_top = fixed;
        render(plot, 0, vetra::test::SamplePlot::style());
        QCOMPARE(plot.top, top);
    }

    void a_window_with_start_not_below_end_draws_nothing_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::newRow("start = end") << 300 << 300;
        QTest::newRow("start > end") << 420 << 200;
    }
    void a_window_with_start_not_below_end_draws_nothing() {
        QFETCH(int, start);
        QFETCH(int, end);
        vetra::test::SamplePlot sample;
        const QRgb teal = qRgb(0, 200, 200);  // no default gas has it, nor its tint
        GasWindow& w = sample.plot.windows[3];
        w.colour = 0xC8C800;
        w.code = "Zz";
        w.start = start;
        w.end = end;
        const QImage drawn = render(sample.plot, 6, sample.style());
        QCOMPARE(pixels_of(drawn, teal), 0);
        QCOMPARE(pixels_of(drawn, qRgb(210, 255, 255)), 0);  // its label's tint

        // The same plot with the window moved to other empty bounds looks the same.
        w.start = 10;
        w.end = 10;
        QCOMPARE(render(sample.plot, 6, sample.style()), drawn);

        // A proper window of that colour does show.
        w.start = 300;
        w.end = 420;
        QVERIFY(pixels_of(render(sample.plot, 6, sample.style()), teal) > 100);
    }

    void windows_need_points_and_the_gas_count() {
        vetra::test::SamplePlot sample;
        PaintOptions options;
        options.show_results = false;  // the legend has a methane line of its own
        const QRgb red = qRgb(255, 0, 0);
        QVERIFY(pixels_of(render(sample.plot, 6, sample.style(), options), red) > 100);
        QCOMPARE(pixels_of(render(sample.plot, 5, sample.style(), options), red), 0);
        sample.plot.points.clear();
        QCOMPARE(pixels_of(render(sample.plot, 6, sample.style(), options), red), 0);
    }

    void peaks_are_hatched_only_with_fill_and_a_result() {
        vetra::test::SamplePlot sample;
        PaintOptions fill;
        PaintOptions plain;
        plain.fill_peaks = false;
        plain.show_results = false;
        fill.show_results = false;
        const QRgb blue = qRgb(0, 0, 255);  // ethane
        const int hatched = pixels_of(render(sample.plot, 6, sample.style(), fill), blue);
        const int marks = pixels_of(render(sample.plot, 6, sample.style(), plain), blue);
        QVERIFY2(hatched > marks + 200, qPrintable(QString("%1 vs %2").arg(hatched).arg(marks)));
        sample.plot.windows[1].has_result = false;
        QCOMPARE(pixels_of(render(sample.plot, 6, sample.style(), fill), blue), marks);
    }

    // The picture variant is drawn from the history's thinned copy (R div 2 samples a point),
    // so only it spaces the time lines that way; the compact cell on screen does not.
    void the_time_grid_follows_the_picture_variant() {
        PlotStyle style = vetra::test::SamplePlot::style();  // 8 a second, lines every 5 s
        style.vertical_grid = 2;
        for (const bool compact : {false, true}) {
            ChromatogramPlot plot;
            plot.compact = compact;
            plot.fixed_top = 10;
            plot.points.assign(compact ? 480 : 0, 0.0);  // a compact axis spans its points
            QImage probe(1, 1, QImage::Format_RGB32);
            QPainter p(&probe);
            p.setFont(compact ? p.font() : plot_font(style));
            const QRect area = plot_rect(p.fontMetrics(), QRect(0, 0, 1100, 560), compact);
            PaintOptions options;
            const int plain = grid_columns(render(plot, 0, style, options), area, !compact);
            options.picture = true;
            const int picture = grid_columns(render(plot, 0, style, options), area, !compact);
            if (compact) {
                // Every 40 points on screen, every 10 in the picture (to 120 s at point 240).
                QVERIFY2(picture >= 3 * plain && plain >= 4,
                         qPrintable(QString("%1 vs %2").arg(picture).arg(plain)));
            } else {
                // 120 s thinned end a quarter of the way along the 960 samples of the axis.
                QVERIFY2(plain >= 10 && picture == 0,
                         qPrintable(QString("%1 vs %2").arg(picture).arg(plain)));
            }
        }
    }

    // Only the window marks depend on the windows matching the gas list.
    void labels_and_the_compact_legend_do_not_need_the_gas_count() {
        vetra::test::SamplePlot sample;
        const QRgb methane_tint = qRgb(255, 210, 210);
        QVERIFY(pixels_of(render(sample.plot, 5, sample.style()), methane_tint) > 50);
        sample.plot.compact = true;
        const PaintOptions picture{false, false, true, true};
        QCOMPARE(render(sample.plot, 5, sample.style(), picture),
                 render(sample.plot, 6, sample.style(), picture));
    }

    // The hatched peak's outline is 2 pixels whatever the curve's width.
    void the_hatch_outline_is_two_pixels_wide() {
        vetra::test::SamplePlot sample;
        PaintOptions options;
        options.show_results = false;
        const QRgb blue = qRgb(0, 0, 255);  // ethane
        PlotStyle thick = sample.style();
        thick.curve_width = 4;
        QCOMPARE(pixels_of(render(sample.plot, 6, thick, options), blue),
                 pixels_of(render(sample.plot, 6, sample.style(), options), blue));
    }

    void results_and_legend_hide_while_calibrating() {
        vetra::test::SamplePlot sample;
        PaintOptions hidden;
        hidden.show_results = false;
        const QRgb methane_tint = qRgb(255, 210, 210);
        QVERIFY(pixels_of(render(sample.plot, 6, sample.style()), methane_tint) > 50);
        QCOMPARE(pixels_of(render(sample.plot, 6, sample.style(), hidden), methane_tint), 0);
    }

    // Columns of many samples are drawn as their first, lowest, highest and last point;
    // the result must be the full polyline's pixels.
    void the_curve_is_the_polyline_through_every_point() {
        PlotStyle style = vetra::test::SamplePlot::style();
        style.screen_seconds = 1875;  // 15 000 samples on the axis
        ChromatogramPlot plot;
        plot.fixed_top = 100;
        std::uint32_t seed = 7;
        for (int i = 0; i < 15000; ++i) {
            seed = seed * 1103515245u + 12345u;
            plot.points.push_back(50 + 40 * std::sin(i / 300.0) + (seed >> 16) % 30 - 15);
        }
        plot.points[9000] = 1e6;   // far above the canvas
        plot.points[9001] = -1e6;  // far below it
        plot.points[9002] = std::numeric_limits<double>::quiet_NaN();
        const QImage drawn = render(plot, 0, style);

        ChromatogramPlot empty;
        empty.fixed_top = 100;
        QImage expected = render(empty, 0, style);
        QPainter p(&expected);
        p.setFont(plot_font(style));
        const QRect area = plot_rect(p.fontMetrics(), expected.rect(), false);
        QPolygon line;
        for (int i = 0; i < plot.point_count(); ++i) {
            const double v = plot.points[static_cast<std::size_t>(i)];
            const double y = (area.top() - area.bottom()) * v / 100.0 + area.bottom();
            const int row =
                std::isnan(y) ? area.bottom()
                              : std::clamp(static_cast<int>(std::lround(std::clamp(y, -1e8, 1e8))),
                                           0, expected.height() - 1);
            line << QPoint(area.left() + static_cast<int>(static_cast<std::int64_t>(i) *
                                                          (area.right() - area.left()) / 15000),
                           row);
        }
        p.setPen(QPen(Qt::black, 1));
        p.drawPolyline(line);
        p.end();
        QCOMPARE(drawn, expected);
    }

    void the_picture_is_a_1280_by_1024_jpeg() {
        QTemporaryDir dir;
        vetra::test::SamplePlot sample;
        const QString path = dir.filePath("рисунок.jpeg");
        QVERIFY(save_picture(sample.plot, 6, sample.style(), path));
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), QSize(1280, 1024));
        QVERIFY(!save_picture(sample.plot, 6, sample.style(), dir.filePath("нет/рисунок.jpeg")));
    }

    void printing_to_a_pdf_file_gives_one_landscape_page() {
        QTemporaryDir dir;
        vetra::test::SamplePlot sample;
        sample.plot.background = 0x000000;  // printing turns it white on a copy
        sample.plot.foreground = 0xFFFFFF;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("plot.pdf"));
        vetra::test::RecordingOperator op;
        QVERIFY(print_chromatogram(sample.plot, 6, sample.style(), printer, &op));
        QVERIFY(op.messages.empty());
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
        QCOMPARE(printer.docName(), QStringLiteral("Хроматограмма"));
        QCOMPARE(sample.plot.background, 0x000000);

        QFile pdf(dir.filePath("plot.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(pdf.readAll());
        QVERIFY(text.contains(QRegularExpression(R"(/Type\s*/Pages\b[^>]*/Count 1\b)")));
        QCOMPARE(text.count(QRegularExpression(R"(/Type\s*/Page\b)")), 1);
        const auto box =
            QRegularExpression(R"(/MediaBox\s*\[\s*0\s+0\s+([\d.]+)\s+([\d.]+)\s*\])").match(text);
        QVERIFY(box.hasMatch());
        QVERIFY(box.captured(1).toDouble() > box.captured(2).toDouble());
    }

    void printing_without_a_printer_tells_the_operator() {
        QPrinter printer;
        if (printer.outputFormat() == QPrinter::NativeFormat &&
            !QPrinterInfo::availablePrinterNames().isEmpty()) {
            // Never print on a real printer from a test: a PDF printer with no file stands in.
            printer.setOutputFormat(QPrinter::PdfFormat);
        }
        printer.setOutputFileName({});
        vetra::test::SamplePlot sample;
        vetra::test::RecordingOperator op;
        QVERIFY(!print_chromatogram(sample.plot, 6, sample.style(), printer, &op));
        QCOMPARE(op.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(op.messages[0].text),
                 QStringLiteral("Невозможно выполнить печать. Проверьте, установлен ли принтер "
                                "в системе"));
        QCOMPARE(QString::fromStdString(op.messages[0].caption), QStringLiteral("  ОШИБКА"));
        QVERIFY(op.messages[0].icon == vetra::library::MessageIcon::stop);
    }

    void the_widget_paints_the_plot() {
        vetra::test::SamplePlot sample;
        ChromatogramWidget widget;
        widget.resize(900, 480);
        widget.set_plot(
            &sample.plot, [] { return 6; }, [] { return vetra::test::SamplePlot::style(); });
        const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, render(sample.plot, 6, sample.style(), {}, shown.size()));
        QVERIFY(widget.current_plot_rect().height() > 300);
        widget.set_show_results(false);
        QVERIFY(!widget.show_results());
    }

    // Writes the sample chromatogram as PNG files into $VETRA_SHOT_DIR for a look by eye.
    void sample_pictures() {
        const QString dir = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (dir.isEmpty()) {
            QSKIP("VETRA_SHOT_DIR not set");
        }
        vetra::test::SamplePlot sample;
        sample.plot.message = "Внезапно потеряна связь с хроматографом!";
        PaintOptions options;
        QVERIFY(render(sample.plot, 6, sample.style(), options).save(dir + "/plot-1100x560.png"));
        options.date_line = true;
        options.picture = true;
        QVERIFY(render(sample.plot, 6, sample.style(), options, {1280, 1024})
                    .save(dir + "/plot-1280x1024.png"));
        sample.plot.message.clear();
        sample.plot.set_background(0x402000);
        PlotStyle dark = sample.style();
        dark.curve_colour = QColor(255, 255, 0);
        dark.curve_width = 2;
        QVERIFY(
            render(sample.plot, 6, dark, {}, {1366, 600}).save(dir + "/plot-dark-1366x600.png"));

        // The history's look: every fourth sample, compact, the date as the message.
        ChromatogramPlot history;
        for (std::size_t i = 0; i + 4 < sample.plot.points.size(); i += 4) {
            history.points.push_back(sample.plot.points[i + 3]);
        }
        history.windows = sample.plot.windows;
        for (auto& w : history.windows) {
            w.start /= 4;
            w.end /= 4;
        }
        history.compact = true;
        history.message = "Дата: 5.3.2011.   Время: 14:07.";
        QImage cell(400, 120, QImage::Format_RGB32);
        {
            QPainter p(&cell);
            QFont font = plot_font(sample.style());
            font.setPointSizeF(font.pointSizeF() * 2 / 3);
            p.setFont(font);
            paint_chromatogram(p, cell.rect(), history, 6, sample.style(),
                               {true, false, false, true});
        }
        QVERIFY(cell.save(dir + "/history-cell-400x120.png"));
        QVERIFY(save_picture(history, 6, sample.style(), dir + "/history-picture.jpeg"));
        QVERIFY(QImage(dir + "/history-picture.jpeg").save(dir + "/history-picture-jpeg.png"));

        // What the printer gets: an A4 landscape page at 300 dpi, shown at a third.
        QImage page(3508, 2480, QImage::Format_RGB32);
        page.setDotsPerMeterX(11811);
        page.setDotsPerMeterY(11811);
        {
            sample.plot.set_background(0xFFFFFF);
            PlotStyle paper = sample.style();
            paper.font_size = 11;
            QPainter p(&page);
            paint_chromatogram(p, page.rect(), sample.plot, 6, paper, {true, true, false, true});
        }
        QVERIFY(page.scaledToWidth(1170, Qt::SmoothTransformation)
                    .save(dir + "/print-page-300dpi-third.png"));
    }
};

QTEST_MAIN(PlotUiTest)
#include "plot_ui_test.moc"
