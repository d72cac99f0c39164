#include "settings/ui/topt_master_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/gaz_list.h"
#include "library/operator.h"
#include "library/ui/qt_text.h"
#include "settings/global_settings.h"

namespace vetra::settings::ui {

QString model_name(int device_type) {
    switch (device_type) {
        case kModelTd5:
            return "ТД-5ЛК";
        case kModelVelon:
            return "Велон";
        default:
            return "Неизвестный прототип";
    }
}

namespace {

using library::ui::q;

// The gas name cells: a drop-down of the known gases as name + " (" + code + ")".
class GasNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* box = new QComboBox(parent);
        box->setEditable(true);
        for (const auto& [code, name] : analysis::known_gases()) {
            box->addItem(q(name) + " (" + q(code) + ")");
        }
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QComboBox*>(editor);
        const QString name = index.data().toString();
        const int found = box->findText(name + " (", Qt::MatchStartsWith);
        if (found >= 0) {
            box->setCurrentIndex(found);
        } else {
            box->setEditText(name);
        }
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

QLabel* title_label(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    label->setFont(f);
    return label;
}

}  // namespace

TOptMasterForm::TOptMasterForm(GlobalSettings& settings, analysis::GazList& gases,
                               DialogServices services, QWidget* parent)
    : QDialog(parent), settings_(settings), gases_(gases), services_(std::move(services)) {
    setWindowTitle(" Настройка программы");
    auto* layout = new QVBoxLayout(this);

    auto* header = new QFrame(this);
    header->setFrameShape(QFrame::StyledPanel);
    header->setStyleSheet("QFrame { background: #2f4f6f; } QLabel { color: white; }");
    auto* header_layout = new QVBoxLayout(header);
    header_layout->addWidget(title_label("Настройка программы для хроматографа", header));
    lbStep = new QLabel(header);
    lbStep->setObjectName("lbStep");
    header_layout->addWidget(lbStep);
    layout->addWidget(header);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(build_model_page());
    pages_->addWidget(build_gas_page());
    pages_->addWidget(build_totalizer_page());
    pages_->addWidget(build_finish_page());
    layout->addWidget(pages_, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    layout->addWidget(line);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    btnPrev = new QPushButton("Назад <<", this);
    btnNext = new QPushButton("Далее >>", this);
    btnOk = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Отмена", this);
    connect(btnPrev, &QPushButton::clicked, this, &TOptMasterForm::btnPrevClick);
    connect(btnNext, &QPushButton::clicked, this, &TOptMasterForm::btnNextClick);
    connect(btnOk, &QPushButton::clicked, this, &TOptMasterForm::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* b : {btnPrev, btnNext, btnOk, cancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    setMinimumSize(520, 420);

    fill();
    set_page(0);
    library::ui::keep_single_line_fields(this);
}

QWidget* TOptMasterForm::build_model_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(title_label("Основные параметры программы", page));
    auto* model_row = new QHBoxLayout();
    model_row->addWidget(new QLabel("Название хроматографа", page));
    lbModel = new QLabel(page);
    lbModel->setObjectName("lbModel");
    QFont bold = lbModel->font();
    bold.setBold(true);
    lbModel->setFont(bold);
    model_row->addWidget(lbModel);
    model_row->addStretch(1);
    layout->addLayout(model_row);
    // The model is chosen by the manufacturer; the wizard only keeps it.
    cbModel = new QComboBox(page);
    cbModel->addItems({"ТД-5ЛК", "Велон"});
    cbModel->setVisible(false);

    auto* count_row = new QHBoxLayout();
    count_row->addWidget(new QLabel("Количество регистрируемых \nкомпонентов", page));
    edCount = new QLineEdit(page);
    edCount->setObjectName("edCount");
    edCount->setMaximumWidth(60);
    count_row->addWidget(edCount);
    auto* spin = new QVBoxLayout();
    spin->setSpacing(0);
    for (int step : {1, -1}) {
        auto* b = new QToolButton(page);
        b->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
        b->setFixedSize(20, 13);
        connect(b, &QToolButton::clicked, this, [this, step] {
            edCount->setText(QString::number(std::clamp(count_from_field() + step, 1, kMaxGases)));
        });
        spin->addWidget(b);
    }
    count_row->addLayout(spin);
    count_row->addStretch(1);
    layout->addLayout(count_row);
    layout->addStretch(1);
    return page;
}

QWidget* TOptMasterForm::build_gas_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(title_label("Перечень регистрируемых газов", page));
    sgGazes = new QTableWidget(0, 2, page);
    sgGazes->setObjectName("sgGazes");
    sgGazes->setHorizontalHeaderLabels({"№", "Газ"});
    sgGazes->verticalHeader()->setVisible(false);
    sgGazes->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    sgGazes->setItemDelegateForColumn(1, new GasNameDelegate(sgGazes));
    sgGazes->setEditTriggers(QAbstractItemView::AllEditTriggers);
    connect(sgGazes, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 1) {
            cut_to_first_word(item->row());
        }
    });
    layout->addWidget(sgGazes, 1);
    return page;
}

QWidget* TOptMasterForm::build_totalizer_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(title_label("Отдельный газосумматор", page));
    cbUse = new QCheckBox("Использовать газосумматор", page);
    cbShow = new QCheckBox("Выводить показания газосумматора на экран", page);
    cbUse->setObjectName("cbUse");
    cbShow->setObjectName("cbShow");
    connect(cbUse, &QCheckBox::toggled, cbShow, &QWidget::setEnabled);
    layout->addWidget(cbUse);
    layout->addWidget(cbShow);
    layout->addStretch(1);
    return page;
}

