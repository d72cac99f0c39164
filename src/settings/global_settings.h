#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "settings/ini_options.h"

namespace vetra::settings {

inline constexpr const char* kSettingsFileName = "хроматограф.ini";
inline constexpr const char* kEtalonFileName = "эталон.ini";

// Chromatograph models by "device_type".
enum DeviceModel : std::int32_t { kModelTd5 = 0, kModelVelon = 1 };

// The settings record of "хроматограф.ini": one instance for the process, created by the
// program and handed to every part that reads it. Fields that the acquisition thread and
// the main thread both touch during a run are atomics.
class GlobalSettings : public IniOptions {
public:
    GlobalSettings();

    // "порт"
    std::int32_t device_type = kModelTd5;
    std::string port_name = "COM1";
    std::string totalizer_port_name = "COM2";
    std::int32_t port_speed = 19200;
    std::int32_t port_parity = 0;
    std::int32_t port_stop_bits = 0;
    // "время"
    std::int32_t samples_per_second = 8;
    std::array<std::int32_t, 7> times{};  // "время1".."время7"
    std::int32_t cycle_time = 0;          // "время_цикла"
    // "режим_работы"
    std::int32_t screen_seconds = 120;
    bool first_start = true;
    // "газ"
    double min_gaz_value = 0.0001;
    // "ацп"
    bool window_correction = false;
    std::int32_t adc_bits = 14;
    std::int32_t adc_ranges = 4;
    std::int32_t range_factor = 10;
    double input_voltage = 2.5;
    // "экран"
    std::int32_t adc_value_mode = 0;
    Colour background_colour = 0xFFFFFF;
    Colour curve_colour = 0x000000;
    std::int32_t curve_width = 1;
    std::int32_t vertical_grid = 10;
    std::int32_t horizontal_grid = 5;
    std::string font_name = "TAHOMA";
    std::int32_t font_size = 8;
    std::int32_t table_font_size = 7;
    bool show_adc = false;
    // "расчёт"
    std::int32_t smoothing = 1;
    std::int32_t averaging_points = 20;
    double filter_frequency = 2.0;
    std::int32_t zero_seconds = 5;
    double current_depth = 0.0;
    bool depth_calculation = false;
    bool calc_result_from_pick = false;
    bool demo = false;
    // "основные_настройки"
    std::string well = "default";
    std::string area = "default";
    bool remote_control = true;
    // "газосумматор"
    std::atomic<bool> totalizer_use{false};
    std::atomic<std::int32_t> totalizer_present{0};
    bool totalizer_show = false;
    bool totalizer_show_win = false;
    float totalizer_coeff = 0.1f;
    std::atomic<float> totalizer_null{0.0f};
    std::atomic<float> totalizer_null10{0.0f};
    float totalizer_porog = 0.95f;
    double summ_max1 = 1.0;
    double summ_max10 = 10.0;
    std::int32_t gaz_summ_prec = 2;
    std::int32_t win_width = 0;  // set by the main window before the first load
    std::int32_t win_mashtab = 0;
    // "порог"
    bool porog_from_station = false;  // "porog_po_summe_type"
    double porog_value = 0.05;        // "porog_po_summe_value"
    std::string reg_computer_name = kLocalComputerName;

    // Without a binding.
    std::string settings_path;
    std::string etalon_path;
    std::string build_stamp;
    std::atomic<bool> zero_setting_running{false};
    std::atomic<bool> totalizer_high_range{false};

    static constexpr const char* kLocalComputerName = "localhost";

    using IniOptions::load;
    using IniOptions::save;

    // Loads "хроматограф.ini" of the program directory (which ends with a separator).
    void load_from(const std::string& program_dir);
    // Saves to the file of the last load; false when it cannot be written.
    bool save();

    // What the command line sets for this run only: demonstration mode and the
    // chromatograph's port. "demo" and "имя" above then hold the session's values, but every
    // save writes the stored ones, so no save point (nor a crash after one) carries them into
    // the file. A value the operator changes during the run is his again and is saved.
    void set_session_values(bool demo, std::optional<std::string> port);

    void apply_model_defaults();
    std::int32_t cycle_length() const;
    void set_cycle_length(std::int32_t seconds);
    std::int32_t heating_end() const;
    void set_heating_end(std::int32_t seconds);

    const std::string& gas_section() const { return gas_section_; }
    const std::string& calc_section() const { return calc_section_; }

protected:
    void register_bindings(BindingList& list) override;
    void after_save(IniFile& file) override;
    void before_save(IniFile& file) override;
    void before_load(const IniFile& file) override;
    void after_load(const IniFile& file) override;

private:
    void take_operator_changes();
    void apply_session_values();

    std::string gas_section_ = "газ";
    std::string calc_section_ = "расчёт";
    // What the file holds for the session-only keys.
    bool stored_demo_ = false;
    std::string stored_port_name_ = "COM1";
    std::optional<bool> session_demo_;
    std::optional<std::string> session_port_;
};

// The start-up sequence: the main window's chart defaults, load, model defaults, load again,
// so stored timing values replace the model defaults and only missing keys keep them.
void load_settings_at_startup(GlobalSettings& settings, const std::string& program_dir);

// The limits that hold after the work settings dialog is accepted.
void clamp_work_settings(GlobalSettings& settings, std::int32_t& time_mode_period);
// Heating intensity of model 1 as the dialog shows it: 1..63.
std::int32_t heating_intensity_for_display(std::int32_t value);
// An ADC indicator mode outside 0..1 is reset to 0 when the dialog opens.
void normalize_adc_value_mode(GlobalSettings& settings);

// Program directory + "площадь" + "/" + "скважина", both levels created (failure ignored).
std::filesystem::path data_directory(const GlobalSettings& settings,
                                     const std::string& program_dir);
std::filesystem::path create_data_directory(const GlobalSettings& settings,
                                            const std::string& program_dir);

}  // namespace vetra::settings
