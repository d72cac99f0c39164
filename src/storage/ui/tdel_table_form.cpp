#include "storage/ui/tdel_table_form.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vetra::storage::ui {

TDelTableForm::TDelTableForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TDelTableForm");
    setWindowTitle("  Очистка таблицы");
    auto* layout = new QVBoxLayout(this);
    auto* warning = new QLabel("ВНИМАНИЕ !", this);
    QFont bold = warning->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    warning->setFont(bold);
    warning->setAlignment(Qt::AlignCenter);
    warning->setStyleSheet("color: red");
    layout->addWidget(warning);

    CheckBox1 = new QCheckBox("Да, я действительно хочу стереть все записи в таблице", this);
    layout->addWidget(CheckBox1);
    lblAgain = new QLabel(
        "Нажмите кнопку \"Стереть\" ещё раз для очистки записей или \"Отмена\", если Вы не "
        "хотите очищать записи",
        this);
    lblAgain->setWordWrap(true);
    lblAgain->setVisible(false);
    layout->addWidget(lblAgain);

    auto* buttons = new QHBoxLayout();
    btnErase = new QPushButton("Стереть...", this);
    // Red only while it can be pressed: a disabled button keeps the style's grey text.
    QPalette red = btnErase->palette();
    red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
    red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
    btnErase->setPalette(red);
    btnErase->setEnabled(false);
    btnErase->setAutoDefault(false);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(btnErase);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(CheckBox1, &QCheckBox::toggled, btnErase, &QPushButton::setEnabled);
    connect(btnErase, &QPushButton::clicked, this, &TDelTableForm::btnEraseClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TDelTableForm::btnEraseClick() {
    if (armed_) {
        accept();
        return;
    }
    armed_ = true;
    CheckBox1->setVisible(false);
    lblAgain->setVisible(true);
    btnErase->setText("СТЕРЕТЬ !");
    QFont bold = btnErase->font();
    bold.setBold(true);
    btnErase->setFont(bold);
    btnErase->setEnabled(true);
}

}  // namespace vetra::storage::ui
