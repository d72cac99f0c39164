#include "analysis/ui/tetal_vis_form.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/etalon_program.h"
#include "analysis/gaz_list.h"
#include "analysis/ui/etal_curve_plot.h"
#include "library/ui/screen_fit.h"
#include "settings/ini_file.h"
#include "settings/placement.h"

namespace vetra::analysis::ui {
namespace {

constexpr const char* kPlacementSection = "TEtalVisForm";

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TEtalVisForm::TEtalVisForm(const GazList& gases, std::vector<EtalonPoint> points, double degassing,
                           std::string settings_path, QWidget* parent)
    : QDialog(parent),
      gases_(gases),
      points_(std::move(points)),
      degassing_(degassing),
      settings_path_(std::move(settings_path)),
      tabs_(new QTabBar(this)),
      gas_label_(new QLabel(this)),
      grid_(new QTableWidget(4, 0, this)),
      plot_(new EtalCurvePlot(this)) {
    setObjectName(QStringLiteral("TEtalVisForm"));
    setWindowTitle(QStringLiteral("  Просмотр коэффицентов калибровки"));
    setModal(true);
    for (int g = 0; g < gases_.count(); ++g) {
        tabs_->addTab(q(gases_.gas(g).code));
    }
    grid_->setVerticalHeaderLabels({QStringLiteral(" № "), QStringLiteral(" Конц.,% "),
                                    QStringLiteral(" Площ. "), QStringLiteral(" Коэф. ")});
    grid_->horizontalHeader()->hide();
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setFixedHeight(grid_->verticalHeader()->defaultSectionSize() * 4 + 24);

    auto* apply = new QPushButton(QStringLiteral("Применить"), this);
    auto* cancel = new QPushButton(QStringLiteral("Отменить"), this);
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int g) { show_gas(g); });
    connect(plot_, &EtalCurvePlot::value_changed, this, [this](int index, double value) {
        auto& pairs = points_[static_cast<std::size_t>(index)].pairs;
        if (gas_ < static_cast<int>(pairs.size())) {
            pairs[static_cast<std::size_t>(gas_)].second = value * degassing_;
        }
    });
    connect(plot_, &EtalCurvePlot::drag_finished, this, [this] { fill_grid(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(new QLabel(QStringLiteral("Зависимость площади от концентрации:"), this));
    layout->addWidget(gas_label_);
    layout->addWidget(plot_, 1);
    layout->addWidget(new QLabel(QStringLiteral("Коэффициенты калибровки:"), this));
    layout->addWidget(grid_);
    layout->addLayout(buttons);

    // Where the operator last put it, else centred on the calibration window; a size kept
    // on a larger screen or at a smaller font is no larger than this screen.
    settings::IniFile file;
    (void)file.open(settings_path_);
    const auto placed = settings::load_placement(file, kPlacementSection, {});
    setGeometry(library::ui::opening_place(
        this, {640, 560}, QRect(placed.left, placed.top, placed.width, placed.height)));
    show_gas(0);
}

TEtalVisForm::~TEtalVisForm() {
    settings::IniFile file;
    (void)file.open(settings_path_);
    const QRect r = geometry();
    settings::save_placement(file, kPlacementSection,
                             {r.top(), r.left(), r.width(), r.height(), 0});
    (void)file.save();
}

void TEtalVisForm::show_gas(int gas) {
    if (gas < 0 || gas >= gases_.count()) {
        return;
    }
    gas_ = gas;
    gas_label_->setText(QStringLiteral("Газ - \"") + q(gases_.gas(gas).name) + "\"");
    std::vector<std::pair<double, double>> values;
    for (const auto& p : points_) {
        const auto [c, a] = static_cast<std::size_t>(gas) < p.pairs.size()
                                ? p.pairs[static_cast<std::size_t>(gas)]
                                : std::pair<double, double>{0, 0};
        values.emplace_back(c, a / degassing_);
    }
    plot_->set_points(std::move(values));
    fill_grid();
}

void TEtalVisForm::fill_grid() {
    const auto& values = plot_->points();
    grid_->setColumnCount(static_cast<int>(values.size()));
    for (int i = 0; i < static_cast<int>(values.size()); ++i) {
        const auto [c, v] = values[static_cast<std::size_t>(i)];
        const QString texts[4] = {
            QString::number(i + 1), q(library::fixed_to_text(c, 6)),
            q(library::fixed_to_text(v, 2)),
            v == 0 || c == 0 ? QStringLiteral("-------") : q(library::fixed_to_text(v / c, 1))};
        for (int row = 0; row < 4; ++row) {
            grid_->setItem(row, i, new QTableWidgetItem(texts[row]));
        }
    }
}

}  // namespace vetra::analysis::ui