QWidget* TOptMasterForm::build_finish_page() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* text = new QLabel(
        "Настройка программы завершена.\n \nВы можете нажать кнопку \"Назад\", чтобы исправить "
        "сделанные настройки. \n \nЧтобы выйти из настройки, без сохранения сделанных "
        "изменений, нажмите копку \"Отмена\"\n \nЧтобы сохранить сделанные настройки, нажмите "
        "кнопку \"ОК\"",
        page);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch(1);
    return page;
}

void TOptMasterForm::fill() {
    lbModel->setText(model_name(settings_.device_type));
    cbModel->setCurrentIndex(settings_.device_type == kModelTd5 ||
                                     settings_.device_type == kModelVelon
                                 ? settings_.device_type
                                 : -1);
    edCount->setText(QString::number(gases_.count()));
    const QSignalBlocker block(sgGazes);
    sgGazes->setRowCount(gases_.count());
    for (int i = 0; i < gases_.count(); ++i) {
        sgGazes->setItem(i, 1, new QTableWidgetItem(q(gases_.gas(i).name)));
    }
    cbUse->setChecked(settings_.totalizer_use.load());
    cbShow->setChecked(settings_.totalizer_show);
    cbShow->setEnabled(cbUse->isChecked());
}

int TOptMasterForm::count_from_field() const {
    // Text gives the usual six; the gases are one to fifteen, so an empty list never results.
    const auto n = library::ui::int_of(edCount->text());
    return n ? std::clamp(*n, 1, kMaxGases) : kCountWhenNotANumber;
}

void TOptMasterForm::show_gas_page() {
    const QSignalBlocker block(sgGazes);
    sgGazes->setRowCount(count_from_field());
    for (int row = 0; row < sgGazes->rowCount(); ++row) {
        auto* number = new QTableWidgetItem(QString::number(row + 1));
        number->setFlags(Qt::ItemIsEnabled);
        sgGazes->setItem(row, 0, number);
        if (sgGazes->item(row, 1) == nullptr) {
            sgGazes->setItem(row, 1, new QTableWidgetItem());
        }
    }
}

void TOptMasterForm::cut_to_first_word(int row) {
    QTableWidgetItem* item = sgGazes->item(row, 1);
    const QString text = item->text().trimmed();
    const QString first = text.section(' ', 0, 0);
    if (first != item->text()) {
        const QSignalBlocker block(sgGazes);
        item->setText(first);
    }
}

void TOptMasterForm::set_page(int index) {
    index = std::clamp(index, 0, kPageCount - 1);
    if (index == 1) {
        show_gas_page();
    }
    pages_->setCurrentIndex(index);
    lbStep->setText("Шаг " + QString::number(index + 1) + " из " + QString::number(kPageCount));
    btnPrev->setEnabled(index > 0);
    btnNext->setEnabled(index < kPageCount - 1);
    btnOk->setEnabled(index == kPageCount - 1);
    (index == kPageCount - 1 ? btnOk : btnNext)->setDefault(true);
}

int TOptMasterForm::page() const {
    return pages_->currentIndex();
}

QString TOptMasterForm::step_text() const {
    return lbStep->text();
}

void TOptMasterForm::btnNextClick() {
    // The gas list is made from the count: a count it cannot be made from stops here.
    if (page() == 0) {
        if (const QString refusal = number_fields().first_refusal(); !refusal.isEmpty()) {
            error(refusal);
            return;
        }
    }
    set_page(page() + 1);
}

library::ui::NumberFields TOptMasterForm::number_fields() const {
    library::ui::NumberFields fields;
    fields.add_line(edCount, "Количество регистрируемых компонентов", {1, kMaxGases});
    return fields;
}

void TOptMasterForm::btnPrevClick() {
    set_page(page() - 1);
}

void TOptMasterForm::error(const QString& text) {
    if (services_.op != nullptr) {
        services_.op->show_message(text.toStdString(), " Ошибка!", library::MessageIcon::stop);
    }
}

void TOptMasterForm::accept() {
    // Enter on an earlier page must not skip the steps.
    if (page() != kPageCount - 1) {
        btnNextClick();
        return;
    }
    std::vector<std::string> names;
    for (int row = 0; row < sgGazes->rowCount(); ++row) {
        const QTableWidgetItem* item = sgGazes->item(row, 1);
        const QString name = item != nullptr ? item->text().trimmed() : QString();
        if (name.isEmpty()) {
            set_page(1);
            sgGazes->selectRow(row);
            sgGazes->setCurrentCell(row, 1);
            error("Обнаружена пустая строка в перечне регистрируемых газов");
            return;
        }
        names.push_back(name.toStdString());
    }
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    QString lines;
    int reported = 0;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        if (sorted[i] == sorted[i - 1]) {
            lines += QString::number(++reported) + ". " + q(sorted[i]) + "\n";
        }
    }
    if (reported > 0) {
        set_page(1);
        error("Программа обнаружила повторяющиеся значения газов:\n" + lines);
        return;
    }

    if (cbModel->currentIndex() >= 0) {
        settings_.device_type = cbModel->currentIndex();
    }
    gases_.resize(static_cast<int>(names.size()));
    for (int i = 0; i < gases_.count(); ++i) {
        const std::string code = analysis::known_gas_code(names[static_cast<std::size_t>(i)]);
        if (!code.empty()) {
            gases_.gas(i).name = names[static_cast<std::size_t>(i)];
            gases_.gas(i).code = code;
        }
    }
    gases_.changed();
    settings_.totalizer_use = cbUse->isChecked();
    settings_.totalizer_show = cbShow->isChecked();
    QDialog::accept();
}

}  // namespace vetra::settings::ui
