#include "settings/ui/tnet_comp_form.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vetra::settings::ui {
namespace {

constexpr int kSearchLimitMs = 10000;

}  // namespace

TNetCompForm::TNetCompForm(std::unique_ptr<NetworkComputers> computers, QWidget* parent)
    : QDialog(parent), computers_(std::move(computers)) {
    setWindowTitle("  Сеть");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Список компьютеров", this));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setMinimumSize(260, 220);
    layout->addWidget(ListBox1, 1);
    search_label_ = new QLabel("Поиск…", this);
    search_label_->setObjectName("lblSearch");
    layout->addWidget(search_label_);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

TNetCompForm::~TNetCompForm() {
    // Stops the listing before this object goes: no name can be posted to it afterwards.
    computers_.reset();
}

bool TNetCompForm::execute(const std::string& current, std::string& chosen) {
    current_ = QString::fromStdString(current).trimmed();
    if (computers_) {
        computers_->start(
            [this](const std::string& name) {
                const QString text = QString::fromStdString(name);
                QMetaObject::invokeMethod(
                    this, [this, text] { add_computer(text); }, Qt::QueuedConnection);
            },
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { search_finished(); }, Qt::QueuedConnection);
            });
        // A service that never says it is done must not leave "Поиск…" for ever.
        QTimer::singleShot(kSearchLimitMs, this, &TNetCompForm::search_finished);
    } else {
        search_finished();
    }
    if (exec() != QDialog::Accepted) {
        return false;
    }
    const QString name = chosen_name();
    if (name.isEmpty()) {
        return false;
    }
    chosen = name.toStdString();
    return true;
}

void TNetCompForm::add_computer(const QString& name) {
    if (search_label_->text() != "Поиск…") {
        search_label_->hide();  // a late answer after the search was given up
    }
    auto* item = new QListWidgetItem(" " + name, ListBox1);
    if (!current_.isEmpty() && name.compare(current_, Qt::CaseInsensitive) == 0) {
        ListBox1->setCurrentItem(item);
        item->setSelected(true);
        ListBox1->setFocus();
    }
}

void TNetCompForm::search_finished() {
    if (ListBox1->count() == 0) {
        search_label_->setText("Компьютеры не найдены");
        search_label_->show();
    } else {
        search_label_->clear();
        search_label_->hide();
    }
}

QString TNetCompForm::search_text() const {
    return search_label_->isHidden() ? QString() : search_label_->text();
}

QString TNetCompForm::chosen_name() const {
    const auto selected = ListBox1->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text().trimmed();
}

}  // namespace vetra::settings::ui
