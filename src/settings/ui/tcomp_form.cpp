#include "settings/ui/tcomp_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "library/ui/qt_text.h"
#include "settings/global_settings.h"
#include "settings/ui/tnet_comp_form.h"

namespace vetra::settings::ui {

TCompForm::TCompForm(GlobalSettings& settings, DialogServices services, QWidget* parent)
    : QDialog(parent), settings_(settings), services_(std::move(services)) {
    setWindowTitle("  Дополнительная настройка");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Имя компьютера с программой \"Кивра-32\"", this));
    auto* row = new QHBoxLayout();
    Edit1 = new QLineEdit(library::ui::q(settings_.reg_computer_name), this);
    Edit1->setObjectName("Edit1");
    Edit1->setMinimumWidth(240);
    row->addWidget(Edit1, 1);
    auto* choose = new QPushButton("Выбрать...", this);
    choose->setAutoDefault(false);
    connect(choose, &QPushButton::clicked, this, &TCompForm::choose_click);
    row->addWidget(choose);
    layout->addLayout(row);

    auto* buttons = new QHBoxLayout();
    auto* local = new QPushButton("По умолчанию (локальный компьютер)", this);
    local->setAutoDefault(false);
    connect(local, &QPushButton::clicked, this, &TCompForm::default_click);
    buttons->addWidget(local);
    buttons->addStretch(1);
    btnOk = new QPushButton("OK", this);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &TCompForm::accept);
    buttons->addWidget(btnOk);
    auto* cancel = new QPushButton("Отмена", this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    const auto enable_ok = [this] { btnOk->setEnabled(!Edit1->text().isEmpty()); };
    connect(Edit1, &QLineEdit::textChanged, this, enable_ok);
    enable_ok();
    library::ui::keep_single_line_fields(this);
}

void TCompForm::accept() {
    // Enter in the field must not get round the disabled OK.
    if (Edit1->text().isEmpty()) {
        return;
    }
    settings_.reg_computer_name = Edit1->text().toStdString();
    QDialog::accept();
}

void TCompForm::choose_click() {
    TNetCompForm list(services_.network ? services_.network() : nullptr, this);
    std::string chosen;
    if (list.execute(Edit1->text().toStdString(), chosen)) {
        Edit1->setText(library::ui::q(chosen));
    }
}

void TCompForm::default_click() {
    Edit1->setText(GlobalSettings::kLocalComputerName);
}

}  // namespace vetra::settings::ui
