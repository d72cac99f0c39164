// The setup wizard, the threshold and station dialogs, the network list and the colour
// selection window, driven through their slots on the offscreen platform.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <thread>

#include "analysis/gaz_list.h"
#include "app/ui/settings_menus.h"
#include "dialog_rig.h"
#include "library/ui/qt_text.h"
#include "settings/ui/network_computers.h"
#include "settings/ui/tcomp_form.h"
#include "settings/ui/tnet_comp_form.h"
#include "settings/ui/topt_master_form.h"
#include "settings/ui/tporog_form.h"
#include "widgets/ui/colour_select_form.h"

using namespace vetra;
using settings::ui::TOptMasterForm;

namespace {

// Names "found" on a thread of its own, as the network service reports them.
class ThreadedComputers final : public settings::ui::NetworkComputers {
public:
    explicit ThreadedComputers(QStringList names) : names_(std::move(names)) {}
    void start(std::function<void(const std::string&)> found,
               std::function<void()> finished) override {
        worker_ = std::jthread([this, found, finished] {
            for (const QString& name : names_) {
                found(name.toStdString());
            }
            finished();
        });
    }

private:
    QStringList names_;
    std::jthread worker_;
};

void fill_names(TOptMasterForm& form, const QStringList& names) {
    for (int row = 0; row < names.size(); ++row) {
        form.gas_grid()->item(row, 1)->setText(names[row]);
    }
}

}  // namespace

class SetupDialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wizard_steps_one_page_at_a_time() {
        test::DialogRig rig;
        TOptMasterForm form(rig.settings, rig.system.gases(), rig.services);
        for (int page = 0; page < TOptMasterForm::kPageCount; ++page) {
            QCOMPARE(form.page(), page);
            QCOMPARE(form.step_text(), "Шаг " + QString::number(page + 1) + " из 4");
            QCOMPARE(form.ok_button()->isEnabled(), page == 3);
            form.btnNextClick();
        }
        QCOMPARE(form.page(), 3);  // no page after the last
        form.btnPrevClick();
        QCOMPARE(form.step_text(), QString("Шаг 3 из 4"));
    }

    void wizard_refuses_empty_and_repeated_gases_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("selected");
        QTest::newRow("a repeated gas") << "3" << QStringList{"метан", "этан", "метан"}
                                        << "Программа обнаружила повторяющиеся значения газов:\n"
                                           "1. метан\n"
                                        << -1;
        QTest::newRow("three of one gas")
            << "4" << QStringList{"этан", "этан", "метан", "этан"}
            << "Программа обнаружила повторяющиеся значения газов:\n1. этан\n2. этан\n"
            << -1;
        QTest::newRow("an empty second row")
            << "2" << QStringList{"метан", ""}
            << "Обнаружена пустая строка в перечне регистрируемых газов" << 1;
    }
    void wizard_refuses_empty_and_repeated_gases() {
        QFETCH(QString, count);
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        QFETCH(int, selected);
        test::DialogRig rig;
        TOptMasterForm form(rig.settings, rig.system.gases(), rig.services);
        form.count_edit()->setText(count);
        form.btnNextClick();
        QCOMPARE(form.gas_grid()->rowCount(), count.toInt());
        fill_names(form, names);
        form.set_page(3);
        form.accept();

        QCOMPARE(form.result(), int(QDialog::Rejected));  // still open
        QCOMPARE(form.page(), 1);
        QCOMPARE(rig.op.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(rig.op.messages[0].text), message);
        QCOMPARE(rig.op.messages[0].caption, std::string(" Ошибка!"));
        if (selected >= 0) {
            QCOMPARE(form.gas_grid()->currentRow(), selected);
        }
        QCOMPARE(rig.system.gases().count(), 6);  // nothing applied
    }

    void wizard_ok_applies_the_gases_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("rows");
        // Text, 0 or 40 stop at "Далее" with a message (the number field test has them).
        QTest::newRow("at most 15") << "15" << 15;
        QTest::newRow("at least 1") << "1" << 1;
        QTest::newRow("comma form") << "3,0" << 3;
    }
    void wizard_ok_applies_the_gases() {
        QFETCH(QString, count);
        QFETCH(int, rows);
        test::DialogRig rig;
        rig.system.gases().resize(2);
        int notified = 0;
        rig.system.gases().changed.connect([&] { ++notified; });
        TOptMasterForm form(rig.settings, rig.system.gases(), rig.services);
        form.count_edit()->setText(count);
        form.btnNextClick();
        QCOMPARE(form.gas_grid()->rowCount(), rows);
        QStringList names;
        const auto& known = analysis::known_gases();
        for (int i = 0; i < rows; ++i) {
            // As the drop-down offers them: the cell keeps the first word.
            const auto& [code, name] = known[static_cast<std::size_t>(14 - i)];
            names << library::ui::q(name) + " (" + library::ui::q(code) + ")";
        }
        fill_names(form, names);
        QCOMPARE(form.gas_grid()->item(0, 1)->text(), QString("изогексан"));
        form.btnNextClick();
        form.use_box()->setChecked(true);
        form.show_box()->setChecked(true);
        form.btnNextClick();
        form.accept();

        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(rig.system.gases().count(), rows);
        QCOMPARE(rig.system.gases().gas(0).name, std::string("изогексан"));
        QCOMPARE(rig.system.gases().gas(0).code, std::string("C6i"));
        QCOMPARE(rig.system.gases().gas(rows - 1).code,
                 known[static_cast<std::size_t>(15 - rows)].first);
        QCOMPARE(notified, 1);
        QVERIFY(rig.settings.totalizer_use.load());
        QVERIFY(rig.settings.totalizer_show);
        QVERIFY(rig.settings.first_start);  // the wizard leaves it to the orderly close
    }

    void cancelling_the_first_start_wizard_changes_nothing() {
        test::DialogRig rig;
        QWidget window;
        int refreshed = 0;
        int table_font = 0;
        app::ui::SettingsMenus menus(rig.system, rig.settings, rig.op, &window,
                                     [&] { ++refreshed; });
        menus.table_font_changed = [&](const std::string&, int size) { table_font = size; };
        test::on_modal([](QDialog* dialog) {
            auto* wizard = qobject_cast<TOptMasterForm*>(dialog);
            QVERIFY(wizard != nullptr);
            wizard->count_edit()->setText("2");
            wizard->reject();
        });
        QVERIFY(!menus.MenuProgrammConf());
        QVERIFY(rig.settings.first_start);
        QCOMPARE(rig.system.gases().count(), 6);
        QCOMPARE(refreshed, 0);

        rig.settings.table_font_size = 20;
        test::on_modal([](QDialog* dialog) {
            auto* wizard = qobject_cast<TOptMasterForm*>(dialog);
            QVERIFY(wizard != nullptr);
            wizard->set_page(1);
            wizard->set_page(3);
            wizard->accept();
        });
        QVERIFY(menus.MenuProgrammConf());
        QCOMPARE(refreshed, 1);
        QCOMPARE(table_font, 20);

        // Not while a cycle runs.
        rig.settings.demo = true;
        rig.system.start_analysis();
        QCOMPARE(rig.system.state(), 0);
        QVERIFY(!menus.MenuProgrammConf());
        rig.system.link().stop_acquisition();
        QCOMPARE(rig.op.messages.size(), std::size_t{1});
        QCOMPARE(rig.op.messages[0].caption, std::string("  Внимание!"));
    }

    void threshold_dialog_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        QTest::newRow("comma") << "0,5" << true << 0.5;
        QTest::newRow("point") << "1.25" << true << 1.25;
        QTest::newRow("empty is 0") << "" << true << 0.0;
        QTest::newRow("text is refused") << "abc" << false << 0.05;
    }
    void threshold_dialog() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(double, value);
        test::DialogRig rig;
        rig.settings.porog_from_station = true;
        settings::ui::TPorogForm form(rig.settings, rig.services);
        QVERIFY(form.station_button()->isChecked());
        QCOMPARE(form.value_edit()->text(), library::ui::fixed_text(0.05, 3));
        form.internal_button()->setChecked(true);
        form.value_edit()->setText(typed);
        form.accept();
        QCOMPARE(form.result() == QDialog::Accepted, accepted);
        QCOMPARE(rig.settings.porog_value, value);
        QCOMPARE(rig.settings.porog_from_station, !accepted);
        QCOMPARE(rig.op.messages.size(), std::size_t{accepted ? 0u : 1u});
    }

    void station_computer_dialog() {
        test::DialogRig rig;
        rig.settings.reg_computer_name = "station";
        settings::ui::TCompForm form(rig.settings, rig.services);
        QVERIFY(form.ok_button()->isEnabled());
        form.name_edit()->clear();
        QVERIFY(!form.ok_button()->isEnabled());
        form.accept();  // Enter in the empty field
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(rig.settings.reg_computer_name, std::string("station"));
        form.default_click();
        QCOMPARE(form.name_edit()->text(), QString(settings::GlobalSettings::kLocalComputerName));
        QVERIFY(form.ok_button()->isEnabled());

        rig.services.network = [] {
            return std::make_unique<ThreadedComputers>(QStringList{"mud-pc.local"});
        };
        settings::ui::TCompForm chooser(rig.settings, rig.services);
        test::on_modal([](QDialog* dialog) {
            auto* list = qobject_cast<settings::ui::TNetCompForm*>(dialog)->list();
            QTRY_COMPARE(list->count(), 1);
            list->setCurrentRow(0);
            dialog->accept();
        });
        chooser.choose_click();
        QCOMPARE(chooser.name_edit()->text(), QString("mud-pc.local"));
        chooser.accept();
        QCOMPARE(rig.settings.reg_computer_name, std::string("mud-pc.local"));
    }

    void network_list_selects_the_current_computer() {
        settings::ui::TNetCompForm form(
            std::make_unique<ThreadedComputers>(QStringList{"alpha.local", "station.local"}));
        test::on_modal([](QDialog* dialog) {
            auto* list = qobject_cast<settings::ui::TNetCompForm*>(dialog)->list();
            QTRY_COMPARE(list->count(), 2);
            QCOMPARE(list->item(1)->text(), QString(" station.local"));
            dialog->accept();
        });
        std::string chosen;
        QVERIFY(form.execute("station.local", chosen));
        QCOMPARE(chosen, std::string("station.local"));

        settings::ui::TNetCompForm none(std::make_unique<ThreadedComputers>(QStringList{"a"}));
        test::on_modal([](QDialog* dialog) { dialog->accept(); });
        QVERIFY(!none.execute("other", chosen));  // OK without a selection

        // The operator is told that it looks, and that it found nothing.
        settings::ui::TNetCompForm empty(std::make_unique<ThreadedComputers>(QStringList{}));
        QCOMPARE(empty.search_text(), QString("Поиск…"));
        test::on_modal([](QDialog* dialog) {
            auto* form = qobject_cast<settings::ui::TNetCompForm*>(dialog);
            QTRY_COMPARE(form->search_text(), QString("Компьютеры не найдены"));
            dialog->reject();
        });
        QVERIFY(!empty.execute("other", chosen));
        settings::ui::TNetCompForm found(std::make_unique<ThreadedComputers>(QStringList{"b"}));
        test::on_modal([](QDialog* dialog) {
            auto* form = qobject_cast<settings::ui::TNetCompForm*>(dialog);
            QTRY_COMPARE(form->list()->count(), 1);
            QTRY_COMPARE(form->search_text(), QString());
            dialog->reject();
        });
        QVERIFY(!found.execute("other", chosen));
    }

    // The platform's own list (Avahi here, NetServerEnum on Windows) says it is done, on
    // any network or none, and names come only as non-empty names, each once; dropping it
    // right after the start must neither hang nor call back into a dead object.
    void the_system_network_list_finishes() {
        auto computers = settings::ui::make_network_computers();
        std::mutex mutex;
        QStringList names;
        std::atomic<bool> done{false};
        computers->start(
            [&](const std::string& name) {
                const std::lock_guard lock(mutex);
                names << QString::fromStdString(name);
            },
            [&] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
        computers.reset();
        const std::lock_guard lock(mutex);
        QVERIFY(!names.contains(QString()));
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());

        auto dropped = settings::ui::make_network_computers();
        dropped->start([](const std::string&) {}, [] {});
        dropped.reset();
    }

    void colour_window_keeps_windows_colour_numbers() {
        for (const std::int32_t colour : widgets::ui::ColourSelectForm::kStandardColours) {
            QCOMPARE(widgets::ui::windows_colour_of(widgets::ui::colour_of(colour)), colour);
        }
        QCOMPARE(widgets::ui::colour_of(255), QColor(Qt::red));
        widgets::ui::ColourSelectForm form(0x112233);
        QCOMPARE(form.colour(), 0x112233);
        form.select(32896);
        QCOMPARE(form.colour(), 32896);
    }
};

QTEST_MAIN(SetupDialogsTest)
#include "setup_dialogs_test.moc"
