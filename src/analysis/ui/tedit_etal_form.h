#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "analysis/etalon_storage.h"
#include "library/ui/number_fields.h"

class QCheckBox;
class QComboBox;
class QTableWidget;

namespace vetra::analysis {
class GazList;
}

namespace vetra::analysis::ui {

// The point editor: the mixture's absolute concentrations, the dilution a / b and the
// number of repeats of one calibration point. Modal.
class TEditEtalForm : public QDialog {
    Q_OBJECT
public:
    // `existing` null: a new point, its concentrations taken from the settings file.
    TEditEtalForm(const GazList& gases, std::string settings_path, const EtalonPoint* existing,
                  std::function<void()> help, QWidget* parent = nullptr);

    QTableWidget* grid() const { return grid_; }
    QCheckBox* dilution_box() const { return dilution_; }
    QComboBox* numerator() const { return numerator_; }
    QComboBox* denominator() const { return denominator_; }
    QComboBox* repeats() const { return repeats_; }
    library::ui::NumberFields number_fields() const;

    // The point as "OK" makes it; valid after accept().
    const EtalonPoint& point() const { return point_; }

    void accept() override;

private:
    double absolute(int gas) const;

    int gas_count_;
    std::string settings_path_;
    bool new_point_;
    EtalonPoint point_;
    QTableWidget* grid_;
    QCheckBox* dilution_;
    QComboBox* numerator_;
    QComboBox* denominator_;
    QComboBox* repeats_;
};

}  // namespace vetra::analysis::ui
