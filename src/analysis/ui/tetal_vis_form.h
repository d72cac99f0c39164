#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"

class QLabel;
class QTabBar;
class QTableWidget;

namespace vetra::analysis {
class GazList;
}

namespace vetra::analysis::ui {

class EtalCurvePlot;

// The curve view: per gas, the points' area against concentration on log-log axes, with a
// grid of the coefficients. Works on a copy of the points; "Применить" accepts it.
class TEtalVisForm : public QDialog {
    Q_OBJECT
public:
    TEtalVisForm(const GazList& gases, std::vector<EtalonPoint> points, double degassing,
                 std::string settings_path, QWidget* parent = nullptr);
    ~TEtalVisForm() override;

    const std::vector<EtalonPoint>& points() const { return points_; }
    QTabBar* tabs() const { return tabs_; }
    QTableWidget* grid() const { return grid_; }
    EtalCurvePlot* plot() const { return plot_; }
    QLabel* gas_label() const { return gas_label_; }

private:
    void show_gas(int gas);
    void fill_grid();

    const GazList& gases_;
    std::vector<EtalonPoint> points_;
    double degassing_;
    std::string settings_path_;
    int gas_ = 0;
    QTabBar* tabs_;
    QLabel* gas_label_;
    QTableWidget* grid_;
    EtalCurvePlot* plot_;
};

}  // namespace vetra::analysis::ui
