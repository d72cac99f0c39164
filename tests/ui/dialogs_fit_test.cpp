// Every window and dialog on a 1366 x 768 laptop screen with large fonts (144 dpi): each
// must fit, so that OK and "Отмена" can always be reached. With VETRA_SHOT_DIR set, each is
// saved as a picture for a person to look at.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>
#include <utility>

#include "analysis/ui/tedit_etal_form.h"
#include "analysis/ui/tetal_start_form.h"
#include "analysis/ui/tetal_vis_form.h"
#include "analysis/ui/tetalon_form.h"
#include "analysis/ui/tgaz_time_form.h"
#include "app/ui/tvetra_main_form.h"
#include "app/ui/workstation_status_bar.h"
#include "dialog_rig.h"
#include "reports/ui/help_window.h"
#include "reports/ui/tpreview_form.h"
#include "reports/ui/tprint_grid_form.h"
#include "sample_plot.h"
#include "settings/lag_settings.h"
#include "settings/rig_settings.h"
#include "settings/ui/network_computers.h"
#include "settings/ui/tcomp_form.h"
#include "settings/ui/tnet_comp_form.h"
#include "settings/ui/topt_form.h"
#include "settings/ui/topt_master_form.h"
#include "settings/ui/tporog_form.h"
#include "storage/history.h"
#include "storage/ui/history_entry_window.h"
#include "storage/ui/tdel_table_form.h"
#include "storage/ui/tdel_table_rows_form.h"
#include "storage/ui/tlog_add_text_form.h"
#include "storage/ui/treprocess_form.h"
#include "support/memory_table.h"
#include "widgets/ui/colour_select_form.h"
#include "widgets/ui/status_lamp.h"

using namespace vetra;

namespace {

class NoComputers final : public settings::ui::NetworkComputers {
public:
    void start(std::function<void(const std::string&)>, std::function<void()>) override {}
};

using Factory = std::function<std::unique_ptr<QWidget>(test::DialogRig&)>;

template <class T, class... Args>
std::unique_ptr<QWidget> make(Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)...);
}

// A calibration program of three dilutions over every gas, with measured areas.
std::vector<analysis::EtalonPoint> calibration_points(int gases) {
    std::vector<analysis::EtalonPoint> points;
    for (const char* dilution : {"1 / 10", "2 / 10", "5 / 10"}) {
        analysis::EtalonPoint p{dilution, 3, {}};
        for (int g = 0; g < gases; ++g) {
            const double c = (dilution[0] - '0') * 0.1 * (g + 1);
            p.pairs.emplace_back(c, c * 9500.0);
        }
        points.push_back(p);
    }
    return points;
}

std::unique_ptr<QWidget> calibration(test::DialogRig& r, bool running) {
    auto w =
        make<analysis::ui::TEtalonForm>(r.system, r.settings, r.op, analysis::ui::EtalonHooks{});
    auto* form = static_cast<analysis::ui::TEtalonForm*>(w.get());
    for (const auto& p : calibration_points(r.system.gases().count())) {
        form->add_point(p);
    }
    if (running) {
        form->Grid1()->selectRow(0);
        form->Button8Click();  // the run bar, under the feed prompt
    }
    return w;
}

}  // namespace

Q_DECLARE_METATYPE(Factory)

class DialogsFitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void the_screen_is_the_laptop_at_144_dpi() {
        // Qt takes 144 dpi as a scale of 1.5: 911 x 512 device-independent pixels.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const qreal scale = screen->devicePixelRatio();
        QCOMPARE(qRound(screen->logicalDotsPerInch() * scale), 144);
        const QSizeF size = QSizeF(screen->geometry().size()) * scale;
        QVERIFY(qAbs(size.width() - 1366) <= 1 && qAbs(size.height() - 768) <= 1);
    }

    void every_dialog_fits_the_screen_data() {
        QTest::addColumn<Factory>("factory");
        QTest::addColumn<int>("model");
        const auto opt = [](test::DialogRig& r) {
            static settings::RigSettings rig;  // with the page "WITS", as the window opens it
            r.services.rig = &rig;
            static settings::LagSettings lag;  // and "Отставание" with its button for the rows
            r.services.lag = &lag;
            r.services.apply_lag = [](library::DayNumber, double, double) { return std::string(); };
            return make<settings::ui::TOptForm>(r.settings, r.system, r.totalizer, r.services);
        };
        QTest::newRow("work settings") << Factory(opt) << int{settings::kModelTd5};
        QTest::newRow("work settings, model 1, totalizer, manufacturer page")
            << Factory([opt](test::DialogRig& r) {
                   r.settings.totalizer_use = true;  // its group is the tallest page
                   auto w = opt(r);
                   auto* form = static_cast<settings::ui::TOptForm*>(w.get());
                   form->show_manufacturer_page();
                   form->show_model_selector();
                   return w;
               })
            << int{settings::kModelVelon};
        QTest::newRow("setup wizard") << Factory([](test::DialogRig& r) {
            return make<settings::ui::TOptMasterForm>(r.settings, r.system.gases(), r.services);
        }) << 0;
        QTest::newRow("threshold") << Factory([](test::DialogRig& r) {
            return make<settings::ui::TPorogForm>(r.settings, r.services);
        }) << 0;
        QTest::newRow("station computer") << Factory([](test::DialogRig& r) {
            return make<settings::ui::TCompForm>(r.settings, r.services);
        }) << 0;
        QTest::newRow("network computers") << Factory([](test::DialogRig&) {
            return make<settings::ui::TNetCompForm>(std::make_unique<NoComputers>());
        }) << 0;
        QTest::newRow("journal line")
            << Factory([](test::DialogRig&) { return make<storage::ui::TLogAddTextForm>(); }) << 0;
        QTest::newRow("table clear")
            << Factory([](test::DialogRig&) { return make<storage::ui::TDelTableForm>(); }) << 0;
        QTest::newRow("row deletion")
            << Factory([](test::DialogRig&) { return make<storage::ui::TDelTableRowsForm>(); })
            << 0;
        QTest::newRow("re-processing") << Factory([](test::DialogRig& r) {
            return make<storage::ui::TReprocessForm>(
                r.system.results_text().table(),
                storage::ui::ReprocessContext{
                    r.dir.dir(), &r.system.calibration(), &r.system.gases(), &r.clock, {}},
                r.op);
        }) << 0;
        QTest::newRow("colour") << Factory([](test::DialogRig&) {
            return make<widgets::ui::ColourSelectForm>(0x00FF00);
        }) << 0;
        QTest::newRow("gas exit times") << Factory([](test::DialogRig& r) {
            return make<analysis::ui::TGazTimeForm>(r.system.gases(), r.system.data_lock(),
                                                    r.system.windows_changed, [] { return 120; });
        }) << 0;
        QTest::newRow("table print")
            << Factory([](test::DialogRig&) { return make<reports::ui::TPrintGridForm>(); }) << 0;
        QTest::newRow("print preview") << Factory([](test::DialogRig&) {
            static const test::MemoryTable table = test::MemoryTable::results(40, 13);
            return make<reports::ui::TPreviewForm>(
                table, reports::ui::PrintOptions{},
                QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
        }) << 0;
        QTest::newRow("help") << Factory([](test::DialogRig&) {
            return make<reports::ui::THelpForm>();
        }) << 0;
        QTest::newRow("history entry") << Factory([](test::DialogRig&) {
            static const test::SamplePlot sample;
            static storage::History history;
            history.add(sample.plot, sample.gases, sample.results, test::SamplePlot::kRate,
                        0xFFFFFF, {2026, 12, 8, 9, 5});
            return make<storage::ui::HistoryEntryWindow>(
                history.entry(0), [] { return test::SamplePlot::style(); }, [] { return 6; });
        }) << 0;
        QTest::newRow("calibration")
            << Factory([](test::DialogRig& r) { return calibration(r, false); }) << 0;
        QTest::newRow("calibration, a point running")
            << Factory([](test::DialogRig& r) { return calibration(r, true); }) << 0;
        QTest::newRow("calibration point") << Factory([](test::DialogRig& r) {
            return make<analysis::ui::TEditEtalForm>(r.system.gases(), r.settings.settings_path,
                                                     nullptr, [] {});
        }) << 0;
        QTest::newRow("calibration feed") << Factory([](test::DialogRig&) {
            return make<analysis::ui::TEtalStartForm>("1 / 10");
        }) << 0;
        QTest::newRow("calibration curves") << Factory([](test::DialogRig& r) {
            return make<analysis::ui::TEtalVisForm>(r.system.gases(),
                                                    calibration_points(r.system.gases().count()),
                                                    1.0, r.settings.settings_path);
        }) << 0;
        QTest::newRow("main window") << Factory([](test::DialogRig& r) {
            app::ui::MainFormOptions o;
            o.program_dir = r.dir.dir();
            o.demo = true;
            o.start_timer = false;
            o.setup_wizard = false;
            auto window = make<app::ui::TVetraMainForm>(r.system, r.settings, r.op, o);
            static const test::SamplePlot sample;  // for the page "История"
            for (int i = 0; i < 7; ++i) {
                r.system.history().add(sample.plot, sample.gases, sample.results,
                                       test::SamplePlot::kRate, 0xFFFFFF, {2026, 12, 8, 9, i});
            }
            return window;
        }) << 0;
    }
    void every_dialog_fits_the_screen() {
        QFETCH(Factory, factory);
        QFETCH(int, model);
        test::DialogRig rig(model);
        const std::unique_ptr<QWidget> window = factory(rig);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect room = window->screen()->availableGeometry();
        const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
        const QString sizes = QString("%1: %2x%3 at %8,%9 (at least %4x%5) on %6x%7")
                                  .arg(QTest::currentDataTag())
                                  .arg(window->frameGeometry().width())
                                  .arg(window->frameGeometry().height())
                                  .arg(least.width())
                                  .arg(least.height())
                                  .arg(room.width())
                                  .arg(room.height())
                                  .arg(window->frameGeometry().x())
                                  .arg(window->frameGeometry().y());
        const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR");
        if (!shots.isEmpty()) {
            const QString name =
                QString(QTest::currentDataTag()).replace(QRegularExpression("\\W+"), "-");
            QVERIFY(window->grab().save(shots + "/dpi144-" + name + ".png"));
            if (auto* pages = window->findChild<QTabWidget*>("PageControl1")) {
                for (int i = 1; i < pages->count(); ++i) {
                    pages->setCurrentIndex(i);
                    QVERIFY(window->grab().save(shots + "/dpi144-" + name + "-" +
                                                QString::number(i) + ".png"));
                }
            }
        }
        QVERIFY2(room.contains(window->frameGeometry()), qPrintable(sizes));
        QVERIFY2(least.width() <= room.width() && least.height() <= room.height(),
                 qPrintable(sizes));
        // A page scrolls sideways only when the window already takes all the width it may.
        if (auto* pages = window->findChild<QTabWidget*>("PageControl1")) {
            for (int i = 0; i < pages->count(); ++i) {
                auto* area = qobject_cast<QScrollArea*>(pages->widget(i));
                if (area == nullptr || !pages->isTabVisible(i)) {
                    continue;
                }
                pages->setCurrentIndex(i);
                QCoreApplication::processEvents();
                QVERIFY2(!area->horizontalScrollBar()->isVisible() ||
                             window->width() >= room.width() * 9 / 10 - 1,
                         qPrintable(sizes + ", page " + pages->tabText(i)));
            }
        }
    }

    // The status line at the laptop's width keeps every state whole: a second line rather
    // than a cut, with room left for the hint.
    void the_status_line_keeps_every_state_whole() {
        test::DialogRig rig;
        rig.settings.totalizer_use = true;
        app::ui::MainFormOptions o;
        o.program_dir = rig.dir.dir();
        o.demo = true;
        o.start_timer = false;
        o.setup_wizard = false;
        app::ui::TVetraMainForm window(rig.system, rig.settings, rig.op, o);
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        rig.system.set_time_mode_period(120);
        window.MenuSelectWorkMode(control::kByTime);
        app::WorkstationStatus& status = window.workstation().status();
        status.file_failed("Отчёт за смену 09.12.2026.xlsx", "нет места на диске");
        status.set_wits_state(app::WitsDirection::output, app::Health::waiting,
                              "порт 5005, нет приёмника");
        status.set_wits_state(app::WitsDirection::input, app::Health::fault,
                              "10.0.0.5:5006, нет данных 30 с");
        window.MainTimerTimer();
        auto* bar = window.status_bar();
        bar->showMessage(" Запуск хроматографа в ручном режиме ");
        QCoreApplication::processEvents();
        if (const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR"); !shots.isEmpty()) {
            QVERIFY(window.grab().save(shots + "/dpi144-status-line.png"));
        }
        int shown = 0;
        for (auto* lamp : bar->findChildren<widgets::ui::StatusLamp*>()) {
            if (!lamp->isVisible()) {
                continue;
            }
            ++shown;
            const QRect in_bar(lamp->mapTo(bar, QPoint(0, 0)), lamp->size());
            QVERIFY2(lamp->width() >= lamp->sizeHint().width(), qPrintable(lamp->text()));
            QVERIFY2(bar->rect().contains(in_bar), qPrintable(lamp->text()));
        }
        QVERIFY(shown >= 6);
        // The hint keeps its room at the left.
        const QRect fields(bar->findChild<QWidget*>("statusMode")->parentWidget()->geometry());
        QVERIFY2(fields.left() >= 200, qPrintable(QString::number(fields.left())));
    }
};

// The offscreen platform plays the laptop: one 1366 x 768 screen, fonts at 144 dpi.
int main(int argc, char** argv) {
    // Beside the working directory and named relative to it: the platform's parameters are
    // split at colons, which a Windows path has after its drive letter.
    QTemporaryDir dir(QDir::currentPath() + "/dialogs-fit-XXXXXX");
    const QString config = QDir::current().relativeFilePath(dir.filePath("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366,
                      "height": 768, "logicalDpi": 144, "logicalBaseDpi": 96, "dpr": 1}]})") < 0) {
        return 2;
    }
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    qputenv("QT_FONT_DPI", "144");
    QApplication app(argc, argv);
    DialogsFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dialogs_fit_test.moc"
