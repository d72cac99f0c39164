// The work settings dialog, driven through its slots on the offscreen platform.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include "analysis/gaz_list.h"
#include "dialog_rig.h"
#include "library/ui/qt_text.h"
#include "settings/lag_settings.h"
#include "settings/rig_settings.h"
#include "settings/ui/topt_form.h"
#include "settings/ui/tporog_form.h"

using namespace vetra;
using settings::ui::TOptForm;

namespace {

template <class T>
T* child(const QObject& form, const char* name) {
    auto* w = form.findChild<T*>(name);
    if (w == nullptr) {
        qFatal("no child %s", name);
    }
    return w;
}

// Sets a cell as the program itself would, without running the checks.
void put(QTableWidget* grid, int row, const QString& text) {
    const QSignalBlocker block(grid);
    grid->item(row, 1)->setText(text);
}

}  // namespace

class WorkSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Model 1 grid rows: 0 heating start, 1 heating end, 2 intensity, 3 cycle length.
    void timing_grid_corrects_model_1_with_its_messages_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QStringList>("cells");  // the four cells before the edit
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");  // start of the message; empty: none
        QTest::newRow("intensity 64") << 1 << QStringList{"18", "70", "32", "120"} << 2 << "64"
                                      << "63"
                                      << "Значение параметра должно быть в интервале 1..63";
        QTest::newRow("intensity 0") << 1 << QStringList{"18", "70", "32", "120"} << 2 << "0"
                                     << "1"
                                     << "Значение параметра должно быть в интервале 1..63";
        QTest::newRow("start 80, end 70")
            << 1 << QStringList{"18", "70", "32", "120"} << 0 << "80"
            << "18"
            << "Время начала нагрева должно быть меньше времени окончания нагрева!";
        QTest::newRow("cycle 70, end 70")
            << 1 << QStringList{"18", "70", "32", "120"} << 3 << "70"
            << "120"
            << "Длительность цикла должна быть больше времени окончания нагрева!";
        QTest::newRow("end 130, cycle 120")
            << 1 << QStringList{"18", "70", "32", "120"} << 1 << "130"
            << "60"
            << "Время окончания нагрева должно быть меньше длительности цикла!";
        QTest::newRow("end 10, start 18")
            << 1 << QStringList{"18", "70", "32", "120"} << 1 << "10"
            << "60"
            << "Время окончания нагрева должно быть больше времени начала нагрева!";
        QTest::newRow("end not a number: said, not corrected")
            << 1 << QStringList{"18", "x", "32", "120"} << 0 << "50"
            << "50"
            << "В строке \"Время окончания нагрева\" должно быть целое число";
        QTest::newRow("text in the edited cell skips the check")
            << 1 << QStringList{"18", "70", "32", "120"} << 2 << "abc"
            << "abc"
            << "";
        QTest::newRow("a valid start") << 1 << QStringList{"18", "70", "32", "120"} << 0 << "20"
                                       << "20"
                                       << "";
        QTest::newRow("model 0 is not checked")
            << 0 << QStringList{"2", "23", "30", "35"} << 2 << "64"
            << "64"
            << "";
    }
    void timing_grid_corrects_model_1_with_its_messages() {
        QFETCH(int, model);
        QFETCH(QStringList, cells);
        QFETCH(int, row);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        test::DialogRig rig(model);
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QTableWidget* grid = form.timing_grid();
        for (int i = 0; i < cells.size(); ++i) {
            put(grid, i, cells[i]);
        }
        grid->item(row, 1)->setText(typed);  // the edit, as the grid commits it

        QCOMPARE(grid->item(row, 1)->text(), shown);
        if (message.isEmpty()) {
            QVERIFY(rig.op.messages.empty());
        } else {
            QCOMPARE(rig.op.messages.size(), std::size_t{1});
            QVERIFY2(QString::fromStdString(rig.op.messages[0].text).startsWith(message),
                     rig.op.messages[0].text.c_str());
            QCOMPARE(rig.op.messages[0].caption, std::string("Ошибка ввода параметра"));
        }
    }

    void interval_field_on_ok_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kept");
        QTest::addColumn<bool>("refused");
        QTest::newRow("empty keeps the period") << 200 << "" << 200 << false;
        QTest::newRow("empty, a stored 0 becomes 120") << 0 << "" << 120 << false;
        QTest::newRow("text is refused") << 200 << "abc" << 200 << true;
        QTest::newRow("a number") << 200 << "150" << 150 << false;
        QTest::newRow("negative is refused") << 200 << "-5" << 200 << true;
    }
    void interval_field_on_ok() {
        QFETCH(int, stored);
        QFETCH(QString, typed);
        QFETCH(int, kept);
        QFETCH(bool, refused);
        test::DialogRig rig;
        rig.system.set_time_mode_period(stored);
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        // The field opens with what OK would keep: never "0 секунд".
        QCOMPARE(child<QComboBox>(form, "cbPeriod")->currentText(),
                 QString::number(stored > 0 ? stored : 120));
        child<QComboBox>(form, "cbPeriod")->setEditText(typed);
        QVERIFY(child<QRadioButton>(form, "rbMode1")->isChecked());  // typing chose the mode
        form.accept();
        QCOMPARE(rig.system.time_mode_period(), kept);
        QCOMPARE(form.result(), int(refused ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(rig.op.messages.size(), std::size_t{refused ? 1u : 0u});
        if (!refused) {
            QCOMPARE(rig.system.work_mode(), std::int32_t{control::kByTime});
        }
    }

    void ok_applies_clamps_and_saves() {
        test::DialogRig rig(settings::kModelVelon);
        rig.settings.gaz_summ_prec = 11;  // edited into the file by hand
        rig.settings.times[5] = 70;
        rig.settings.totalizer_present = 2;
        rig.settings.porog_from_station = false;
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        // Shown as OK would store it.
        QCOMPARE(child<QComboBox>(form, "cbPrec")->currentText(), QString("10"));
        put(form.timing_grid(), 3, "150");
        child<QComboBox>(form, "cbDose")->setEditText("6");
        // A pasted line break never stays in a one-line field.
        child<QLineEdit>(form, "edMinGaz")->setText("0,002\r\n[газ]");
        QCOMPARE(child<QLineEdit>(form, "edMinGaz")->text(), QString("0,002  [газ]"));
        child<QLineEdit>(form, "edMinGaz")->setText("0,002");
        child<QLineEdit>(form, "edMax1")->setText("2.5");
        child<QCheckBox>(form, "chkUse")->setChecked(true);
        child<QRadioButton>(form, "rbMode4")->setChecked(true);
        form.accept();

        QCOMPARE(rig.settings.gaz_summ_prec, 10);
        QCOMPARE(rig.settings.times[0], 6);    // the dose list
        QCOMPARE(rig.settings.times[4], 150);  // cycle length, fourth row
        QCOMPARE(rig.settings.times[5], 0);    // no sixth row for model 1
        QCOMPARE(rig.settings.min_gaz_value, 0.002);
        QCOMPARE(rig.settings.summ_max1, 2.5);
        QCOMPARE(rig.settings.totalizer_present.load(), 0);  // "use" was toggled
        // The totalizer mode needs "use", which the same OK turned on.
        QCOMPARE(rig.system.work_mode(), std::int32_t{control::kByTotalizer});
        settings::GlobalSettings reread;
        reread.load_from(rig.dir.dir());
        QCOMPARE(reread.gaz_summ_prec, 10);
        QCOMPARE(reread.times[4], 150);
    }

    // An address that cannot work is refused before anything is applied, and says why.
    void ok_refuses_a_wits_address_without_a_port() {
        test::DialogRig rig;
        settings::RigSettings wits;
        wits.wits_out = 2;  // connect to a receiver
        wits.wits_out_address = "10.0.0.5:5005";
        rig.services.rig = &wits;
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        auto* address = child<QLineEdit>(form, "edOutAddress");
        address->setText("127.0.0.1");
        form.accept();
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(wits.wits_out_address, std::string("10.0.0.5:5005"));
        QCOMPARE(rig.op.messages.size(), std::size_t{1});
        QVERIFY(rig.op.messages[0].text.starts_with("Передача данных WITS: "));
        QVERIFY(child<QTabWidget>(form, "PageControl1")
                    ->currentWidget()
                    ->findChild<QWidget*>("WitsPage") != nullptr);
        if (const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR"); !shots.isEmpty()) {
            form.grab().save(shots + "/wits_page_bad_address.png");
        }
        address->setText("127.0.0.1:5005");
        form.accept();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(wits.wits_out_address, std::string("127.0.0.1:5005"));
    }

    void ok_checks_the_wits_idle_limit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kept");  // -1: refused
        QTest::newRow("0, no limit") << "0" << 0;
        QTest::newRow("an hour") << "3600" << 3600;
        QTest::newRow("past an hour") << "3601" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("a letter") << "x" << -1;
    }
    void ok_checks_the_wits_idle_limit() {
        QFETCH(QString, typed);
        QFETCH(int, kept);
        test::DialogRig rig;
        settings::RigSettings wits;
        wits.wits_in = 2;
        wits.wits_in_address = "10.0.0.5:5005";
        wits.wits_in_idle_limit = 45;
        rig.services.rig = &wits;
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QCOMPARE(child<QLineEdit>(form, "edInIdle")->text(), QString("45"));
        child<QLineEdit>(form, "edInIdle")->setText(typed);
        form.accept();
        QCOMPARE(form.result(), int(kept < 0 ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(wits.wits_in_idle_limit, kept < 0 ? 45 : kept);
        QCOMPARE(rig.op.messages.size(), std::size_t{kept < 0 ? 1u : 0u});
        if (kept < 0) {
            QCOMPARE(rig.op.messages[0].text,
                     std::string("Глубина из потока WITS: Ожидание данных: целое число секунд от "
                                 "0 до 3600 (0 — без ограничения)"));
        }
    }

    // Each number of the page "Отставание" is checked before anything is applied, the message
    // names the field and its range; once all fit they are applied with the depth source. The
    // corrected lag goes to the rows only while the depth is lagged here.
    void lag_page_checks_its_fields_applies_them_and_corrects_rows() {
        struct Bad {
            const char* field;
            const char* typed;
            const char* message;
        };
        const Bad bad[] = {
            {"edLagStrokes", "x", "Отставание, ходов: число от 0 до 1000000"},
            {"edLagStrokes", "-1", "Отставание, ходов: число от 0 до 1000000"},
            {"edLagMinutes", "1441", "Отставание, мин: число от 0 до 1440"},
            {"edLineDelay", "3600,5", "Задержка линии пробы, с: число от 0 до 3600"},
            {"edBackgroundMetres", "0,4", "Фон по последним, м: число от 0,5 до 1000"},
            {"edShowFactor", "1", "Газопоказание, раз выше фона: число от 1,01 до 100"},
            {"edShowMinimum", "nan", "Выше фона не менее, %: число от 0 до 100"},
        };
        for (const Bad& b : bad) {
            test::DialogRig rig;
            settings::LagSettings lag;
            rig.services.lag = &lag;
            TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
            child<QComboBox>(form, "cbSampleDepth")->setCurrentIndex(1);
            child<QLineEdit>(form, b.field)->setText(b.typed);
            form.accept();
            QCOMPARE(form.result(), int(QDialog::Rejected));
            QCOMPARE(rig.op.messages.size(), std::size_t{1});
            QCOMPARE(QString::fromStdString(rig.op.messages[0].text), QString(b.message));
            QCOMPARE(lag.sample_depth, std::int32_t{settings::LagSettings::kAsSent});
            QVERIFY(child<QTabWidget>(form, "PageControl1")
                        ->currentWidget()
                        ->findChild<QWidget*>("LagPage") != nullptr);
        }

        test::DialogRig rig;
        settings::LagSettings lag;
        rig.services.lag = &lag;
        struct Call {
            library::DayNumber since;
            double strokes;
            double minutes;
        };
        std::vector<Call> calls;
        rig.services.apply_lag = [&](library::DayNumber since, double strokes, double minutes) {
            calls.push_back({since, strokes, minutes});
            return std::string("Отставание изменено");
        };
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QCOMPARE(child<QLineEdit>(form, "edLagStrokes")->text(), QString("2000"));
        QVERIFY(!child<QLabel>(form, "lbTimeNote")->text().isEmpty());
        child<QLineEdit>(form, "edLagStrokes")->setText("1850");
        child<QLineEdit>(form, "edLagMinutes")->setText("42.5");
        child<QLineEdit>(form, "edLineDelay")->setText("75");
        child<QLineEdit>(form, "edBackgroundMetres")->setText("12,5");
        child<QLineEdit>(form, "edShowFactor")->setText("3");
        child<QLineEdit>(form, "edShowMinimum")->setText("0,1");
        // As sent, a corrected lag has no rows to go to.
        child<QPushButton>(form, "btnApplyLag")->click();
        QVERIFY(calls.empty());
        QCOMPARE(rig.op.messages.size(), std::size_t{1});
        child<QComboBox>(form, "cbSampleDepth")->setCurrentIndex(1);
        child<QDateTimeEdit>(form, "edLagSince")
            ->setDateTime(QDateTime(QDate(2026, 12, 9), QTime(6, 30)));
        child<QPushButton>(form, "btnApplyLag")->click();
        QCOMPARE(calls.size(), std::size_t{1});
        QCOMPARE(calls[0].strokes, 1850.0);
        QCOMPARE(calls[0].minutes, 42.5);
        QCOMPARE(library::format_date_time(library::from_day_number(calls[0].since)),
                 std::string("09.12.2026 06:30:00"));
        QCOMPARE(rig.op.messages.back().text, std::string("Отставание изменено"));
        if (const QString shots = qEnvironmentVariable("VETRA_SHOT_DIR"); !shots.isEmpty()) {
            auto* tabs = child<QTabWidget>(form, "PageControl1");
            tabs->setCurrentIndex(tabs->count() - 1);
            form.resize(640, 620);
            form.grab().save(shots + "/lag_page.png");
        }
        form.accept();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(lag.lagged_here());
        QCOMPARE(lag.lag_strokes, 1850.0);
        QCOMPARE(lag.lag_minutes, 42.5);
        QCOMPARE(lag.line_delay_seconds, 75.0);
        QCOMPARE(lag.background_metres, 12.5);
        QCOMPARE(lag.show_factor, 3.0);
        QCOMPARE(lag.show_minimum, 0.1);
    }

    void gas_grid_edits_reach_the_list() {
        test::DialogRig rig;
        rig.services.choose_colour = [](QWidget*, std::int32_t& colour) {
            colour = 65280;
            return true;
        };
        int notified = 0;
        rig.system.gases().changed.connect([&] { ++notified; });
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QTableWidget* grid = form.gas_grid();
        QCOMPARE(grid->rowCount(), 6);
        QCOMPARE(grid->item(1, 2)->text(), library::ui::fixed_text(17.0, 1));
        grid->item(1, 2)->setText("15,5");
        grid->item(1, 3)->setText("18.5");
        grid->item(1, 1)->setText("C2x");
        QVERIFY(grid->item(0, 4)->text().isEmpty());  // the swatch alone, no number
        form.gas_colour_click(1);
        QVERIFY(grid->item(1, 4)->text().isEmpty());
        QCOMPARE(grid->item(1, 4)->background().color(), QColor(0, 255, 0));
        form.accept();

        const analysis::GazOption& ethane = rig.system.gases().gas(1);
        QCOMPARE(ethane.code, std::string("C2x"));
        QCOMPARE(ethane.start, 15.5f);
        QCOMPARE(ethane.work_start, 15.5f);
        QCOMPARE(ethane.end, 18.5f);
        QCOMPARE(ethane.colour, 65280);
        QCOMPARE(rig.system.gases().gas(2).start, 34.0f);
        QCOMPARE(notified, 1);
    }

    // Nothing is applied, every entry stays as typed and the message names both gases.
    void ok_refuses_overlapping_gas_windows() {
        test::DialogRig rig;
        const std::int32_t screen = rig.settings.screen_seconds;
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QTableWidget* grid = form.gas_grid();
        grid->item(0, 3)->setText("33");  // methane over ethane's 17 .. 20
        grid->item(3, 1)->setText("C4x");
        child<QLineEdit>(form, "edScreen")->setText("95");
        form.pages()->setCurrentIndex(0);
        form.accept();
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(rig.op.messages.size(), std::size_t{1});
        const std::string& said = rig.op.messages[0].text;
        QVERIFY2(said.find("метан (10 - 33 с)") != std::string::npos &&
                     said.find("этан (17 - 20 с)") != std::string::npos,
                 said.c_str());
        QCOMPARE(rig.system.gases().gas(0).end, 15.0f);
        QCOMPARE(rig.system.gases().gas(3).code, std::string("C4"));
        QCOMPARE(rig.settings.screen_seconds, screen);
        QCOMPARE(grid->item(0, 3)->text(), QStringLiteral("33"));
        QCOMPARE(child<QLineEdit>(form, "edScreen")->text(), QStringLiteral("95"));
        QCOMPARE(form.pages()->tabText(form.pages()->currentIndex()), QStringLiteral("Газ"));
        QCOMPARE(grid->currentRow(), 1);

        grid->item(0, 3)->setText("17");  // touching is not overlapping
        form.accept();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(rig.system.gases().gas(0).end, 17.0f);
        QCOMPARE(rig.system.gases().gas(3).code, std::string("C4x"));
        QCOMPARE(rig.settings.screen_seconds, 95);
    }

    void cancel_keeps_only_what_takes_effect_at_once() {
        test::DialogRig rig;
        const auto times = rig.settings.times;
        {
            TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
            put(form.timing_grid(), 0, "5");
            form.gas_grid()->item(0, 2)->setText("1");
            child<QCheckBox>(form, "chkUse")->setChecked(true);
            child<QRadioButton>(form, "rbMode2")->setChecked(true);
            form.show_manufacturer_page();
            QVERIFY(form.pages()->isTabVisible(5));
            QVERIFY(child<QWidget>(form, "gbVelon")->isHidden());  // model 0
            form.show_model_selector();
            form.select_model(settings::kModelVelon);
            QCOMPARE(form.timing_grid()->rowCount(), 4);
            QCOMPARE(form.timing_grid()->item(0, 0)->text(), QString(" Время начала нагрева "));
            form.reject();
        }
        QCOMPARE(rig.settings.device_type, std::int32_t{settings::kModelVelon});
        QCOMPARE(rig.settings.times[1], 18);  // model 1 defaults, not the edit
        QVERIFY(rig.settings.times != times);
        QVERIFY(!rig.settings.totalizer_use.load());
        QCOMPARE(rig.system.gases().gas(0).start, 10.0f);
        QCOMPARE(rig.system.work_mode(), std::int32_t{control::kManual});
    }

    void zero_shift_measurement_data() {
        QTest::addColumn<int>("model");
        QTest::newRow("model 1, two channels") << 1;
        QTest::newRow("model 0, one channel") << 0;
    }
    void zero_shift_measurement() {
        QFETCH(int, model);
        test::DialogRig rig(model);
        rig.settings.totalizer_null = 0.5f;
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QPushButton* button = form.zero_button();
        form.start_zero_shift();
        QVERIFY(!button->isEnabled());
        QVERIFY(rig.settings.zero_setting_running.load());
        QCOMPARE(rig.settings.totalizer_null.load(), 0.0f);
        // What the acquisition thread measures meanwhile.
        rig.settings.totalizer_null = 0.125f;
        rig.settings.totalizer_null10 = 0.25f;
        for (int tick = 1; tick < TOptForm::kZeroShiftTicks; ++tick) {
            form.zero_shift_tick();
        }
        QCOMPARE(button->text(), QString(TOptForm::kZeroShiftTicks - 1, '.'));
        QVERIFY(rig.settings.zero_setting_running.load());
        form.zero_shift_tick();

        QVERIFY(!rig.settings.zero_setting_running.load());
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QString("Автоматическая установка сдвига нуля"));
        QCOMPARE(child<QLineEdit>(form, "edNull")->text(), library::ui::fixed_text(0.125, 3));
        const double second = model == 1 ? 0.25 : 0.125;
        QCOMPARE(child<QLineEdit>(form, "edNull10")->text(), library::ui::fixed_text(second, 3));
        QCOMPARE(rig.settings.totalizer_null10.load(), static_cast<float>(second));
        form.reject();  // the measurement stays
        QCOMPARE(rig.settings.totalizer_null.load(), 0.125f);
    }

    void closing_during_the_measurement_stops_it() {
        test::DialogRig rig(settings::kModelVelon);
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        form.start_zero_shift();
        form.zero_shift_tick();
        form.reject();
        QVERIFY(!rig.settings.zero_setting_running.load());
    }

    void threshold_without_a_totalizer_takes_the_station() {
        test::DialogRig rig;
        TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        QVERIFY(!child<QRadioButton>(form, "rbMode4")->isEnabled());
        bool internal_enabled = true;
        bool station_checked = false;
        test::on_modal([&](QDialog* dialog) {
            auto* porog = qobject_cast<settings::ui::TPorogForm*>(dialog);
            QVERIFY(porog != nullptr);
            internal_enabled = porog->internal_button()->isEnabled();
            station_checked = porog->station_button()->isChecked();
            dialog->reject();
        });
        form.porog_click();
        QVERIFY(!internal_enabled);
        QVERIFY(station_checked);
        QVERIFY(rig.settings.porog_from_station);  // at once, even after Cancel
        QVERIFY(child<QRadioButton>(form, "rbMode4")->isEnabled());
    }
};

QTEST_MAIN(WorkSettingsTest)
#include "work_settings_test.moc"
