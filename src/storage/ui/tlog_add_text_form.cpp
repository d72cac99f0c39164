#include "storage/ui/tlog_add_text_form.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "library/ui/qt_text.h"

namespace vetra::storage::ui {

TLogAddTextForm::TLogAddTextForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TLogAddTextForm");
    setWindowTitle("  Журнал");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Введите строчку для журнала", this));
    edit_ = new QLineEdit(this);
    edit_->setMinimumWidth(360);
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    library::ui::keep_single_line_fields(this);
}

QString TLogAddTextForm::execute(QPoint at) {
    adjustSize();
    move(at);
    if (exec() != QDialog::Accepted) {
        return {};
    }
    return edit_->text();
}

}  // namespace vetra::storage::ui
