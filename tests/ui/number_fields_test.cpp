// Every number field of every dialog, from one table: its range, a value at its edge, one
// just outside, and letters. A value outside is refused with a message naming the field and
// its range, nothing is applied, and the other entries stay as typed; the edge value goes
// through and, where the dialog stores it, comes back as typed when the dialog opens again.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>

#include "analysis/ui/tedit_etal_form.h"
#include "analysis/ui/tetalon_form.h"
#include "dialog_rig.h"
#include "library/number_text.h"
#include "library/ui/number_fields.h"
#include "library/ui/qt_text.h"
#include "settings/ui/topt_form.h"
#include "settings/ui/topt_master_form.h"
#include "settings/ui/tporog_form.h"

using namespace vetra;
using library::ui::NumberFields;

namespace {

// One dialog as the operator has it open.
struct Open {
    virtual ~Open() = default;
    virtual NumberFields fields() = 0;
    // OK (or "Далее"); true when the dialog took the entries.
    virtual bool submit() = 0;
    // Messages shown since the dialog opened.
    virtual QStringList messages() = 0;
    // The same dialog opened again over what was stored; none where nothing is stored.
    virtual std::unique_ptr<Open> reopen() { return nullptr; }
};

QStringList texts(const std::vector<test::RecordingOperator::Message>& list) {
    QStringList out;
    for (const auto& m : list) {
        out << QString::fromStdString(m.text);
    }
    return out;
}

struct WorkSettings : Open {
    WorkSettings(std::shared_ptr<test::DialogRig> r) : rig(std::move(r)) {
        rig->op.messages.clear();
        rig->settings.totalizer_use = true;  // its group's fields count too
        form = std::make_unique<settings::ui::TOptForm>(rig->settings, rig->system, rig->totalizer,
                                                        rig->services);
        form->show_manufacturer_page();  // its fields count too
    }
    NumberFields fields() override { return form->number_fields(); }
    bool submit() override {
        form->accept();
        return form->result() == QDialog::Accepted;
    }
    QStringList messages() override { return texts(rig->op.messages); }
    std::unique_ptr<Open> reopen() override { return std::make_unique<WorkSettings>(rig); }

    std::shared_ptr<test::DialogRig> rig;
    std::unique_ptr<settings::ui::TOptForm> form;
};

struct Threshold : Open {
    Threshold(std::shared_ptr<test::DialogRig> r) : rig(std::move(r)) {
        rig->op.messages.clear();
        form = std::make_unique<settings::ui::TPorogForm>(rig->settings, rig->services);
    }
    NumberFields fields() override { return form->number_fields(); }
    bool submit() override {
        form->accept();
        return form->result() == QDialog::Accepted;
    }
    QStringList messages() override { return texts(rig->op.messages); }
    std::unique_ptr<Open> reopen() override { return std::make_unique<Threshold>(rig); }

    std::shared_ptr<test::DialogRig> rig;
    std::unique_ptr<settings::ui::TPorogForm> form;
};

struct Wizard : Open {
    Wizard() {
        form = std::make_unique<settings::ui::TOptMasterForm>(rig.settings, rig.system.gases(),
                                                              rig.services);
    }
    NumberFields fields() override { return form->number_fields(); }
    bool submit() override {
        form->btnNextClick();
        return form->page() == 1;
    }
    QStringList messages() override { return texts(rig.op.messages); }

    test::DialogRig rig;
    std::unique_ptr<settings::ui::TOptMasterForm> form;
};

struct Calibration : Open {
    Calibration() {
        form = std::make_unique<analysis::ui::TEtalonForm>(rig.system, rig.settings, rig.op,
                                                           analysis::ui::EtalonHooks{});
        form->open_window();
        analysis::EtalonPoint point{"1 / 10", 3, {}};
        for (int g = 0; g < rig.system.gases().count(); ++g) {
            point.pairs.emplace_back(0.1 * (g + 1), 950.0 * (g + 1));
        }
        form->add_point(point);
        rig.op.answer = false;  // the commit's question is where it went through
    }
    NumberFields fields() override { return form->number_fields(); }
    bool submit() override {
        form->Button1Click();
        return !rig.op.questions.empty();
    }
    QStringList messages() override { return texts(rig.op.messages); }

    test::DialogRig rig;
    std::unique_ptr<analysis::ui::TEtalonForm> form;
};

struct CalibrationPoint : Open {
    CalibrationPoint() {
        form = std::make_unique<analysis::ui::TEditEtalForm>(
            rig.system.gases(), rig.settings.settings_path, nullptr, [] {});
        form->findChild<QCheckBox*>()->setChecked(true);  // "Разбавление": its fields too
    }
    NumberFields fields() override { return form->number_fields(); }
    bool submit() override {
        // Its refusal is a message box of its own: read and closed as it comes up.
        auto* timer = new QTimer(form.get());
        QObject::connect(timer, &QTimer::timeout, [this, timer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->text();
                box->accept();
                timer->stop();
            }
        });
        timer->start(5);
        form->accept();
        timer->stop();
        return form->result() == QDialog::Accepted;
    }
    QStringList messages() override { return shown; }

    test::DialogRig rig;
    std::unique_ptr<analysis::ui::TEditEtalForm> form;
    QStringList shown;
};

using Opener = std::function<std::unique_ptr<Open>()>;

