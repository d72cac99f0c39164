#include "settings/ui/tporog_form.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "library/operator.h"
#include "library/ui/qt_text.h"
#include "settings/global_settings.h"
#include "settings/ui/tcomp_form.h"

namespace vetra::settings::ui {

TPorogForm::TPorogForm(GlobalSettings& settings, DialogServices services, QWidget* parent)
    : QDialog(parent), settings_(settings), services_(std::move(services)) {
    setWindowTitle("  Порог срабатывания хроматографа");
    auto* layout = new QVBoxLayout(this);

    auto* work = new QGroupBox("Работа хроматографа", this);
    auto* work_layout = new QVBoxLayout(work);
    // Kept from the older layout and never shown.
    auto* any = new QRadioButton("Независимо от показаний газосумматора", work);
    auto* above = new QRadioButton("При показаниях газосумматора более чем", work);
    any->setVisible(false);
    above->setVisible(false);
    auto* row = new QHBoxLayout();
    row->addWidget(new QLabel("При показаниях газосумматора более чем: ", work));
    Edit1 = new QLineEdit(library::ui::fixed_text(settings_.porog_value, 3), work);
    Edit1->setObjectName("Edit1");
    Edit1->setMaximumWidth(100);
    row->addWidget(Edit1);
    row->addWidget(new QLabel("%", work));
    row->addStretch(1);
    work_layout->addLayout(row);
    layout->addWidget(work);

    auto* source = new QGroupBox("Источник показаний газосумматора", this);
    auto* source_layout = new QVBoxLayout(source);
    rbInternal = new QRadioButton("Внутренний газосумматор", source);
    rbStation = new QRadioButton("С программы \"Регистрация\"", source);
    rbInternal->setObjectName("rbInternal");
    rbStation->setObjectName("rbStation");
    source_layout->addWidget(rbInternal);
    auto* station_row = new QHBoxLayout();
    station_row->addWidget(rbStation);
    station_row->addStretch(1);
    auto* comp = new QPushButton("Имя компьютера...", source);
    comp->setAutoDefault(false);
    connect(comp, &QPushButton::clicked, this, &TPorogForm::comp_click);
    station_row->addWidget(comp);
    source_layout->addLayout(station_row);
    layout->addWidget(source);
    (settings_.porog_from_station ? rbStation : rbInternal)->setChecked(true);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TPorogForm::accept);
    auto* cancel = new QPushButton("Отмена", this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* help = new QPushButton("Справка", this);
    help->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, [this] {
        if (services_.show_help) {
            services_.show_help("threshold");
        }
    });
    for (QPushButton* b : {ok, cancel, help}) {
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
}

void TPorogForm::set_internal_enabled(bool enabled) {
    rbInternal->setEnabled(enabled);
    if (!enabled) {
        rbStation->setChecked(true);
    }
}

void TPorogForm::accept() {
    // A typing slip must not become a threshold of 0, which would start cycle after cycle;
    // an emptied field still means 0, as it always has.
    if (const QString refusal = number_fields().first_refusal(); !refusal.isEmpty()) {
        if (services_.op != nullptr) {
            services_.op->show_message(refusal.toStdString(), "Ошибка ввода параметра",
                                       library::MessageIcon::error);
        }
        return;
    }
    settings_.porog_from_station = rbStation->isChecked();
    settings_.porog_value = library::ui::number_of(Edit1->text()).value_or(0.0);
    QDialog::accept();
}

library::ui::NumberFields TPorogForm::number_fields() const {
    library::ui::NumberFields fields;
    fields.add_line(Edit1, "Порог срабатывания", {0, 100, 6}).may_be_empty = true;
    return fields;
}

void TPorogForm::comp_click() {
    TCompForm form(settings_, services_, this);
    (void)form.execute();
}

}  // namespace vetra::settings::ui
