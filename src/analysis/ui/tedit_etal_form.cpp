#include "analysis/ui/tedit_etal_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/etalon_program.h"
#include "analysis/gaz_list.h"
#include "library/number_text.h"
#include "settings/ini_file.h"

namespace vetra::analysis::ui {
namespace {

constexpr const char* kSection = "калибровка";
constexpr const char* kKey = "проценты";

QComboBox* list_box(const std::vector<std::string>& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    for (const auto& item : items) {
        box->addItem(QString::fromStdString(item));
    }
    return box;
}

QString number_text(double v) {
    return QString::fromStdString(library::float_to_text(v));
}

}  // namespace

TEditEtalForm::TEditEtalForm(const GazList& gases, std::string settings_path,
                             const EtalonPoint* existing, std::function<void()> help,
                             QWidget* parent)
    : QDialog(parent),
      gas_count_(gases.count()),
      settings_path_(std::move(settings_path)),
      new_point_(existing == nullptr),
      grid_(new QTableWidget(gases.count(), 2, this)),
      dilution_(new QCheckBox(QStringLiteral("Разбавление"), this)),
      numerator_(list_box(dilution_numerators(), this)),
      denominator_(list_box(dilution_denominators(), this)),
      repeats_(new QComboBox(this)) {
    setObjectName(QStringLiteral("TEditEtalForm"));
    setWindowTitle(new_point_ ? QStringLiteral("  Добавить") : QStringLiteral("  Редактирование"));
    setModal(true);
    if (existing) {
        point_ = *existing;
    }

    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int g = 0; g < gas_count_; ++g) {
        auto* name = new QTableWidgetItem(QString::fromStdString(gases.gas(g).name) + ", %");
        name->setFlags(Qt::ItemIsEnabled);
        grid_->setItem(g, 0, name);
        grid_->setItem(g, 1, new QTableWidgetItem);
    }
    repeats_->setEditable(true);
    for (int r = 1; r <= 10; ++r) {
        repeats_->addItem(QString::number(r));
    }
    repeats_->setCurrentIndex(2);
    numerator_->setCurrentIndex(0);
    denominator_->setCurrentIndex(0);

    if (new_point_) {
        settings::IniFile file;
        (void)file.open(settings_path_);
        const auto values = parse_percents(file.read_string(kSection, kKey, ""), gas_count_);
        for (int g = 0; g < gas_count_; ++g) {
            if (const auto v = values[static_cast<std::size_t>(g)]) {
                grid_->item(g, 1)->setText(number_text(*v));
            }
        }
        dilution_->setChecked(true);
    } else {
        const auto ab = parse_dilution(point_.dilution);
        dilution_->setEnabled(ab.has_value());
        dilution_->setChecked(ab.has_value());
        const double back = ab ? static_cast<double>(ab->second) / ab->first : 1.0;
        if (ab) {
            numerator_->setCurrentText(QString::number(ab->first));
            denominator_->setCurrentText(QString::number(ab->second));
        }
        for (int g = 0; g < gas_count_ && g < static_cast<int>(point_.pairs.size()); ++g) {
            grid_->item(g, 1)->setText(
                number_text(point_.pairs[static_cast<std::size_t>(g)].first * back));
        }
        repeats_->setCurrentText(QString::number(point_.repeats));
    }
    const auto enable_lists = [this] {
        numerator_->setEnabled(dilution_->isChecked());
        denominator_->setEnabled(dilution_->isChecked());
    };
    connect(dilution_, &QCheckBox::toggled, this, enable_lists);
    enable_lists();

    auto* dilution_row = new QHBoxLayout;
    dilution_row->addWidget(dilution_);
    dilution_row->addWidget(numerator_);
    dilution_row->addWidget(new QLabel(QStringLiteral("к"), this));
    dilution_row->addWidget(denominator_);
    auto* repeat_row = new QHBoxLayout;
    repeat_row->addWidget(new QLabel(QStringLiteral("Кол-во повторов:"), this));
    repeat_row->addWidget(repeats_);
    repeat_row->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    QPushButton* help_button =
        buttons->addButton(QStringLiteral("Справка"), QDialogButtonBox::HelpRole);
    help_button->setEnabled(static_cast<bool>(help));
    connect(help_button, &QPushButton::clicked, this, [help] {
        if (help) {
            help();
        }
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &TEditEtalForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(dilution_row);
    layout->addLayout(repeat_row);
    layout->addWidget(buttons);
    resize(340, 120 + 30 * gas_count_);
}

double TEditEtalForm::absolute(int gas) const {
    const QTableWidgetItem* item = grid_->item(gas, 1);
    const auto v = item ? library::parse_number(item->text().toStdString()) : std::nullopt;
    return v.value_or(0.0);
}

library::ui::NumberFields TEditEtalForm::number_fields() const {
    library::ui::NumberFields fields;
    for (int g = 0; g < gas_count_; ++g) {
        // An empty cell is a gas the mixture does not hold: 0 %.
        fields.add_cell(grid_, g, 1, grid_->item(g, 0)->text(), {0, 100, 6}).may_be_empty = true;
    }
    if (dilution_->isChecked()) {
        fields.add_combo(numerator_, "Разбавление (числитель)", {1, 1000000});
        fields.add_combo(denominator_, "Разбавление (знаменатель)", {1, 1000000});
    }
    fields.add_combo(repeats_, "Кол-во повторов", {1, 100});
    return fields;
}

void TEditEtalForm::accept() {
    if (const QString refusal = number_fields().first_refusal(); !refusal.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Ошибка ввода параметра"), refusal);
        return;
    }
    double factor = 1.0;
    if (dilution_->isChecked()) {
        const std::string a = numerator_->currentText().toStdString();
        const std::string b = denominator_->currentText().toStdString();
        point_.dilution = dilution_text(a, b);
        factor = dilution_factor(a, b);
    }
    const auto repeats = library::parse_int(repeats_->currentText().toStdString());
    point_.repeats = repeats.value_or(3);
    point_.pairs.resize(static_cast<std::size_t>(gas_count_), {0.0, 0.0});
    std::vector<double> absolutes;
    for (int g = 0; g < gas_count_; ++g) {
        absolutes.push_back(absolute(g));
        point_.pairs[static_cast<std::size_t>(g)].first = absolutes.back() * factor;
    }
    if (new_point_) {
        settings::IniFile file;
        (void)file.open(settings_path_);
        file.write_string(kSection, kKey, "\"" + percents_text(absolutes) + "\"");
        (void)file.save();
    }
    QDialog::accept();
}

}  // namespace vetra::analysis::ui
