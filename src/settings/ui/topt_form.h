#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "library/ui/number_fields.h"
#include "settings/ui/dialog_services.h"

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace vetra::analysis {
struct GazOption;
}
namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::widgets::ui {
class ColourSelector;
}

namespace vetra::settings::ui {

class TotalizerControl;
class LagPage;
class WitsPage;

// The work settings: work mode, timing program, gas list, display, gas totalizer and ports,
// and a manufacturer page reached by double clicks on two unmarked areas. Nothing but the
// model choice, the threshold dialog and the zero-shift measurement changes before OK.
class TOptForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kZeroShiftTicks = 30;
    static constexpr int kZeroShiftTickMs = 200;

    TOptForm(GlobalSettings& settings, control::VetraSystem& system, TotalizerControl& totalizer,
             DialogServices services, QWidget* parent = nullptr);
    ~TOptForm() override;

    bool execute() { return exec() == QDialog::Accepted; }
    // Applies every control, clamps and saves the settings.
    void accept() override;
    void done(int result) override;

    // Model 1: checks one row of the timing grid against the others and corrects it with a
    // message; true when the row was corrected.
    bool check_timing_row(int row);
    void show_manufacturer_page();
    void show_model_selector();
    // Sets "device_type" at once, with the model's timing defaults.
    void select_model(int model);
    void start_zero_shift();
    void zero_shift_tick();
    void porog_click();
    void gas_colour_click(int row);
    void use_toggled(bool on);

    QTabWidget* pages() const { return PageControl1; }
    QTableWidget* timing_grid() const { return sgTimes; }
    QTableWidget* gas_grid() const { return sgGazes; }
    QPushButton* zero_button() const { return btnZero; }
    // Every number field as the dialog now shows it (the rows follow the model and gases).
    library::ui::NumberFields number_fields() const;

private:
    QWidget* build_mode_page();
    QWidget* build_gas_page();
    QWidget* build_screen_page();
    QWidget* build_totalizer_page();
    QWidget* build_misc_page();
    QWidget* build_maker_page();
    QWidget* build_buttons();

    void fill();
    void fill_timing_grid();
    void fill_gas_grid();
    void show_model_parts();
    void update_preview();
    void apply_timing();
    // The gases of the named grid rows, and the row each came from.
    std::vector<analysis::GazOption> edited_gases(std::vector<int>* rows) const;
    bool gas_windows_refused();
    void apply_gases();
    void apply_totalizer();
    void finish_zero_shift();
    std::optional<int> timing_value(int row) const;
    void set_timing_value(int row, int value);
    void timing_message(const QString& text);

    GlobalSettings& settings_;
    control::VetraSystem& system_;
    TotalizerControl& totalizer_;
    DialogServices services_;
    bool checking_ = false;
    bool use_toggled_ = false;
    int zero_counter_ = 0;
    QString shown_font_;
    QTimer* zero_timer_ = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* maker_page_ = nullptr;
    WitsPage* wits_page_ = nullptr;
    LagPage* lag_page_ = nullptr;
    // "Режим"
    QRadioButton* rbMode[5] = {};
    QComboBox* cbPeriod = nullptr;
    QComboBox* cbDepthCount = nullptr;
    QCheckBox* chkSaveAll = nullptr;
    QCheckBox* chkScience = nullptr;
    QTableWidget* sgTimes = nullptr;
    // "Газ"
    QTableWidget* sgGazes = nullptr;
    QLineEdit* edMinGaz = nullptr;
    QCheckBox* chkCorrection = nullptr;
    // "Экран"
    widgets::ui::ColourSelector* csBackground = nullptr;
    widgets::ui::ColourSelector* csCurve = nullptr;
    QSpinBox* seWidth = nullptr;
    QComboBox* cbHorGrid = nullptr;
    QComboBox* cbVertGrid = nullptr;
    QLineEdit* edScreen = nullptr;
    QFontComboBox* cbFont = nullptr;
    QSpinBox* seFontSize = nullptr;
    QSpinBox* seTableFontSize = nullptr;
    QLabel* lbPreview = nullptr;
    // "Газосумматор"
    QCheckBox* chkUse = nullptr;
    QComboBox* cbSummPort = nullptr;
    QLabel* lbSummPort = nullptr;
    QComboBox* cbPrec = nullptr;
    QCheckBox* chkShow = nullptr;
    QCheckBox* chkShowWin = nullptr;
    QGroupBox* gbTotalizer = nullptr;
    QLineEdit* edCoeff = nullptr;
    QLineEdit* edNull = nullptr;
    QLineEdit* edNull10 = nullptr;
    QLineEdit* edMax1 = nullptr;
    QLineEdit* edMax10 = nullptr;
    QLineEdit* edPorog = nullptr;
    QWidget* velon_rows_[4] = {};  // channel-2 zero, both ranges, switch threshold
    QWidget* coeff_row_ = nullptr;
    QPushButton* btnZero = nullptr;
    // "Разное"
    QComboBox* cbPort = nullptr;
    QLabel* lbModel = nullptr;
    QCheckBox* chkRemote = nullptr;
    // "Настройки производителя"
    QComboBox* cbAdcMode = nullptr;
    QCheckBox* chkShowAdc = nullptr;
    QComboBox* cbZeroSeconds = nullptr;
    QGroupBox* gbVelon = nullptr;
    QComboBox* cbDose = nullptr;
    QGroupBox* gbModel = nullptr;
    QComboBox* cbModelSelect = nullptr;
};

}  // namespace vetra::settings::ui
