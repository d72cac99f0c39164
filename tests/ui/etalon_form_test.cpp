// The calibration windows on the offscreen platform: the run of a point against the
// demonstration and, end to end, a calibration against vetra-sim fed a calibration gas.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/ui/etal_curve_plot.h"
#include "analysis/ui/tedit_etal_form.h"
#include "analysis/ui/tetal_start_form.h"
#include "analysis/ui/tetal_vis_form.h"
#include "analysis/ui/tetalon_form.h"
#include "app/workstation.h"
#include "control/ui/qt_call_pump.h"
#include "control/vetra_system.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/number_text.h"
#include "library/ui/qt_operator.h"
#include "program_run.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

using namespace vetra;
using namespace std::chrono_literals;

namespace {

using Pairs = std::vector<std::pair<double, double>>;

// A workstation as the window runs it (controller files, settings, the 400 ms timer) over a
// program directory of its own, with the calibration window on top.
struct Rig {
    Rig(const std::string& ini, bool demo, std::optional<std::string> port = std::nullopt) {
        test::write_bytes(dir / settings::kSettingsFileName, library::utf8_to_cp1251(ini));
        workstation = std::make_unique<app::Workstation>(
            system, settings, op, app::WorkstationOptions{dir.dir(), demo, std::move(port)});
        workstation->start_up();
        QObject::connect(&timer, &QTimer::timeout, [this] {
            try {
                system.on_timer_tick();
            } catch (const control::VetraError& e) {
                errors.push_back(e.what());
            }
        });
        timer.start(400);
        form = std::make_unique<analysis::ui::TEtalonForm>(
            system, settings, op,
            analysis::ui::EtalonHooks{[this](const std::string& line) { journal.push_back(line); },
                                      {}});
        form->set_settings_path(system.settings_path());
        form->open_window();
    }
    ~Rig() {
        timer.stop();
        form.reset();
        system.link().stop_acquisition();
    }

    // Runs the selected point, answering the feed prompt with `feed`.
    void run_point(int row, bool feed) {
        form->Grid1()->selectRow(row);
        form->Button8Click();
        QVERIFY(form->running());
        QVERIFY(form->start_form());
        form->start_form()->done(feed ? QDialog::Accepted : QDialog::Rejected);
    }

    test::TempDir dir;
    settings::GlobalSettings settings;
    test::RecordingOperator op;
    library::SystemClock clock;
    control::VetraSystem system{settings, op, clock};
    control::ui::QtCallPump pump{system.calls()};
    std::unique_ptr<app::Workstation> workstation;
    QTimer timer;
    std::unique_ptr<analysis::ui::TEtalonForm> form;
    std::vector<std::string> journal;
    std::vector<std::string> errors;
};

analysis::EtalonPoint point(const std::string& dilution, int repeats, const Pairs& pairs) {
    return {dilution, repeats, pairs};
}

// A number text as the window writes it, with the system's separator.
QString dec(const char* text) {
    return QString(text).replace('.', QChar(library::decimal_separator()));
}

QString cell(QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

void shoot(QWidget& widget, const char* name) {
    const QString dir = qEnvironmentVariable("VETRA_SHOT_DIR");
    if (!dir.isEmpty()) {
        widget.grab().save(dir + "/" + name + ".png");
    }
}

#ifdef VETRA_SIM_PATH
// The calibration mixture, % per default gas, and an "unknown" sample inside its range.
constexpr double kMixture[] = {5.0, 2.0, 1.0, 0.5, 0.3, 0.2};
constexpr double kUnknown[] = {1.7, 0.35, 0.3, 0.08, 0.12, 0.05};
constexpr int kCycleSeconds = 90;  // the last default window ends at 75 s
// A cycle must outlast the four-second wait of an attempt: 90 s at 15 times is 6 s.
constexpr const char* kSpeed = "15";

void write_mixture(const std::filesystem::path& file, const double* percent, double factor) {
    std::string text = "# fed to vetra-sim\n";
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t g = 0; g < gases.size(); ++g) {
        text += gases[g].name + "=" + library::float_to_text(percent[g] * factor, '.') + "\n";
    }
    test::write_bytes(file, text);
}
#endif

}  // namespace

class EtalonFormTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { library::set_decimal_separator('.'); }

    // Points added 0.5, 0.1, 0.3 list 0.1, 0.3, 0.5; degassing 2 halves the coefficients and
    // the commit keeps the areas with the new degassing, so concentrations double.
    void the_program_the_result_grid_and_the_commit() {
        Rig rig("", true);
        auto& f = *rig.form;
        for (double c : {0.5, 0.1, 0.3}) {
            f.add_point(point("1 / 10", 3, {{c, c * 2000}, {c / 2, 100}}));
        }
        QCOMPARE(f.Grid1()->rowCount(), 3);
        QCOMPARE(cell(f.Grid1(), 0, 3), dec("0.100000"));
        QCOMPARE(cell(f.Grid1(), 2, 3), dec("0.500000"));
        QCOMPARE(f.Grid1()->horizontalHeaderItem(3)->text(), QString(" метан "));
        QCOMPARE(f.Grid2()->horizontalHeaderItem(2)->text(), QString("коэфф. C1"));
        QCOMPARE(f.Grid1()->currentRow(), 1);  // the new point, wherever it sorted to
        QCOMPARE(f.run_button()->text(), QString("Запуск с конц-ей '1 / 10'"));
        QCOMPARE(cell(f.Grid2(), 0, 2), dec("2000.000000"));
        QCOMPARE(f.Grid2()->item(0, 1)->foreground().color(), QColor(255, 0, 0));
        QCOMPARE(f.Grid2()->item(0, 3)->foreground().color(), QColor(0, 0, 255));

        f.Edit1()->setText("1,2,");  // does not parse: ignored
        QCOMPARE(cell(f.Grid2(), 0, 2), dec("2000.000000"));
        f.Edit1()->setText("2");
        QCOMPARE(cell(f.Grid2(), 0, 2), dec("1000.000000"));

        f.Grid1()->selectRow(2);
        f.DeleteRecord();
        QCOMPARE(f.Grid1()->rowCount(), 2);
        shoot(f, "etalon_form");

        rig.op.answer = false;
        f.Button1Click();
        QCOMPARE(rig.op.questions.size(), std::size_t(1));
        QCOMPARE(rig.op.questions[0].text, std::string("Сохранить результат калибровки?"));
        QVERIFY(rig.system.calibration().points().empty());

        f.open_window();
        QCOMPARE(f.Edit1()->text(), dec("1.000"));
        f.add_point(point("1 / 10", 3, {{0.5, 1000}}));
        f.Edit1()->setText("2");
        rig.op.answer = true;
        f.Button1Click();
        const auto& store = rig.system.calibration();
        QCOMPARE(store.degassing(), 2.0);
        QCOMPARE(store.points().at(0).pairs.at(0).second, 1000.0);
        QCOMPARE(store.concentration(0, 1000), 1.0);
        QCOMPARE(rig.journal, std::vector<std::string>{"Произведена калибровка хроматографа"});
        QVERIFY(std::filesystem::exists(rig.dir / "calibr.ini"));

        // Export and import through a "*.cal" file.
        f.open_window();
        f.save_to((rig.dir / "a.cal").string());
        rig.system.calibration().copyPointsFrom({});
        f.load_from((rig.dir / "a.cal").string());
        QCOMPARE(f.points().size(), std::size_t(1));
        QCOMPARE(rig.journal.back(), std::string("Результат калибровки загружен из файла"));
        QCOMPARE(rig.journal.at(1), std::string("Результат калибровки сохранен в файл"));
        // A file that cannot be written says so and is not journalled as saved.
        f.save_to((rig.dir / "нет" / "b.cal").string());
        QCOMPARE(rig.journal.size(), std::size_t(3));
        QVERIFY(rig.op.messages.back().text.starts_with("Не удалось записать файл"));

        // The degassing is shown rounded but kept exact unless the operator edits it.
        f.Button2Click();
        rig.system.calibration().setDegassing(1.23456);
        f.open_window();
        QCOMPARE(f.Edit1()->text(), dec("1.235"));
        f.Button1Click();
        QCOMPARE(rig.system.calibration().degassing(), 1.23456);
    }

    // The save question opens over the calibration window, which does not stay on top.
    void the_save_question_opens_over_the_calibration_window() {
        Rig rig("", true);
        QWidget main;
        main.show();
        library::ui::QtOperator op(&main);
        analysis::ui::TEtalonForm f(rig.system, rig.settings, op, {}, &main);
        f.open_window();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QVERIFY(!f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QWidget* over = nullptr;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            over = box->parentWidget();
            box->button(QMessageBox::No)->click();
        });
        f.Button1Click();
        QCOMPARE(over, &f);
    }

    // Declining the prompt and cancelling in the four-second wait leave the point as it
    // was; closing is refused while a point runs, and the menu only raises the window. The
    // run bar is inside the window, which stays where it was.
    void a_run_declined_or_cancelled_changes_nothing() {
        Rig rig("[время]\r\nпосылок_в_секунду=16\r\n", true);
        auto& f = *rig.form;
        f.add_point(point("", 2, {{0.5, 77}}));  // undiluted
        QCOMPARE(cell(f.Grid1(), 0, 1), QString("без разбавления"));
        QCOMPARE(f.run_button()->text(), QString("Запуск без разбавления"));
        f.move(120, 80);
        const QRect bounds = f.geometry();
        const auto before = f.points();

        rig.run_point(0, false);
        QVERIFY(!f.running());
        QCOMPARE(rig.system.state(), 1);

        f.Grid1()->selectRow(0);
        f.Button8Click();
        QCOMPARE(f.start_form()->text(),
                 QString("Введите газ без разбавления и нажмите кнопку \"OK\""));
        f.start_form()->done(QDialog::Accepted);
        QCOMPARE(rig.system.state(), 0);
        QCOMPARE(f.run_title()->text(), QString("Без разбавления, попытка 1 из 2"));
        QVERIFY(f.run_bar()->isVisibleTo(&f));
        QVERIFY(f.cancel_button()->isVisibleTo(&f));
        QCOMPARE(f.geometry().topLeft(), bounds.topLeft());
        QCOMPARE(f.width(), bounds.width());
        QVERIFY(!f.Grid1()->isEnabled());
        shoot(f, "etalon_running");
        QVERIFY(!f.close());
        f.open_window();  // the menu item again
        QVERIFY(f.running());
        QCOMPARE(f.points(), before);
        QTest::qWait(300);
        f.SpeedButton1Click();
        QVERIFY(!f.running());
        QCOMPARE(f.points(), before);
        QCOMPARE(f.geometry(), bounds);
        QVERIFY(f.Grid1()->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return rig.system.state() == 1; }, 30000));
    }

    // The feed confirmed while an analysis runs: that analysis ends first, and the attempt's
    // areas come from one started after the feed.
    void a_run_waits_for_an_analysis_started_before_the_feed() {
        Rig rig("[время]\r\nпосылок_в_секунду=16\r\n", true);
        auto& f = *rig.form;
        f.add_point(point("1 / 10", 1, {{0.5, 77}}));
        int started = 0;
        rig.system.cycle_started.connect([&] { ++started; });
        rig.system.start_analysis();
        rig.run_point(0, true);
        QCOMPARE(f.run_title()->text(),
                 QString("Ожидание окончания анализа, начатого до подачи газа"));
        QVERIFY(QTest::qWaitFor([&] { return !f.running(); }, 90000));
        QVERIFY2(f.message()->text().isEmpty(), qPrintable(f.message()->text()));
        QCOMPARE(started, 2);
        QVERIFY(f.points()[0].pairs[0].second != 77);
    }

    // A gas whose window lies beyond the end of the demonstration's 120 s is never computed:
    // the run fails with a reason and the point keeps its areas.
    void an_attempt_without_every_gas_fails_the_run() {
        Rig rig(
            "[время]\r\nпосылок_в_секунду=16\r\n[газ]\r\nsize=2\r\n"
            "item1=\"метан C1 10 15 255 0 100\"\r\nitem2=\"гексан C6 125 130 0 0 100\"\r\n",
            true);
        auto& f = *rig.form;
        f.add_point(point("1 / 10", 1, {{0.5, 77}}));
        const auto before = f.points();
        rig.run_point(0, true);
        QVERIFY(QTest::qWaitFor([&] { return !f.running(); }, 60000));
        QVERIFY2(f.message()->text().contains("до расчёта всех газов"),
                 qPrintable(f.message()->text()));
        QCOMPARE(f.points(), before);
    }

    void the_point_editor() {
        test::TempDir dir;
        const auto ini = dir / "x.ini";
        test::write_bytes(ini, library::utf8_to_cp1251("[калибровка]\r\nпроценты=\"5,2.5\"\r\n"));
        const analysis::GazList gases;
        analysis::ui::TEditEtalForm add(gases, ini.string(), nullptr, {});
        QCOMPARE(add.windowTitle(), QString("  Добавить"));
        QCOMPARE(add.grid()->item(0, 0)->text(), QString("метан, %"));
        QCOMPARE(add.grid()->item(1, 1)->text(), dec("2.5"));
        QCOMPARE(add.grid()->item(2, 1)->text(), QString());
        QCOMPARE(add.repeats()->currentText(), QString("3"));
        add.grid()->item(2, 1)->setText("1");
        add.numerator()->setCurrentText("2");
        add.denominator()->setCurrentText("100");
        add.repeats()->setCurrentText("2");
        shoot(add, "point_editor");
        add.accept();
        QCOMPARE(add.point().dilution, std::string("2 / 100"));
        QCOMPARE(add.point().repeats, 2);
        QCOMPARE(add.point().pairs.size(), std::size_t(6));
        QCOMPARE(add.point().pairs[0].first, 0.1);
        QCOMPARE(add.point().pairs[2].first, 0.02);
        settings::IniFile file;
        QVERIFY(file.open(ini));
        QCOMPARE(file.read_string("калибровка", "проценты", ""), std::string("5,2.5,1,0,0,0"));

        analysis::ui::TEditEtalForm edit(gases, ini.string(), &add.point(), {});
        QCOMPARE(edit.windowTitle(), QString("  Редактирование"));
        QVERIFY(edit.dilution_box()->isChecked());
        QCOMPARE(edit.grid()->item(0, 1)->text(), QString("5"));
        QCOMPARE(edit.denominator()->currentText(), QString("100"));

        auto plain = add.point();
        plain.dilution = "эталон";
        analysis::ui::TEditEtalForm kept(gases, ini.string(), &plain, {});
        QVERIFY(!kept.dilution_box()->isEnabled());
        QCOMPARE(kept.grid()->item(0, 1)->text(), dec("0.1"));
        kept.accept();
        QCOMPARE(kept.point().dilution, std::string("эталон"));
        QCOMPARE(kept.point().pairs[0].first, 0.1);
    }

    // Dragging a point sets its area so that A / D is the value under the cursor.
    void the_curve_view_drags_a_point() {
        test::TempDir dir;
        const analysis::GazList gases;
        std::vector<analysis::EtalonPoint> points{point("a", 1, {{0.1, 200}}),
                                                  point("b", 1, {{1, 2000}})};
        analysis::ui::TEtalVisForm view(gases, points, 2.0, (dir / "x.ini").string());
        view.resize(640, 560);
        view.show();
        QCOMPARE(view.gas_label()->text(), QString("Газ - \"метан\""));
        QCOMPARE(view.tabs()->tabText(1), QString("C2"));
        QCOMPARE(view.grid()->item(2, 1)->text(), dec("1000.00"));
        QCOMPARE(view.grid()->item(3, 0)->text(), dec("1000.0"));
        shoot(view, "curve_view");
        auto* plot = view.plot();
        const QPointF second = plot->position_of(1);
        plot->press_at(second.toPoint() + QPoint(0, 3));
        QCOMPARE(plot->picked(), 1);
        const QRect r = plot->plot_rect();
        // Down to the decade line of 1e2 (the axis reaches 1e4 for 1000).
        const int y = r.bottom() - static_cast<int>(std::lround(r.height() * 7.0 / 9.0));
        plot->move_to(QPoint(static_cast<int>(second.x()), y));
        plot->release();
        // Within a pixel of nine decades.
        const double dragged = view.points()[1].pairs[0].second / 2.0;
        QVERIFY2(std::fabs(dragged - 100) < 100 * 0.15, qPrintable(QString::number(dragged)));
        QCOMPARE(view.grid()->item(2, 1)->text(),
                 QString::fromStdString(library::fixed_to_text(dragged, 2)));
        QCOMPARE(view.points()[0].pairs[0].second, 200.0);
        view.tabs()->setCurrentIndex(1);
        QCOMPARE(view.grid()->item(3, 0)->text(), QString("-------"));
    }

