#include "settings/global_settings.h"
#include "library/utf8_path.h"

#include <cmath>
#include <utility>

namespace vetra::settings {

GlobalSettings::GlobalSettings() {
    times = {2, 23, 30, 35, 55, 70, 120};
}

void GlobalSettings::register_bindings(BindingList& l) {
    l.add_int_block(&device_type, "порт", "device_type");
    l.add_text(&stored_port_name_, "порт", "имя");
    l.add_text(&totalizer_port_name, "порт", "имя_сумм");
    l.add_integer(&port_speed, "порт", "скорость");
    l.add_integer(&port_parity, "порт", "чётность");
    l.add_integer(&port_stop_bits, "порт", "стоповые_биты");
    l.add_integer(&samples_per_second, "время", "посылок_в_секунду");
    for (std::size_t i = 0; i < times.size(); ++i) {
        l.add_integer(&times[i], "время", "время" + std::to_string(i + 1));
    }
    l.add_integer(&cycle_time, "время", "время_цикла");
    l.add_integer(&screen_seconds, "режим_работы", "размер_экрана");
    l.add_bool(&first_start, "режим_работы", "FirstStart");
    l.add_double(&min_gaz_value, gas_section_, "min_gaz_value");
    l.add_bool(&window_correction, "ацп", "коррекция_штокетников");
    l.add_integer(&adc_bits, "ацп", "число_разрядов");
    l.add_integer(&adc_ranges, "ацп", "число_диапазонов");
    l.add_integer(&range_factor, "ацп", "кратность_диапазона");
    l.add_double(&input_voltage, "ацп", "входное_напряжение");
    l.add_integer(&adc_value_mode, "экран", "scr_adc_value_mode");
    l.add_colour(&background_colour, "экран", "цвет_фона");
    l.add_colour(&curve_colour, "экран", "цвет_кривой");
    l.add_integer(&curve_width, "экран", "толщина_кривой");
    l.add_integer(&vertical_grid, "экран", "вертикальная_разлиновка");
    l.add_integer(&horizontal_grid, "экран", "горизонтальная_разлиновка");
    l.add_text(&font_name, "экран", "имя_шрифта");
    l.add_integer(&font_size, "экран", "размер_шрифта");
    l.add_integer(&table_font_size, "экран", "размер_шрифта_таблицы");
    l.add_bool(&show_adc, "экран", "значения_АЦП");
    l.add_integer(&smoothing, calc_section_, "сглаживание");
    l.add_integer(&averaging_points, calc_section_, "число_точек_осреднения");
    l.add_double(&filter_frequency, calc_section_, "частота_фильтра");
    l.add_integer(&zero_seconds, calc_section_, "время_расчёта_нуля");
    l.add_double(&current_depth, calc_section_, "текущая_глубина");
    l.add_bool(&depth_calculation, calc_section_, "расчёт_глубины");
    l.add_bool(&calc_result_from_pick, calc_section_, "calc_result_from_pick");
    l.add_bool(&stored_demo_, calc_section_, "demo");
    l.add_text(&well, "основные_настройки", "скважина");
    l.add_text(&area, "основные_настройки", "площадь");
    l.add_bool(&remote_control, "основные_настройки", "remote_control");
    l.add_bool(&totalizer_use, "газосумматор", "use");
    l.add_integer(&totalizer_present, "газосумматор", "present");
    l.add_bool(&totalizer_show, "газосумматор", "show");
    l.add_bool(&totalizer_show_win, "газосумматор", "show_win");
    l.add_float(&totalizer_coeff, "газосумматор", "coeff");
    l.add_float(&totalizer_null, "газосумматор", "null");
    l.add_float(&totalizer_null10, "газосумматор", "null10");
    l.add_float(&totalizer_porog, "газосумматор", "porog");
    l.add_double(&summ_max1, "газосумматор", "summ_max1");
    l.add_double(&summ_max10, "газосумматор", "summ_max10");
    l.add_integer(&gaz_summ_prec, "газосумматор", "gaz_summ_prec");
    l.add_integer(&win_width, "газосумматор", "win_width");
    l.add_integer(&win_mashtab, "газосумматор", "win_mashtab");
    l.add_bool(&porog_from_station, "порог", "porog_po_summe_type");
    l.add_double(&porog_value, "порог", "porog_po_summe_value");
    l.add_text(&reg_computer_name, "порог", "reg_computer_name");
}

void GlobalSettings::after_save(IniFile& file) {
    // Saving the gas list erases its section, which also holds this key.
    file.write_float(gas_section_, "min_gaz_value", min_gaz_value);
}

void GlobalSettings::load_from(const std::string& program_dir) {
    settings_path = program_dir + kSettingsFileName;
    etalon_path = program_dir + kEtalonFileName;
    load(settings_path);
}

bool GlobalSettings::save() {
    return IniOptions::save(settings_path);
}

void GlobalSettings::set_session_values(bool demo_on, std::optional<std::string> port) {
    take_operator_changes();
    session_demo_ = demo_on ? std::optional<bool>(true) : std::nullopt;
    session_port_ = std::move(port);
    apply_session_values();
}

// A field that no longer holds the session's value was changed by the operator: from then
// on it is stored like any other.
void GlobalSettings::take_operator_changes() {
    if (session_demo_ && demo != *session_demo_) {
        session_demo_.reset();
    }
    if (session_port_ && port_name != *session_port_) {
        session_port_.reset();
    }
    if (!session_demo_) {
        stored_demo_ = demo;
    }
    if (!session_port_) {
        stored_port_name_ = port_name;
    }
}

void GlobalSettings::apply_session_values() {
    demo = session_demo_.value_or(stored_demo_);
    port_name = session_port_.value_or(stored_port_name_);
}

void GlobalSettings::before_save(IniFile&) {
    take_operator_changes();
}

void GlobalSettings::before_load(const IniFile&) {
    take_operator_changes();
}

void GlobalSettings::after_load(const IniFile&) {
    apply_session_values();
}

void GlobalSettings::apply_model_defaults() {
    if (device_type == kModelTd5) {
        times = {2, 23, 30, 35, 55, 70, 120};
        cycle_time = 0;
    } else if (device_type == kModelVelon) {
        times = {4, 18, 70, 32, 120, 0, 0};
        cycle_time = 0;
    }
}

std::int32_t GlobalSettings::cycle_length() const {
    if (device_type == kModelTd5) {
        return times[6];
    }
    if (device_type == kModelVelon) {
        return times[4];
    }
    return 0;
}

void GlobalSettings::set_cycle_length(std::int32_t seconds) {
    if (device_type == kModelTd5) {
        times[6] = seconds;
    } else if (device_type == kModelVelon) {
        times[4] = seconds;
    }
}

std::int32_t GlobalSettings::heating_end() const {
    return device_type == kModelVelon ? times[2] : 0;
}

void GlobalSettings::set_heating_end(std::int32_t seconds) {
    if (device_type == kModelVelon) {
        times[2] = seconds;
    }
}

void load_settings_at_startup(GlobalSettings& settings, const std::string& program_dir) {
    settings.win_width = 200;
    settings.win_mashtab = 0;
    settings.load_from(program_dir);
    settings.apply_model_defaults();
    settings.load_from(program_dir);
}

void clamp_work_settings(GlobalSettings& s, std::int32_t& time_mode_period) {
    if (time_mode_period <= 0) {
        time_mode_period = 120;
    }
    if (s.screen_seconds <= 0) {
        s.screen_seconds = 1;
    }
    if (s.horizontal_grid < 2) {
        s.horizontal_grid = 2;
    }
    if (s.vertical_grid < 2) {
        s.vertical_grid = 2;
    }
    if (s.averaging_points < 3) {
        s.averaging_points = 3;
    }
    if (!(s.filter_frequency >= 1.0)) {
        s.filter_frequency = 1.0;
    } else if (s.filter_frequency > 50.0) {
        s.filter_frequency = 50.0;
    }
    if (s.zero_seconds <= 0) {
        s.zero_seconds = 1;
    } else if (s.zero_seconds > 15) {
        s.zero_seconds = 15;
    }
    if (!(s.totalizer_coeff >= 0.0f)) {
        s.totalizer_coeff = 0.0f;
    }
    if (s.gaz_summ_prec < 0) {
        s.gaz_summ_prec = 0;
    } else if (s.gaz_summ_prec > 10) {
        s.gaz_summ_prec = 10;
    }
}

std::int32_t heating_intensity_for_display(std::int32_t value) {
    if (value >= 64) {
        return 63;
    }
    if (value < 1) {
        return 1;
    }
    return value;
}

void normalize_adc_value_mode(GlobalSettings& settings) {
    if (settings.adc_value_mode < 0 || settings.adc_value_mode > 1) {
        settings.adc_value_mode = 0;
    }
}

std::filesystem::path data_directory(const GlobalSettings& settings,
                                     const std::string& program_dir) {
    return library::path_from_utf8(program_dir + settings.area) /
           library::path_from_utf8(settings.well);
}

std::filesystem::path create_data_directory(const GlobalSettings& settings,
                                            const std::string& program_dir) {
    const std::filesystem::path area_dir = library::path_from_utf8(program_dir + settings.area);
    const std::filesystem::path data_dir = area_dir / library::path_from_utf8(settings.well);
    std::error_code ec;
    std::filesystem::create_directory(area_dir, ec);
    std::filesystem::create_directory(data_dir, ec);
    return data_dir;
}

}  // namespace vetra::settings
