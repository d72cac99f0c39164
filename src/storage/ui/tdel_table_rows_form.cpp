#include "storage/ui/tdel_table_rows_form.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vetra::storage::ui {

TDelTableRowsForm::TDelTableRowsForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TDelTableRowsForm");
    setWindowTitle(" Удаление строк");
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox("Что Вы хотите сделать", this);
    auto* choices = new QVBoxLayout(group);
    rbErase = new QRadioButton("Стереть выделенные строки", group);
    rbZeros = new QRadioButton("Заполнить выделенные строки нулями", group);
    choices->addWidget(rbErase);
    choices->addWidget(rbZeros);
    layout->addWidget(group);

    auto* buttons = new QHBoxLayout();
    btnDelete = new QPushButton("Удалить", this);
    btnDelete->setEnabled(false);
    btnDelete->setAutoDefault(false);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(btnDelete);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    for (QRadioButton* b : {rbErase, rbZeros}) {
        connect(b, &QRadioButton::toggled, this, [this] { btnDelete->setEnabled(true); });
    }
    connect(btnDelete, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TDelTableRowsForm::zeros_only() const {
    return rbZeros->isChecked();
}

}  // namespace vetra::storage::ui
