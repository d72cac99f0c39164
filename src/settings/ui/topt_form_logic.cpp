// Filling, checking and applying the work settings dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>

#include "analysis/gaz_list.h"
#include "control/vetra_system.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "library/ui/qt_text.h"
#include "settings/global_settings.h"
#include "settings/lag_settings.h"
#include "settings/ui/lag_page.h"
#include "settings/ui/topt_form.h"
#include "settings/ui/topt_master_form.h"
#include "settings/ui/totalizer_control.h"
#include "settings/ui/tporog_form.h"
#include "settings/ui/wits_page.h"
#include "widgets/ui/colour_select_form.h"

namespace vetra::settings::ui {
namespace {

using library::ui::fixed_text;
using library::ui::float_of;
using library::ui::int_of;
using library::ui::q;

const char* const kTd5Rows[] = {" Включение дозы ",      " Включение нагрева 1 ",
                                " Включение анализа ",   " Включение нагрева 2 ",
                                " Включение нагрева 3 ", " Включение вентилятора ",
                                " Длительность цикла "};
const char* const kVelonRows[] = {" Время начала нагрева ", " Время окончания нагрева ",
                                  " Интенсивность нагрева ", " Длительность цикла "};
// Model 1 rows.
enum { kHeatStart = 0, kHeatEnd = 1, kIntensity = 2, kCycle = 3 };

void set_text_item(QTableWidget* grid, int row, int column, const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    if (!editable) {
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    grid->setItem(row, column, item);
}

// The colour cell is only its swatch; the number it stands for is kept out of sight.
void set_colour_cell(QTableWidgetItem* cell, std::int32_t colour) {
    cell->setData(Qt::UserRole, colour);
    cell->setBackground(widgets::ui::colour_of(colour));
}

// The box's number, or `old` when its text is not one.
int int_or(const QComboBox* box, int old) {
    return int_of(box->currentText()).value_or(old);
}

void select_text(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    if (index >= 0) {
        box->setCurrentIndex(index);
    } else {
        box->setEditText(text);
    }
}

}  // namespace

TOptForm::~TOptForm() {
    finish_zero_shift();
}

// --- filling ------------------------------------------------------------------------------

void TOptForm::fill() {
    const bool totalizer_mode = settings_.totalizer_use.load() || settings_.porog_from_station;
    rbMode[4]->setEnabled(totalizer_mode);
    const int mode = std::clamp(system_.work_mode(), 0, 4);
    rbMode[mode]->setChecked(true);
    {
        const QSignalBlocker block(cbPeriod);
        // What OK would store: a period of 0 or less becomes 120 there.
        const std::int32_t period = system_.time_mode_period();
        cbPeriod->setEditText(QString::number(period > 0 ? period : 120));
    }
    cbDepthCount->setCurrentIndex(system_.max_depth_counter() <= 10 ? system_.max_depth_counter()
                                                                    : -1);
    chkSaveAll->setChecked(system_.save_all_values());
    chkScience->setChecked(system_.save_science_values());
    fill_timing_grid();

    fill_gas_grid();
    edMinGaz->setText(fixed_text(settings_.min_gaz_value, 6));
    chkCorrection->setChecked(settings_.window_correction);

    csBackground->SetValue(settings_.background_colour);
    csCurve->SetValue(settings_.curve_colour);
    seWidth->setValue(settings_.curve_width);
    select_text(cbHorGrid, QString::number(settings_.horizontal_grid));
    select_text(cbVertGrid, QString::number(settings_.vertical_grid));
    edScreen->setText(QString::number(settings_.screen_seconds));
    cbFont->setCurrentFont(QFont(q(settings_.font_name)));
    shown_font_ = cbFont->currentFont().family();
    seFontSize->setValue(settings_.font_size);
    seTableFontSize->setValue(settings_.table_font_size);

    {
        const QSignalBlocker block(chkUse);
        chkUse->setChecked(settings_.totalizer_use.load());
    }
    gbTotalizer->setVisible(chkUse->isChecked());
    select_text(cbSummPort, q(settings_.totalizer_port_name));
    // What OK would store: a precision edited into the file beyond 10 is 10 there.
    select_text(cbPrec, QString::number(std::clamp(settings_.gaz_summ_prec, 0, 10)));
    chkShow->setChecked(settings_.totalizer_show);
    chkShowWin->setChecked(settings_.totalizer_show_win);
    edCoeff->setText(fixed_text(settings_.totalizer_coeff, 3));
    edNull->setText(fixed_text(settings_.totalizer_null.load(), 3));
    edNull10->setText(fixed_text(settings_.totalizer_null10.load(), 3));
    edMax1->setText(fixed_text(settings_.summ_max1, 3));
    edMax10->setText(fixed_text(settings_.summ_max10, 3));
    edPorog->setText(fixed_text(settings_.totalizer_porog, 3));

    select_text(cbPort, q(settings_.port_name));
    chkRemote->setChecked(settings_.remote_control);

    normalize_adc_value_mode(settings_);
    cbAdcMode->setCurrentIndex(settings_.adc_value_mode);
    chkShowAdc->setChecked(settings_.show_adc);
    select_text(cbZeroSeconds, QString::number(settings_.zero_seconds));
    select_text(cbDose, QString::number(settings_.times[0]));
    show_model_parts();
    update_preview();
}

void TOptForm::show_model_parts() {
    const bool velon = settings_.device_type == kModelVelon;
    for (QWidget* row : velon_rows_) {
        row->setVisible(velon);
    }
    // Hidden rather than only out of sight, so the zero-shift copy can tell.
    edNull10->setHidden(!velon);
    btnZero->setVisible(velon);
    coeff_row_->setVisible(!velon);
    lbSummPort->setVisible(!velon);
    cbSummPort->setVisible(!velon);
    lbModel->setText(model_name(settings_.device_type));
    if (PageControl1->isTabVisible(5)) {
        gbVelon->setVisible(velon);
    }
    cbModelSelect->setCurrentIndex(velon ? 1 : settings_.device_type == kModelTd5 ? 0 : -1);
}

void TOptForm::fill_timing_grid() {
    const QSignalBlocker block(sgTimes);
    const bool velon = settings_.device_type == kModelVelon;
    const int rows = velon ? 4 : 7;
    sgTimes->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        // Model 1 keeps the dose length in a list of its own; its grid starts at "время2".
        int value = settings_.times[static_cast<std::size_t>(velon ? row + 1 : row)];
        if (velon && row == kIntensity) {
            value = heating_intensity_for_display(value);
        }
        set_text_item(sgTimes, row, 0, velon ? kVelonRows[row] : kTd5Rows[row], false);
        set_text_item(sgTimes, row, 1, QString::number(value), true);
    }
    sgTimes->resizeColumnToContents(0);
}

void TOptForm::fill_gas_grid() {
    const analysis::GazList& gases = system_.gases();
    sgGazes->setRowCount(gases.count());
    for (int i = 0; i < gases.count(); ++i) {
        const analysis::GazOption& gas = gases.gas(i);
        set_text_item(sgGazes, i, 0, q(gas.name), false);
        set_text_item(sgGazes, i, 1, q(gas.code), true);
        set_text_item(sgGazes, i, 2, fixed_text(gas.start, 1), true);
        set_text_item(sgGazes, i, 3, fixed_text(gas.end, 1), true);
        set_text_item(sgGazes, i, 4, QString(), false);
        set_colour_cell(sgGazes->item(i, 4), gas.colour);
    }
}

void TOptForm::update_preview() {
    QFont font = cbFont->currentFont();
    font.setPointSize(seFontSize->value());
    lbPreview->setFont(font);
    lbPreview->setText("Шрифт");
}

// --- the timing grid ----------------------------------------------------------------------

std::optional<int> TOptForm::timing_value(int row) const {
    const QTableWidgetItem* item = sgTimes->item(row, 1);
    return item != nullptr ? int_of(item->text()) : std::nullopt;
}

void TOptForm::set_timing_value(int row, int value) {
    sgTimes->item(row, 1)->setText(QString::number(value));
}

void TOptForm::timing_message(const QString& text) {
    if (services_.op != nullptr) {
        services_.op->show_message(text.toStdString(), "Ошибка ввода параметра",
                                   library::MessageIcon::warning);
    }
}

bool TOptForm::check_timing_row(int row) {
    if (settings_.device_type != kModelVelon || checking_ || row < 0 || row > kCycle) {
        return false;
    }
    const auto value = timing_value(row);
    if (!value) {
        return false;  // empty or not a number: nothing to compare yet
    }
    checking_ = true;  // the corrections below edit the grid themselves
    bool corrected = false;
    const auto fix = [&](int target, int to, const char* text) {
        timing_message(text);
        set_timing_value(target, to);
        corrected = true;
    };
    // The other cell of a comparison must hold a number; say which one does not.
    const auto other = [&](int other_row) -> std::optional<int> {
        const auto v = timing_value(other_row);
        if (!v) {
            timing_message("В строке \"" + QString(kVelonRows[other_row]).trimmed() +
                           "\" должно быть целое число. Проверка не выполнена.");
        }
        return v;
    };
    if (row == kIntensity) {
        if (*value >= 64) {
            fix(row, 63,
                "Значение параметра должно быть в интервале 1..63. Значение будет "
                "автоматически исправлено.");
        } else if (*value <= 0) {
            fix(row, 1,
                "Значение параметра должно быть в интервале 1..63. Значение будет "
                "автоматически исправлено.");
        }
    } else if (row == kCycle) {
        if (const auto end = other(kHeatEnd); end && *end >= *value) {
            fix(row, 120,
                "Длительность цикла должна быть больше времени окончания нагрева! Значение "
                "будет автоматически исправлено.");
        }
    } else if (row == kHeatEnd) {
        if (const auto cycle = other(kCycle); cycle && *value >= *cycle) {
            fix(row, 60,
                "Время окончания нагрева должно быть меньше длительности цикла! Значение "
                "будет автоматически исправлено.");
        }
        const auto end = timing_value(kHeatEnd);
        if (const auto start = other(kHeatStart); start && end && *start >= *end) {
            fix(row, 60,
                "Время окончания нагрева должно быть больше времени начала нагрева! Значение "
                "будет автоматически исправлено.");
        }
    } else if (row == kHeatStart) {
        if (const auto end = other(kHeatEnd); end && *value >= *end) {
            fix(row, 18,
                "Время начала нагрева должно быть меньше времени окончания нагрева! Значение "
                "будет автоматически исправлено.");
        }
    }
    checking_ = false;
    return corrected;
}

void TOptForm::select_model(int model) {
    // The third entry only says what a change needs.
    if (model != kModelTd5 && model != kModelVelon) {
        show_model_parts();
        return;
    }
    settings_.device_type = model;
    settings_.apply_model_defaults();
    fill_timing_grid();
    select_text(cbDose, QString::number(settings_.times[0]));
    show_model_parts();
}

// --- totalizer ----------------------------------------------------------------------------

void TOptForm::use_toggled(bool on) {
    rbMode[4]->setEnabled(on || settings_.porog_from_station);
    gbTotalizer->setVisible(on);
    use_toggled_ = true;  // "present" starts afresh, on OK
}

void TOptForm::start_zero_shift() {
    if (zero_timer_->isActive()) {
        return;
    }
    btnZero->setEnabled(false);
    totalizer_.begin_zero_shift();
    zero_counter_ = 0;
    zero_timer_->start();
}

void TOptForm::zero_shift_tick() {
    if (zero_counter_ < kZeroShiftTicks) {
        btnZero->setText(QString(zero_counter_ + 1, '.'));
        ++zero_counter_;
    }
    if (zero_counter_ >= kZeroShiftTicks) {
        finish_zero_shift();
    }
}

void TOptForm::finish_zero_shift() {
    if (!zero_timer_->isActive()) {
        return;
    }
    zero_timer_->stop();
    totalizer_.end_zero_shift();
    btnZero->setEnabled(true);
    const auto [null1, null2] = totalizer_.zero_shift();
    edNull->setText(fixed_text(null1, 3));
    if (!edNull10->isHidden()) {
        edNull10->setText(fixed_text(null2, 3));
    } else {
        settings_.totalizer_null10 = null1;
        edNull10->setText(edNull->text());
    }
    btnZero->setText("Автоматическая установка сдвига нуля");
}

void TOptForm::porog_click() {
    TPorogForm form(settings_, services_, this);
    if (!chkUse->isChecked()) {
        settings_.porog_from_station = true;
        form.set_internal_enabled(false);
    } else {
        form.set_internal_enabled(true);
    }
    (void)form.execute();
    rbMode[4]->setEnabled(chkUse->isChecked() || settings_.porog_from_station);
}

void TOptForm::gas_colour_click(int row) {
    QTableWidgetItem* name = sgGazes->item(row, 0);
    QTableWidgetItem* cell = sgGazes->item(row, 4);
    if (name == nullptr || cell == nullptr || name->text().trimmed().isEmpty() ||
        !services_.choose_colour) {
        return;
    }
    std::int32_t colour = cell->data(Qt::UserRole).toInt();
    if (services_.choose_colour(this, colour)) {
        set_colour_cell(cell, colour);
    }
}

// --- checking and applying ----------------------------------------------------------------

library::ui::NumberFields TOptForm::number_fields() const {
    using library::NumberRange;
    library::ui::NumberFields fields;
    // Each timing value goes to the instrument as one byte.
    const bool velon = settings_.device_type == kModelVelon;
    for (int row = 0; row < sgTimes->rowCount(); ++row) {
        const bool cycle = velon ? row == kCycle : row == 6;
        const NumberRange range = velon && row == kIntensity ? NumberRange{1, 63}
                                  : cycle                    ? NumberRange{1, 255}
                                                             : NumberRange{0, 255};
        fields.add_cell(sgTimes, row, 1, sgTimes->item(row, 0)->text().trimmed(), range);
    }
    if (velon) {
        fields.add_combo(cbDose, "Длительность забора дозы", {1, 255});
    }
    fields.add_combo(cbPeriod, "Промежуток времени, секунд", {1, 86400});
    // A gas's window lies inside the cycle, at most 255 s.
    for (int row = 0; row < sgGazes->rowCount(); ++row) {
        const QString name = sgGazes->item(row, 0)->text().trimmed();
        if (name.isEmpty()) {
            continue;  // not applied
        }
        fields.add_cell(sgGazes, row, 2, "Нач.вых.,с (" + name + ")", {0, 255, 1});
        fields.add_cell(sgGazes, row, 3, "Оконч.вых.,с (" + name + ")", {0, 255, 1});
    }
    fields.add_line(edMinGaz, "Минимальная концентрация газа", {0, 100, 6});
    fields.add_combo(cbHorGrid, "По горизонтали, сек", {2, 600});
    fields.add_combo(cbVertGrid, "По вертикали, шт", {2, 100});
    fields.add_line(edScreen, "Ширина экрана, сек", {1, 3600});
    fields.add_combo(cbPrec, "Точность числа", {0, 10});
    fields.add_line(edCoeff, "Коэффицент газосумматора", {0, 1e6, 3});
    fields.add_line(edNull, "Сдвиг нуля", {-1000, 1000, 3});
    fields.add_line(edNull10, "Сдвиг нуля, канал 2", {-1000, 1000, 3});
    fields.add_line(edMax1, "Диапазон канала 1", {0, 1e6, 3});
    fields.add_line(edMax10, "Диапазон канала 2", {0, 1e6, 3});
    fields.add_line(edPorog, "Порог переключения канала", {-1000, 1000, 3});
    fields.add_combo(cbZeroSeconds, "Расчёт нуля в первые, сек.", {1, 15});
    // An emptied field keeps the stored value, as it always has.
    fields.allow_empty();
    return fields;
}

// --- applying -----------------------------------------------------------------------------

void TOptForm::done(int result) {
    // A measurement still running ends with the dialog, and its result is kept.
    finish_zero_shift();
    QDialog::done(result);
}

void TOptForm::accept() {
    // Nothing is applied while a field holds what the program cannot use: its page is
    // brought into view and the message says which field and why.
    const auto refused = [this](QWidget* page, const QString& problem) {
        if (problem.isEmpty()) {
            return false;
        }
        if (page != nullptr) {
            library::ui::bring_into_view(page);
        }
        timing_message(problem);
        return true;
    };
    if ((wits_page_ != nullptr && refused(wits_page_, wits_page_->problem())) ||
        refused(nullptr, number_fields().first_refusal()) ||
        (lag_page_ != nullptr && refused(lag_page_, lag_page_->problem()))) {
        return;
    }
    if (gas_windows_refused()) {
        return;
    }
    finish_zero_shift();
    apply_timing();

    std::int32_t period = int_of(cbPeriod->currentText()).value_or(system_.time_mode_period());
    settings_.screen_seconds = int_of(edScreen->text()).value_or(settings_.screen_seconds);
    apply_gases();
    settings_.min_gaz_value = float_of(edMinGaz->text(), settings_.min_gaz_value);
    settings_.window_correction = chkCorrection->isChecked();

    settings_.background_colour = csBackground->value();
    settings_.curve_colour = csCurve->value();
    settings_.curve_width = seWidth->value();
    settings_.horizontal_grid = int_or(cbHorGrid, settings_.horizontal_grid);
    settings_.vertical_grid = int_or(cbVertGrid, settings_.vertical_grid);
    // A font this computer lacks shows as a substitute; it stays stored unless another is chosen.
    if (cbFont->currentFont().family() != shown_font_) {
        settings_.font_name = cbFont->currentFont().family().toStdString();
    }
    settings_.font_size = seFontSize->value();
    settings_.table_font_size = seTableFontSize->value();

    apply_totalizer();
    if (wits_page_ && services_.rig) {
        wits_page_->apply(*services_.rig);
    }
    if (lag_page_ && services_.lag) {
        lag_page_->apply(*services_.lag);
    }
    const QString port = cbPort->currentText().trimmed();
    if (!port.isEmpty()) {
        settings_.port_name = port.toStdString();
    }
    settings_.remote_control = chkRemote->isChecked();
    settings_.adc_value_mode = std::max(0, cbAdcMode->currentIndex());
    settings_.show_adc = chkShowAdc->isChecked();
    settings_.zero_seconds = int_or(cbZeroSeconds, settings_.zero_seconds);

    system_.set_max_depth_counter(cbDepthCount->currentIndex() >= 0 ? cbDepthCount->currentIndex()
                                                                    : system_.max_depth_counter());
    system_.set_save_all_values(chkSaveAll->isChecked());
    system_.set_save_science_values(chkScience->isChecked());
    clamp_work_settings(settings_, period);
    system_.set_time_mode_period(period);
    // After "use" and the threshold source, so a newly possible totalizer mode is kept.
    int mode = 0;
    for (int i = 1; i < 5; ++i) {
        if (rbMode[i]->isChecked()) {
            mode = i;
        }
    }
    system_.set_work_mode(mode);

    if (!settings_.save() && services_.op != nullptr) {
        services_.op->show_message(
            "Не удалось сохранить настройки в файл \"" + settings_.settings_path + "\".",
            "  ОШИБКА", library::MessageIcon::error);
    }
    QDialog::accept();
}

void TOptForm::apply_timing() {
    const bool velon = settings_.device_type == kModelVelon;
    if (velon) {
        settings_.times[0] = int_or(cbDose, settings_.times[0]);
    }
    const int first = velon ? 1 : 0;
    for (int key = first; key < 7; ++key) {
        const int row = key - first;
        auto& value = settings_.times[static_cast<std::size_t>(key)];
        if (row >= sgTimes->rowCount()) {
            value = 0;  // model 1 has no "время6" and "время7"
        } else if (const auto v = timing_value(row)) {
            value = *v;
        }
    }
    if (velon) {
        settings_.times[3] = std::clamp(settings_.times[3], 1, 63);
    }
}

std::vector<analysis::GazOption> TOptForm::edited_gases(std::vector<int>* rows) const {
    const analysis::GazList& gases = system_.gases();
    // Rows without a name are left out, so a gap never becomes a nameless gas.
    std::vector<analysis::GazOption> edited;
    for (int row = 0; row < sgGazes->rowCount(); ++row) {
        const QString name = sgGazes->item(row, 0)->text().trimmed();
        if (name.isEmpty()) {
            continue;
        }
        analysis::GazOption gas = row < gases.count() ? gases.gas(row) : analysis::GazOption{};
        gas.name = name.toStdString();
        gas.code = sgGazes->item(row, 1)->text().trimmed().toStdString();
        gas.start = static_cast<float>(
            library::ui::number_of(sgGazes->item(row, 2)->text()).value_or(gas.start));
        gas.end = static_cast<float>(
            library::ui::number_of(sgGazes->item(row, 3)->text()).value_or(gas.end));
        gas.work_start = gas.start;
        gas.work_end = gas.end;
        gas.colour = sgGazes->item(row, 4)->data(Qt::UserRole).toInt();
        edited.push_back(gas);
        if (rows != nullptr) {
            rows->push_back(row);
        }
    }
    return edited;
}

// Overlapping windows would count one gas's peak into the other and reorder the results;
// nothing is applied and every entry stays as typed, with the later gas's start selected.
bool TOptForm::gas_windows_refused() {
    std::vector<int> rows;
    const auto edited = edited_gases(&rows);
    const auto overlap = analysis::find_window_overlap(edited);
    if (!overlap) {
        return false;
    }
    PageControl1->setCurrentIndex(1);
    sgGazes->setCurrentCell(rows[static_cast<std::size_t>(overlap->second)], 2);
    if (services_.op != nullptr) {
        services_.op->show_message(
            analysis::window_overlap_message(edited[static_cast<std::size_t>(overlap->first)],
                                             edited[static_cast<std::size_t>(overlap->second)]),
            "Ошибка ввода параметра", library::MessageIcon::warning);
    }
    return true;
}

void TOptForm::apply_gases() {
    analysis::GazList& gases = system_.gases();
    const auto edited = edited_gases(nullptr);
    {
        library::ScopedLock lock(system_.data_lock());
        gases.resize(static_cast<int>(edited.size()));
        for (int i = 0; i < gases.count(); ++i) {
            gases.gas(i) = edited[static_cast<std::size_t>(i)];
        }
    }
    gases.changed();
}

void TOptForm::apply_totalizer() {
    settings_.totalizer_use = chkUse->isChecked();
    if (use_toggled_) {
        settings_.totalizer_present = 0;
    }
    const QString summ_port = cbSummPort->currentText().trimmed();
    if (settings_.device_type != kModelVelon && !summ_port.isEmpty()) {
        settings_.totalizer_port_name = summ_port.toStdString();
    }
    settings_.gaz_summ_prec = int_or(cbPrec, settings_.gaz_summ_prec);
    settings_.totalizer_show = chkShow->isChecked();
    settings_.totalizer_show_win = chkShowWin->isChecked();
    settings_.totalizer_coeff =
        static_cast<float>(float_of(edCoeff->text(), settings_.totalizer_coeff));
    settings_.totalizer_null =
        static_cast<float>(float_of(edNull->text(), settings_.totalizer_null.load()));
    settings_.totalizer_null10 =
        static_cast<float>(float_of(edNull10->text(), settings_.totalizer_null10.load()));
    settings_.summ_max1 = float_of(edMax1->text(), settings_.summ_max1);
    settings_.summ_max10 = float_of(edMax10->text(), settings_.summ_max10);
    settings_.totalizer_porog =
        static_cast<float>(float_of(edPorog->text(), settings_.totalizer_porog));
}

}  // namespace vetra::settings::ui
