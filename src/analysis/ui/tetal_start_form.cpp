#include "analysis/ui/tetal_start_form.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vetra::analysis::ui {

TEtalStartForm::TEtalStartForm(const QString& dilution, QWidget* parent)
    : QDialog(parent), label_(new QLabel(this)) {
    setObjectName(QStringLiteral("TEtalStartForm"));
    setWindowTitle(QStringLiteral("  Внимание!!!"));
    label_->setText(dilution.isEmpty()
                        ? QStringLiteral("Введите газ без разбавления и нажмите кнопку \"OK\"")
                        : QStringLiteral("Введите газ с разбавлением \"") + dilution +
                              QStringLiteral("\" и нажмите кнопку \"OK\""));
    label_->setWordWrap(true);
    QFont font = label_->font();
    font.setBold(true);
    label_->setFont(font);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString TEtalStartForm::text() const {
    return label_->text();
}

}  // namespace vetra::analysis::ui