#ifdef VETRA_SIM_PATH
    void a_calibration_against_the_simulator_data() {
        QTest::addColumn<int>("model");
        QTest::newRow("model 0") << 0;
        QTest::newRow("model 1") << 1;
    }

    // Three dilutions of one mixture, three repeats each, committed; then an unknown
    // mixture comes out within 2 % of what was fed, for every gas.
    void a_calibration_against_the_simulator() {
        QFETCH(int, model);
        test::TempDir sandbox;
        const auto mixture = sandbox / "mixture.txt";
        write_mixture(mixture, kMixture, 0);
        e2e::ProgramRun sim(sandbox, "sim", VETRA_SIM_PATH,
                            {"chromatograph", "--model", std::to_string(model), "--speed", kSpeed,
                             "--mixture-file", mixture.string()});
        QVERIFY(
            e2e::wait_until([&] { return sim.out_so_far().find('\n') != std::string::npos; }, 20s));
        const std::string port = sim.out_so_far().substr(0, sim.out_so_far().find('\n'));
        Rig rig("[порт]\r\ndevice_type=0" + std::to_string(model) + "000000\r\n[время]\r\n" +
                    (model == 0 ? "время7=" : "время5=") + std::to_string(kCycleSeconds) + "\r\n",
                false, port);
        auto& f = *rig.form;
        const double factors[] = {0.5, 0.1, 0.2};
        for (double factor : factors) {
            Pairs pairs;
            for (double c : kMixture) {
                pairs.emplace_back(c * factor, 0);
            }
            f.add_point(point(factor == 0.1   ? "1 / 10"
                              : factor == 0.2 ? "2 / 10"
                                              : "5 / 10",
                              3, pairs));
        }
        for (int row = 0; row < 3; ++row) {
            write_mixture(mixture, kMixture,
                          f.points()[static_cast<std::size_t>(row)].pairs[0].first / kMixture[0]);
            rig.run_point(row, true);
            QVERIFY2(QTest::qWaitFor([&] { return !f.running(); }, 120000),
                     sim.err_so_far().c_str());
            QVERIFY2(f.message()->text().isEmpty(), qPrintable(f.message()->text()));
            for (const auto& [c, a] : f.points()[static_cast<std::size_t>(row)].pairs) {
                QVERIFY(a > 0);
            }
        }
        shoot(f, "etalon_calibrated");
        f.Button1Click();
        QCOMPARE(rig.journal, std::vector<std::string>{"Произведена калибровка хроматографа"});
        // How the sample program directory's calibration was made.
        const QString keep = qEnvironmentVariable("VETRA_KEEP_CALIBRATION");
        if (!keep.isEmpty() && model == 0) {
            std::filesystem::copy_file(rig.dir / "calibr.ini", keep.toStdString(),
                                       std::filesystem::copy_options::overwrite_existing);
        }

        write_mixture(mixture, kUnknown, 1);
        std::vector<analysis::GazResult> published;
        rig.system.calculation().results_notification.connect(
            [&](const std::vector<analysis::GazResult>& r, float) { published = r; });
        rig.system.start_analysis();
        QVERIFY(QTest::qWaitFor([&] { return !published.empty(); }, 60000));
        const auto gases = analysis::GazList::default_gases();
        QString figures;
        for (std::size_t g = 0; g < gases.size(); ++g) {
            const double got = published.at(g).concentration;
            figures += QString("%1 fed %2 got %3; ")
                           .arg(QString::fromStdString(gases[g].code))
                           .arg(kUnknown[g])
                           .arg(got, 0, 'g', 5);
            QVERIFY2(std::fabs(got - kUnknown[g]) <= 0.02 * kUnknown[g], qPrintable(figures));
        }
        qInfo("model %d: %s", model, qPrintable(figures));
        QVERIFY2(rig.errors.empty(), rig.errors.empty() ? "" : rig.errors.front().c_str());
    }
#endif
};

QTEST_MAIN(EtalonFormTest)
#include "etalon_form_test.moc"