std::unique_ptr<Open> work_settings(int model) {
    return std::make_unique<WorkSettings>(std::make_shared<test::DialogRig>(model));
}

// The smallest step the field tells apart, and what is just outside it.
double step_of(const library::NumberRange& range) {
    return range.decimals == 0 ? 1.0 : std::pow(10.0, -range.decimals);
}

QString number(double value, int decimals) {
    return library::ui::q(library::fixed_to_text(value, decimals));
}

}  // namespace

Q_DECLARE_METATYPE(Opener)

class NumberFieldsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void every_field_takes_its_range_and_refuses_the_rest_data() {
        QTest::addColumn<Opener>("open");
        QTest::addColumn<int>("count");  // how many fields the dialog has in use
        QTest::newRow("work settings, ТД-5ЛК")
            << Opener([] { return work_settings(settings::kModelTd5); }) << 7 + 1 + 12 + 6 + 2;
        QTest::newRow("work settings, Велон")
            << Opener([] { return work_settings(settings::kModelVelon); }) << 4 + 2 + 12 + 6 + 5;
        QTest::newRow("threshold") << Opener([]() -> std::unique_ptr<Open> {
            return std::make_unique<Threshold>(std::make_shared<test::DialogRig>());
        }) << 1;
        QTest::newRow("setup wizard")
            << Opener([]() -> std::unique_ptr<Open> { return std::make_unique<Wizard>(); }) << 1;
        QTest::newRow("calibration")
            << Opener([]() -> std::unique_ptr<Open> { return std::make_unique<Calibration>(); })
            << 1 + 12;
        QTest::newRow("calibration point") << Opener([]() -> std::unique_ptr<Open> {
            return std::make_unique<CalibrationPoint>();
        }) << 6 + 3;
    }
    void every_field_takes_its_range_and_refuses_the_rest() {
        QFETCH(Opener, open);
        QFETCH(int, count);
        int in_use = 0;
        const auto first = open();
        const NumberFields listed = first->fields();
        for (std::size_t i = 0; i < listed.fields().size(); ++i) {
            const NumberFields::Field& field = listed.fields()[i];
            if (field.in_use && !field.in_use()) {
                continue;
            }
            ++in_use;
            const library::NumberRange range = field.range;
            const double step = step_of(range);
            const QString name = field.name;
            // A gas's window is also bound by its other edge and its neighbours: its own
            // value is the one inside; any other field takes its upper bound.
            const bool window = name.contains("вых.,с");
            const QString edge = window ? field.text() : number(range.max, range.decimals);
            const double edge_value = *library::parse_number(edge.toStdString());
            for (const QString& typed :
                 {number(range.max + step, range.decimals),
                  number(range.min - step, range.decimals), QString("abc")}) {
                auto dialog = open();
                const NumberFields fields = dialog->fields();
                // Every other field keeps what the dialog opened with.
                QStringList before;
                for (const auto& f : fields.fields()) {
                    before << f.text();
                }
                fields.fields()[i].set_text(typed);
                before[static_cast<int>(i)] = typed;
                QVERIFY2(!dialog->submit(), qPrintable(name + ": took " + typed));
                const QStringList shown = dialog->messages();
                QVERIFY2(shown.size() == 1, qPrintable(name + ": " + shown.join(" | ")));
                const QString range_words = library::ui::q(library::range_words(range));
                QVERIFY2(shown[0].contains("\"" + name + "\"") && shown[0].contains(range_words) &&
                             shown[0].contains(typed),
                         qPrintable(shown[0]));
                QStringList after;
                const NumberFields now = dialog->fields();
                for (const auto& f : now.fields()) {
                    after << f.text();
                }
                QCOMPARE(after, before);
            }
            auto dialog = open();
            const NumberFields fields = dialog->fields();
            fields.fields()[i].set_text(edge);
            QVERIFY2(dialog->submit(), qPrintable(name + ": refused " + edge + ": " +
                                                  dialog->messages().join(" | ")));
            if (auto again = dialog->reopen()) {
                const NumberFields reopened = again->fields();
                const QString shown = reopened.fields()[i].text();
                const auto value = library::parse_number(shown.toStdString());
                QVERIFY2(value && std::fabs(*value - edge_value) <= step / 2,
                         qPrintable(name + ": stored as " + shown));
            }
        }
        QCOMPARE(in_use, count);
    }

    // What a Part says reads as 0 stays so only where 0 is a value the operator could mean.
    void an_emptied_field_means_what_it_always_has() {
        test::DialogRig rig;
        rig.settings.porog_value = 0.5;
        settings::ui::TPorogForm threshold(rig.settings, rig.services);
        threshold.value_edit()->setText("");
        threshold.accept();
        QCOMPARE(threshold.result(), int(QDialog::Accepted));
        QCOMPARE(rig.settings.porog_value, 0.0);

        settings::ui::TOptForm form(rig.settings, rig.system, rig.totalizer, rig.services);
        const int cycle = rig.settings.times[6];
        form.timing_grid()->item(6, 1)->setText(" ");
        form.findChild<QLineEdit*>("edMinGaz")->setText("");
        const double min_gaz = rig.settings.min_gaz_value;
        form.accept();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(rig.settings.times[6], cycle);
        QCOMPARE(rig.settings.min_gaz_value, min_gaz);
    }
};

QTEST_MAIN(NumberFieldsTest)
#include "number_fields_test.moc"
