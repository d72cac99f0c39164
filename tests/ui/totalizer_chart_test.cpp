#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QtTest>
#include <cmath>

#include "display/ui/totalizer_chart_panel.h"
#include "library/number_text.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"

using namespace vetra::display::ui;
using vetra::analysis::TotalizerLog;
namespace library = vetra::library;

namespace {

constexpr double kT0 = 46000.5;  // 12:00:00

// `seconds` of one reading a second: a slow wave with a burst of gas near the end.
TotalizerLog simulated_log(int seconds) {
    TotalizerLog log;
    for (int s = 0; s < seconds; ++s) {
        const double burst = std::exp(-std::pow((seconds - 400 - s) / 120.0, 2)) * 6.0;
        log.append(
            kT0 + s * library::kSecondInDays,
            static_cast<float>(1.0 + 0.5 * std::sin(s / 300.0) + 0.1 * std::sin(s / 7.0) + burst),
            static_cast<float>(1500.0 + s * 0.01));
    }
    return log;
}

int curve_pixels(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixelColor(x, y) == colour;
        }
    }
    return n;
}

// Screenshots for a person to look at, when asked for.
void keep(const QImage& image, const char* name) {
    const QByteArray dir = qgetenv("VETRA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        image.save(QString::fromUtf8(dir) + "/" + name + ".png");
    }
}

}  // namespace

class TotalizerChartTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { library::set_decimal_separator(','); }

    void paints_the_span_of_a_full_log_data() {
        QTest::addColumn<int>("span");
        QTest::newRow("10 s") << 0;
        QTest::newRow("3 h") << 11;
    }
    void paints_the_span_of_a_full_log() {
        QFETCH(int, span);
        const TotalizerLog log = simulated_log(3 * 3600);
        TotalizerChartPanel panel;
        panel.resize(220, 700);
        panel.start_up(&log, vetra::settings::GlobalSettings{}, "");
        panel.set_curve(QColor(0, 0, 200), 1);
        panel.scale_list()->setCurrentIndex(4);  // 0-10 %
        panel.set_span_index(span);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QImage image = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
        keep(image, span == 0 ? "totalizer_10s" : "totalizer_3h");
        // The curve covers the chart from top to bottom; three hours show the burst, which
        // reaches past 5 on the 0..10 axis.
        const QImage chart = panel.chart()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(curve_pixels(chart, QColor(0, 0, 200)) > chart.height() / 2);
        int rightmost = 0;
        for (int y = 0; y < chart.height(); ++y) {
            for (int x = 0; x < chart.width(); ++x) {
                if (chart.pixelColor(x, y) == QColor(0, 0, 200)) {
                    rightmost = std::max(rightmost, x);
                }
            }
        }
        QCOMPARE(rightmost > chart.width() / 2, span == 11);
    }

    // Readings of 0.5-1.5 % fill the strip on the automatic scale; a fixed one is kept.
    void the_scale_follows_the_readings_shown_or_the_operators_choice() {
        TotalizerLog log;
        for (int s = 0; s < 600; ++s) {
            log.append(kT0 + s * library::kSecondInDays,
                       static_cast<float>(1.0 + 0.5 * std::sin(s / 30.0)), 0.0f);
        }
        TotalizerChartPanel panel;
        panel.resize(220, 500);
        panel.start_up(&log, vetra::settings::GlobalSettings{}, "");
        panel.set_curve(QColor(0, 0, 200), 1);
        panel.set_span_index(5);  // 10 minutes
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const auto rightmost = [&] {
            const QImage chart =
                panel.chart()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            int x_max = 0;
            for (int y = 0; y < chart.height(); ++y) {
                for (int x = 0; x < chart.width(); ++x) {
                    if (chart.pixelColor(x, y) == QColor(0, 0, 200)) {
                        x_max = std::max(x_max, x);
                    }
                }
            }
            return double(x_max) / chart.width();
        };
        const double automatic = rightmost();
        keep(panel.grab().toImage(), "totalizer_auto_scale");
        QCOMPARE(panel.chart()->shown_scale().full, 2.0);
        QVERIFY2(automatic > 0.6 && automatic < 0.8, QByteArray::number(automatic));
        panel.scale_list()->setCurrentIndex(5);  // 0-100 %
        QCOMPARE(rightmost() < 0.05, true);
        QCOMPARE(panel.chart()->shown_scale().full, 100.0);

        vetra::settings::IniFile file;
        panel.save_settings(file);
        QCOMPARE(file.read_integer(kChartSection, "scale", -1), 5);
        TotalizerChartPanel again;
        again.load_settings(file);
        QCOMPARE(again.scale_list()->currentText(), QString("0-100 %"));
    }

    void a_click_shows_the_nearest_record_in_the_cursor_box() {
        const TotalizerLog log = simulated_log(600);
        TotalizerChartPanel panel;
        panel.resize(220, 600);
        panel.start_up(&log, vetra::settings::GlobalSettings{}, "");
        panel.set_span_index(1);  // 30 s: 11:59:30 .. 12:09:59 shows 12:09:29 .. 12:09:59
        QCOMPARE(panel.cursor_text(), QString("Время:\nГлубина:\nСумм. газ:"));
        panel.chart()->pbSummChartClick(panel.chart()->height());  // the newest end
        const std::size_t last = log.size() - 1;
        QCOMPARE(panel.cursor_text(),
                 QString("Время: 12:09:59\nГлубина: %1\nСумм. газ: %2")
                     .arg(QString::number(log.depth(last), 'f', 2).replace('.', ','))
                     .arg(QString::number(log.value(last), 'f', 3).replace('.', ',')));
        panel.chart()->pbSummChartDblClick();
        QCOMPARE(panel.cursor_text(), QString("Время:\nГлубина:\nСумм. газ:"));
    }

    void the_scroll_bar_reaches_back_to_the_oldest_record() {
        TotalizerLog log = simulated_log(3600);
        TotalizerChartPanel panel;
        panel.start_up(&log, vetra::settings::GlobalSettings{}, "");
        panel.set_span_index(5);  // 10 minutes
        QCOMPARE(panel.scroll_bar()->maximum(), 3599 - 600);
        QCOMPARE(panel.scroll_bar()->value(), panel.scroll_bar()->maximum());
        panel.scroll_bar()->setValue(0);
        QCOMPARE(std::lround(panel.chart()->offset() * 86400), 2999L);
        panel.scroll_bar()->setValue(1000);
        // A minute of new readings: a view of the past stays on its moment.
        for (int s = 3600; s < 3660; ++s) {
            log.append(kT0 + s * library::kSecondInDays, 1.0f, 0.0f);
        }
        panel.refresh();
        QCOMPARE(panel.scroll_bar()->maximum(), 3659 - 600);
        QCOMPARE(panel.scroll_bar()->value(), 1000);
        QCOMPARE(std::lround(panel.chart()->offset() * 86400), 3659L - 600 - 1000);
        panel.scroll_bar()->setValue(panel.scroll_bar()->maximum());
        log.append(kT0 + 3660 * library::kSecondInDays, 1.0f, 0.0f);
        panel.refresh();  // at the bottom it follows now
        QCOMPARE(panel.scroll_bar()->value(), panel.scroll_bar()->maximum());
        QCOMPARE(panel.chart()->offset(), 0.0);
        panel.span_list()->setCurrentIndex(11);  // a new span returns to now
        QCOMPARE(panel.chart()->offset(), 0.0);
        QCOMPARE(panel.span_index(), 11);
    }

    void colour_names_round_trip_data() {
        QTest::addColumn<int>("colour");
        QTest::addColumn<QString>("name");
        QTest::newRow("black") << 0x000000 << "clBlack";
        QTest::newRow("red") << 0x0000FF << "clRed";
        QTest::newRow("other") << 0x123456 << "$00123456";
    }
    void colour_names_round_trip() {
        QFETCH(int, colour);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(colour_name_text(colour)), name);
        QCOMPARE(parse_colour_name(name.toStdString()), std::optional<int>(colour));
        QCOMPARE(parse_colour_name("$zz"), std::optional<int>());
    }
};

QTEST_MAIN(TotalizerChartTest)
#include "totalizer_chart_test.moc"
