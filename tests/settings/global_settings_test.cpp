#include "settings/global_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "settings/ini_list.h"
#include "settings/rig_settings.h"
#include "support/temp_dir.h"

namespace vetra::settings {
namespace {

using library::cp1251_to_utf8;
using library::utf8_to_cp1251;
using test::read_bytes;
using test::TempDir;
using test::write_bytes;

using Timing = std::array<std::int32_t, 8>;  // "время1".."время7", "время_цикла"

constexpr Timing kModel0Timing = {2, 23, 30, 35, 55, 70, 120, 0};
constexpr Timing kModel1Timing = {4, 18, 70, 32, 120, 0, 0, 0};

Timing timing_of(const GlobalSettings& s) {
    return {s.times[0], s.times[1], s.times[2], s.times[3],
            s.times[4], s.times[5], s.times[6], s.cycle_time};
}

class SeparatorGuard {
public:
    explicit SeparatorGuard(char separator) : saved_(library::decimal_separator()) {
        library::set_decimal_separator(separator);
    }
    ~SeparatorGuard() { library::set_decimal_separator(saved_); }

private:
    char saved_;
};

std::filesystem::path ini_path(const TempDir& dir) {
    return dir / kSettingsFileName;
}

void write_ini(const TempDir& dir, const std::string& utf8) {
    write_bytes(ini_path(dir), utf8_to_cp1251(utf8));
}

// The lines of the settings file as UTF-8, blank lines dropped.
std::vector<std::string> ini_lines(const TempDir& dir) {
    const std::string text = cp1251_to_utf8(read_bytes(ini_path(dir)));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            lines.push_back(text.substr(start, end - start));
        }
        start = end + 2;
    }
    return lines;
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// --- fresh start and the complete file ---------------------------------------------------

TEST(GlobalSettings, a_fresh_directory_gives_the_defaults_of_model_zero) {
    TempDir dir;
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    EXPECT_EQ(s.device_type, 0);
    EXPECT_EQ(timing_of(s), kModel0Timing);
    EXPECT_TRUE(s.first_start);
    EXPECT_EQ(s.win_width, 200);
    EXPECT_EQ(s.win_mashtab, 0);
    EXPECT_EQ(s.settings_path, dir.dir() + "хроматограф.ini");
    EXPECT_EQ(s.etalon_path, dir.dir() + "эталон.ini");
    EXPECT_FALSE(std::filesystem::exists(ini_path(dir)));
}

TEST(GlobalSettings, a_save_writes_every_key_in_registration_order) {
    SeparatorGuard guard(',');
    TempDir dir;
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    s.first_start = false;
    ASSERT_TRUE(s.save());

    const std::vector<std::string> expected = {
        "[порт]",
        "device_type=00000000",
        "имя=\"COM1\"",
        "имя_сумм=\"COM2\"",
        "скорость=19200",
        "чётность=0",
        "стоповые_биты=0",
        "[время]",
        "посылок_в_секунду=8",
        "время1=2",
        "время2=23",
        "время3=30",
        "время4=35",
        "время5=55",
        "время6=70",
        "время7=120",
        "время_цикла=0",
        "[режим_работы]",
        "размер_экрана=120",
        "FirstStart=0",
        "[газ]",
        "min_gaz_value=0,0001",
        "[ацп]",
        "коррекция_штокетников=0",
        "число_разрядов=14",
        "число_диапазонов=4",
        "кратность_диапазона=10",
        "входное_напряжение=2,5",
        "[экран]",
        "scr_adc_value_mode=0",
        "цвет_фона=16777215",
        "цвет_кривой=0",
        "толщина_кривой=1",
        "вертикальная_разлиновка=10",
        "горизонтальная_разлиновка=5",
        "имя_шрифта=\"TAHOMA\"",
        "размер_шрифта=8",
        "размер_шрифта_таблицы=7",
        "значения_АЦП=0",
        "[расчёт]",
        "сглаживание=1",
        "число_точек_осреднения=20",
        "частота_фильтра=2",
        "время_расчёта_нуля=5",
        "текущая_глубина=0",
        "расчёт_глубины=0",
        "calc_result_from_pick=0",
        "demo=0",
        "[основные_настройки]",
        "скважина=\"default\"",
        "площадь=\"default\"",
        "remote_control=1",
        "[газосумматор]",
        "use=0",
        "present=0",
        "show=0",
        "show_win=0",
        "coeff=0,100000001490116",
        "null=0",
        "null10=0",
        "porog=0,949999988079071",
        "summ_max1=1",
        "summ_max10=10",
        "gaz_summ_prec=2",
        "win_width=200",
        "win_mashtab=0",
        "[порог]",
        "porog_po_summe_type=0",
        "porog_po_summe_value=0,05",
        std::string("reg_computer_name=\"") + GlobalSettings::kLocalComputerName + "\"",
    };
    EXPECT_EQ(ini_lines(dir), expected);
    // cp1251 on disk: "[порт]" is 5B EF EE F0 F2 5D.
    EXPECT_EQ(read_bytes(ini_path(dir)).substr(0, 8), "[\xEF\xEE\xF0\xF2]\r\n");
}

TEST(GlobalSettings, first_start_is_written_as_one_until_it_is_cleared) {
    TempDir dir;
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    ASSERT_TRUE(s.save());
    EXPECT_TRUE(has_line(ini_lines(dir), "FirstStart=1"));

    s.first_start = false;
    ASSERT_TRUE(s.save());
    EXPECT_TRUE(has_line(ini_lines(dir), "FirstStart=0"));
    EXPECT_FALSE(has_line(ini_lines(dir), "FirstStart=1"));

    GlobalSettings next;
    load_settings_at_startup(next, dir.dir());
    EXPECT_FALSE(next.first_start);
}

// The command line's demonstration mode and port are this run's only: a save in the middle
// of the run (a mode button, a missing totalizer) followed by a crash must not leave them
// behind. A value the operator sets himself during the run is his.
struct SessionCase {
    const char* name;
    std::function<void(GlobalSettings&)> operator_change;
    bool saved_demo;
    const char* saved_port;
};

void PrintTo(const SessionCase& c, std::ostream* os) {
    *os << c.name;
}

class SessionValues : public ::testing::TestWithParam<SessionCase> {};

TEST_P(SessionValues, are_used_for_the_run_and_every_save_writes_the_stored_ones) {
    const SessionCase& c = GetParam();
    TempDir dir;
    write_ini(dir, "[порт]\r\nимя=\"COM3\"\r\n[расчёт]\r\ndemo=0\r\n");
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    s.set_session_values(true, "/dev/pts/7");
    EXPECT_TRUE(s.demo);
    EXPECT_EQ(s.port_name, "/dev/pts/7");

    c.operator_change(s);
    s.screen_seconds = 60;
    ASSERT_TRUE(s.save());
    // Loading again during the run (a dialog cancelled) keeps the run's values in force.
    const bool demo_in_force = s.demo;
    const std::string port_in_force = s.port_name;
    s.load_from(dir.dir());
    EXPECT_EQ(s.demo, demo_in_force);
    EXPECT_EQ(s.port_name, port_in_force);
    ASSERT_TRUE(s.save());

    GlobalSettings next;  // the next start, after a crash
    load_settings_at_startup(next, dir.dir());
    EXPECT_EQ(next.demo, c.saved_demo);
    EXPECT_EQ(next.port_name, c.saved_port);
    EXPECT_EQ(next.screen_seconds, 60);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SessionValues,
    ::testing::Values(SessionCase{"none", [](GlobalSettings&) {}, false, "COM3"},
                      SessionCase{"operator_picks_a_port",
                                  [](GlobalSettings& s) { s.port_name = "COM4"; }, false, "COM4"},
                      SessionCase{"operator_leaves_demonstration_mode",
                                  [](GlobalSettings& s) { s.demo = false; }, false, "COM3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GlobalSettings, save_before_any_load_has_no_file_to_write) {
    GlobalSettings s;
    EXPECT_FALSE(s.save());
}

// --- start-up with stored files ----------------------------------------------------------

struct StartupCase {
    const char* label;
    const char* file;
    std::int32_t model;
    Timing timing;
};

class Startup : public ::testing::TestWithParam<StartupCase> {};

TEST_P(Startup, model_defaults_fill_only_the_missing_timing_keys) {
    TempDir dir;
    write_ini(dir, GetParam().file);
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    EXPECT_EQ(s.device_type, GetParam().model);
    EXPECT_EQ(timing_of(s), GetParam().timing);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Startup,
    ::testing::Values(
        StartupCase{"model_1_without_time_section", "[порт]\r\ndevice_type=01000000\r\n", 1,
                    kModel1Timing},
        StartupCase{"model_1_any_case", "[ПОРТ]\r\nDEVICE_TYPE=01000000\r\n", 1, kModel1Timing},
        StartupCase{"model_1_stored_values_win",
                    "[порт]\r\ndevice_type=01000000\r\n"
                    "[время]\r\nвремя2=25\r\nвремя6=9\r\nвремя_цикла=7\r\n",
                    1, Timing{4, 25, 70, 32, 120, 9, 0, 7}},
        StartupCase{"model_1_with_a_full_model_0_program",
                    "[порт]\r\ndevice_type=01000000\r\n[время]\r\nвремя1=2\r\nвремя2=23\r\n"
                    "время3=30\r\nвремя4=35\r\nвремя5=55\r\nвремя6=70\r\nвремя7=120\r\n"
                    "время_цикла=0\r\n",
                    1, kModel0Timing},
        StartupCase{"model_0_stored_values_win", "[время]\r\nвремя7=150\r\nвремя1=3\r\n", 0,
                    Timing{3, 23, 30, 35, 55, 70, 150, 0}},
        StartupCase{"wrong_length_keeps_model_0", "[порт]\r\ndevice_type=0100\r\n", 0,
                    kModel0Timing},
        StartupCase{"unparsable_timing_keeps_the_default",
                    "[порт]\r\ndevice_type=01000000\r\n[время]\r\nвремя3=abc\r\n", 1,
                    kModel1Timing},
        // An unknown model gets no model defaults: the constructor's program stays.
        StartupCase{"model_2", "[порт]\r\ndevice_type=02000000\r\n", 2, kModel0Timing},
        StartupCase{"model_2_stored", "[порт]\r\ndevice_type=02000000\r\n[время]\r\nвремя5=99\r\n",
                    2, Timing{2, 23, 30, 35, 99, 70, 120, 0}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(GlobalSettings, stored_chart_width_wins_over_the_main_window_default) {
    TempDir dir;
    write_ini(dir, "[газосумматор]\r\nwin_width=350\r\nwin_mashtab=3\r\n");
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    EXPECT_EQ(s.win_width, 350);
    EXPECT_EQ(s.win_mashtab, 3);
}

class FilterFrequency : public ::testing::TestWithParam<std::tuple<char, const char*>> {};

TEST_P(FilterFrequency, loads_two_and_a_half_with_either_separator) {
    const auto& [separator, stored] = GetParam();
    SeparatorGuard guard(separator);
    TempDir dir;
    write_ini(dir, std::string("[расчёт]\r\nчастота_фильтра=") + stored + "\r\n");
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    EXPECT_DOUBLE_EQ(s.filter_frequency, 2.5);
}

INSTANTIATE_TEST_SUITE_P(Texts, FilterFrequency,
                         ::testing::Combine(::testing::Values(',', '.'),
                                            ::testing::Values("2,5", "2.5")));

TEST(GlobalSettings, font_name_is_written_in_quotes_and_read_without_them) {
    TempDir dir;
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    s.font_name = "Arial Cyr";
    ASSERT_TRUE(s.save());
    EXPECT_TRUE(has_line(ini_lines(dir), "имя_шрифта=\"Arial Cyr\""));

    GlobalSettings next;
    load_settings_at_startup(next, dir.dir());
    EXPECT_EQ(next.font_name, "Arial Cyr");
}

TEST(GlobalSettings, every_value_survives_a_save_and_a_start_up_load) {
    SeparatorGuard guard(',');
    TempDir dir;
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    s.device_type = 1;
    s.port_name = "/dev/ttyUSB0";
    s.totalizer_port_name = "COM9";
    s.port_speed = 9600;
    s.port_parity = 2;
    s.port_stop_bits = 1;
    s.samples_per_second = 16;
    s.times = {5, 19, 71, 33, 121, 1, 2};
    s.cycle_time = 3;
    s.screen_seconds = 240;
    s.first_start = false;
    s.min_gaz_value = 0.0005;
    s.window_correction = true;
    s.adc_bits = 16;
    s.adc_ranges = 3;
    s.range_factor = 8;
    s.input_voltage = 5.0;
    s.adc_value_mode = 1;
    s.background_colour = 0x00C0C0C0;
    s.curve_colour = 0x000000FF;
    s.curve_width = 2;
    s.vertical_grid = 12;
    s.horizontal_grid = 6;
    s.font_name = "Courier";
    s.font_size = 9;
    s.table_font_size = 10;
    s.show_adc = true;
    s.smoothing = 4;
    s.averaging_points = 30;
    s.filter_frequency = 3.5;
    s.zero_seconds = 7;
    s.current_depth = 1234.5;
    s.depth_calculation = true;
    s.calc_result_from_pick = true;
    s.demo = true;
    s.well = "скв 15";
    s.area = "Арланская";
    s.remote_control = false;
    s.totalizer_use = true;
    s.totalizer_present = 2;
    s.totalizer_show = true;
    s.totalizer_show_win = true;
    s.totalizer_coeff = 0.25f;
    s.totalizer_null = 0.125f;
    s.totalizer_null10 = -0.5f;
    s.totalizer_porog = 0.75f;
    s.summ_max1 = 2.0;
    s.summ_max10 = 20.0;
    s.gaz_summ_prec = 3;
    s.win_width = 310;
    s.win_mashtab = 4;
    s.porog_from_station = true;
    s.porog_value = 0.5;
    s.reg_computer_name = "STATION";
    ASSERT_TRUE(s.save());

    GlobalSettings r;
    load_settings_at_startup(r, dir.dir());
    EXPECT_EQ(r.device_type, 1);
    EXPECT_EQ(r.port_name, "/dev/ttyUSB0");
    EXPECT_EQ(r.totalizer_port_name, "COM9");
    EXPECT_EQ(r.port_speed, 9600);
    EXPECT_EQ(r.port_parity, 2);
    EXPECT_EQ(r.port_stop_bits, 1);
    EXPECT_EQ(r.samples_per_second, 16);
    EXPECT_EQ(timing_of(r), (Timing{5, 19, 71, 33, 121, 1, 2, 3}));
    EXPECT_EQ(r.screen_seconds, 240);
    EXPECT_FALSE(r.first_start);
    EXPECT_DOUBLE_EQ(r.min_gaz_value, 0.0005);
    EXPECT_TRUE(r.window_correction);
    EXPECT_EQ(r.adc_bits, 16);
    EXPECT_EQ(r.adc_ranges, 3);
    EXPECT_EQ(r.range_factor, 8);
    EXPECT_DOUBLE_EQ(r.input_voltage, 5.0);
    EXPECT_EQ(r.adc_value_mode, 1);
    EXPECT_EQ(r.background_colour, 0x00C0C0C0);
    EXPECT_EQ(r.curve_colour, 0x000000FF);
    EXPECT_EQ(r.curve_width, 2);
    EXPECT_EQ(r.vertical_grid, 12);
    EXPECT_EQ(r.horizontal_grid, 6);
    EXPECT_EQ(r.font_name, "Courier");
    EXPECT_EQ(r.font_size, 9);
    EXPECT_EQ(r.table_font_size, 10);
    EXPECT_TRUE(r.show_adc);
    EXPECT_EQ(r.smoothing, 4);
    EXPECT_EQ(r.averaging_points, 30);
    EXPECT_DOUBLE_EQ(r.filter_frequency, 3.5);
    EXPECT_EQ(r.zero_seconds, 7);
    EXPECT_DOUBLE_EQ(r.current_depth, 1234.5);
    EXPECT_TRUE(r.depth_calculation);
    EXPECT_TRUE(r.calc_result_from_pick);
    EXPECT_TRUE(r.demo);
    EXPECT_EQ(r.well, "скв 15");
    EXPECT_EQ(r.area, "Арланская");
    EXPECT_FALSE(r.remote_control);
    EXPECT_TRUE(r.totalizer_use.load());
    EXPECT_EQ(r.totalizer_present.load(), 2);
    EXPECT_TRUE(r.totalizer_show);
    EXPECT_TRUE(r.totalizer_show_win);
    EXPECT_FLOAT_EQ(r.totalizer_coeff, 0.25f);
    EXPECT_FLOAT_EQ(r.totalizer_null.load(), 0.125f);
    EXPECT_FLOAT_EQ(r.totalizer_null10.load(), -0.5f);
    EXPECT_FLOAT_EQ(r.totalizer_porog, 0.75f);
    EXPECT_DOUBLE_EQ(r.summ_max1, 2.0);
    EXPECT_DOUBLE_EQ(r.summ_max10, 20.0);
    EXPECT_EQ(r.gaz_summ_prec, 3);
    EXPECT_EQ(r.win_width, 310);
    EXPECT_EQ(r.win_mashtab, 4);
    EXPECT_TRUE(r.porog_from_station);
    EXPECT_DOUBLE_EQ(r.porog_value, 0.5);
    EXPECT_EQ(r.reg_computer_name, "STATION");
}

// --- the gas section and foreign sections --------------------------------------------------

// The gas list's storage: a list in section "газ".
class EmptyGasList : public IniList {
public:
    EmptyGasList() : IniList("газ") {}

protected:
    int list_count() const override { return 0; }
    std::string item_text(int) const override { return {}; }
    void resize_list(int) override {}
    void set_item_text(int, std::string_view) override {}
};

TEST(GlobalSettings, a_save_of_the_gas_list_keeps_min_gaz_value_and_the_record_rewrites_it) {
    SeparatorGuard guard(',');
    TempDir dir;
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    s.min_gaz_value = 0.0005;
    ASSERT_TRUE(s.save());
    ASSERT_TRUE(has_line(ini_lines(dir), "min_gaz_value=0,0005"));

    EmptyGasList gases;
    ASSERT_TRUE(gases.save(ini_path(dir).string()));
    EXPECT_TRUE(has_line(ini_lines(dir), "min_gaz_value=0,0005"));

    s.min_gaz_value = 0.25;
    ASSERT_TRUE(s.save());
    IniFile file;
    ASSERT_TRUE(file.open(ini_path(dir)));
    EXPECT_EQ(file.read_string("газ", "min_gaz_value", "missing"), "0,25");
    EXPECT_EQ(file.read_string("газ", "size", "missing"), "0");
}

TEST(GlobalSettings, foreign_sections_of_the_file_survive_a_save) {
    TempDir dir;
    const std::string foreign =
        "[planshet]\r\ncolor=clRed\r\nmashtab=2\r\n"
        "[planshet_summ_Суммарный газ]\r\ncolor=clBlack\r\nwidth=2\r\n"
        "[главное_окно]\r\ntop=10\r\nleft=20\r\n"
        "[VetraSystem]\r\nwork_mode=03000000\r\n";
    write_ini(dir, foreign + "[порт]\r\nимя=\"COM4\"\r\n");
    GlobalSettings s;
    load_settings_at_startup(s, dir.dir());
    EXPECT_EQ(s.port_name, "COM4");
    ASSERT_TRUE(s.save());
    const std::string text = cp1251_to_utf8(read_bytes(ini_path(dir)));
    EXPECT_EQ(text.rfind(foreign + "[порт]\r\nимя=\"COM4\"\r\ndevice_type=00000000\r\n", 0), 0u)
        << text;
}

// --- model-dependent operations ---------------------------------------------------------

struct ModelCase {
    std::int32_t model;
    std::int32_t cycle_length;
    std::int32_t heating_end;
    std::array<std::int32_t, 7> after_setters;  // after set_cycle_length(99), set_heating_end(77)
};

class ModelAccessors : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelAccessors, read_and_write_the_model_own_keys) {
    GlobalSettings s;
    s.device_type = GetParam().model;
    s.times = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(s.cycle_length(), GetParam().cycle_length);
    EXPECT_EQ(s.heating_end(), GetParam().heating_end);
    s.set_cycle_length(99);
    s.set_heating_end(77);
    EXPECT_EQ(s.times, GetParam().after_setters);
}

INSTANTIATE_TEST_SUITE_P(Models, ModelAccessors,
                         ::testing::Values(ModelCase{0, 7, 0, {1, 2, 3, 4, 5, 6, 99}},
                                           ModelCase{1, 5, 3, {1, 2, 77, 4, 99, 6, 7}},
                                           ModelCase{2, 0, 0, {1, 2, 3, 4, 5, 6, 7}},
                                           ModelCase{-1, 0, 0, {1, 2, 3, 4, 5, 6, 7}}));

struct DefaultsCase {
    std::int32_t model;
    Timing expected;
};

class ModelDefaults : public ::testing::TestWithParam<DefaultsCase> {};

TEST_P(ModelDefaults, replace_the_whole_program_for_known_models_only) {
    GlobalSettings s;
    s.device_type = GetParam().model;
    s.times = {1, 2, 3, 4, 5, 6, 7};
    s.cycle_time = 8;
    s.apply_model_defaults();
    EXPECT_EQ(timing_of(s), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Models, ModelDefaults,
                         ::testing::Values(DefaultsCase{0, kModel0Timing},
                                           DefaultsCase{1, kModel1Timing},
                                           DefaultsCase{2, Timing{1, 2, 3, 4, 5, 6, 7, 8}},
                                           DefaultsCase{256, Timing{1, 2, 3, 4, 5, 6, 7, 8}}));

// --- limits after the work settings dialog ----------------------------------------------

struct ClampCase {
    const char* label;
    std::function<void(GlobalSettings&, std::int32_t&)> set;
    std::function<double(const GlobalSettings&, std::int32_t)> get;
    double expected;
};

ClampCase period(const char* label, std::int32_t v, double expected) {
    return {label, [v](GlobalSettings&, std::int32_t& p) { p = v; },
            [](const GlobalSettings&, std::int32_t p) { return p; }, expected};
}

template <class T>
ClampCase field(const char* label, T GlobalSettings::*member, T v, double expected) {
    return {label, [member, v](GlobalSettings& s, std::int32_t&) { s.*member = v; },
            [member](const GlobalSettings& s, std::int32_t) { return double(s.*member); },
            expected};
}

class Clamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(Clamp, holds_the_limit_and_keeps_values_inside_it) {
    GlobalSettings s;
    std::int32_t time_mode_period = 60;
    GetParam().set(s, time_mode_period);
    clamp_work_settings(s, time_mode_period);
    EXPECT_DOUBLE_EQ(GetParam().get(s, time_mode_period), GetParam().expected);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Rules, Clamp,
    ::testing::Values(period("period_zero", 0, 120), period("period_negative", -1, 120),
                      period("period_one", 1, 1), period("period_kept", 300, 300),
                      field("screen_zero", &GlobalSettings::screen_seconds, 0, 1),
                      field("screen_negative", &GlobalSettings::screen_seconds, -5, 1),
                      field("screen_one", &GlobalSettings::screen_seconds, 1, 1),
                      field("screen_kept", &GlobalSettings::screen_seconds, 120, 120),
                      field("hgrid_one", &GlobalSettings::horizontal_grid, 1, 2),
                      field("hgrid_negative", &GlobalSettings::horizontal_grid, -1, 2),
                      field("hgrid_two", &GlobalSettings::horizontal_grid, 2, 2),
                      field("hgrid_three", &GlobalSettings::horizontal_grid, 3, 3),
                      field("vgrid_zero", &GlobalSettings::vertical_grid, 0, 2),
                      field("vgrid_one", &GlobalSettings::vertical_grid, 1, 2),
                      field("vgrid_two", &GlobalSettings::vertical_grid, 2, 2),
                      field("vgrid_kept", &GlobalSettings::vertical_grid, 10, 10),
                      field("points_two", &GlobalSettings::averaging_points, 2, 3),
                      field("points_negative", &GlobalSettings::averaging_points, -1, 3),
                      field("points_three", &GlobalSettings::averaging_points, 3, 3),
                      field("points_four", &GlobalSettings::averaging_points, 4, 4),
                      field("filter_nan", &GlobalSettings::filter_frequency, kNaN, 1.0),
                      field("filter_zero", &GlobalSettings::filter_frequency, 0.0, 1.0),
                      field("filter_negative", &GlobalSettings::filter_frequency, -1.0, 1.0),
                      field("filter_below_one", &GlobalSettings::filter_frequency, 0.999, 1.0),
                      field("filter_one", &GlobalSettings::filter_frequency, 1.0, 1.0),
                      field("filter_kept", &GlobalSettings::filter_frequency, 2.5, 2.5),
                      field("filter_fifty", &GlobalSettings::filter_frequency, 50.0, 50.0),
                      field("filter_above_fifty", &GlobalSettings::filter_frequency, 50.5, 50.0),
                      field("filter_just_above_fifty", &GlobalSettings::filter_frequency, 50.01,
                            50.0),
                      field("filter_infinite", &GlobalSettings::filter_frequency, kInf, 50.0),
                      field("filter_minus_infinite", &GlobalSettings::filter_frequency, -kInf, 1.0),
                      field("zero_time_zero", &GlobalSettings::zero_seconds, 0, 1),
                      field("zero_time_negative", &GlobalSettings::zero_seconds, -1, 1),
                      field("zero_time_one", &GlobalSettings::zero_seconds, 1, 1),
                      field("zero_time_fifteen", &GlobalSettings::zero_seconds, 15, 15),
                      field("zero_time_sixteen", &GlobalSettings::zero_seconds, 16, 15),
                      field("coeff_nan", &GlobalSettings::totalizer_coeff,
                            std::numeric_limits<float>::quiet_NaN(), 0.0),
                      field("coeff_negative", &GlobalSettings::totalizer_coeff, -0.1f, 0.0),
                      field("coeff_zero", &GlobalSettings::totalizer_coeff, 0.0f, 0.0),
                      field("coeff_kept", &GlobalSettings::totalizer_coeff, 0.5f, 0.5),
                      field("prec_negative", &GlobalSettings::gaz_summ_prec, -1, 0),
                      field("prec_zero", &GlobalSettings::gaz_summ_prec, 0, 0),
                      field("prec_ten", &GlobalSettings::gaz_summ_prec, 10, 10),
                      field("prec_eleven", &GlobalSettings::gaz_summ_prec, 11, 10),
                      field("prec_kept", &GlobalSettings::gaz_summ_prec, 5, 5)),
    [](const auto& info) { return std::string(info.param.label); });

TEST(GlobalSettings, clamping_leaves_settings_without_a_rule_alone) {
    GlobalSettings s;
    s.samples_per_second = -3;
    s.font_size = 0;
    s.min_gaz_value = -1.0;
    s.adc_value_mode = 7;
    std::int32_t period = 45;
    clamp_work_settings(s, period);
    EXPECT_EQ(s.samples_per_second, -3);
    EXPECT_EQ(s.font_size, 0);
    EXPECT_DOUBLE_EQ(s.min_gaz_value, -1.0);
    EXPECT_EQ(s.adc_value_mode, 7);
    EXPECT_EQ(period, 45);
}

class HeatingIntensity : public ::testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

TEST_P(HeatingIntensity, is_shown_between_one_and_sixty_three) {
    EXPECT_EQ(heating_intensity_for_display(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, HeatingIntensity,
                         ::testing::Values(std::pair{0, 1}, std::pair{-5, 1}, std::pair{1, 1},
                                           std::pair{32, 32}, std::pair{63, 63}, std::pair{64, 63},
                                           std::pair{1000, 63}));

class AdcValueMode : public ::testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

TEST_P(AdcValueMode, outside_zero_and_one_is_reset_to_zero) {
    GlobalSettings s;
    s.adc_value_mode = GetParam().first;
    normalize_adc_value_mode(s);
    EXPECT_EQ(s.adc_value_mode, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, AdcValueMode,
                         ::testing::Values(std::pair{-1, 0}, std::pair{0, 0}, std::pair{1, 1},
                                           std::pair{2, 0}, std::pair{16, 0}));

// --- the data directory ----------------------------------------------------------------

TEST(DataDirectory, both_levels_are_created) {
    TempDir dir;
    GlobalSettings s;
    s.area = "Арланская";
    s.well = "скв 15";
    const auto made = create_data_directory(s, dir.dir());
    EXPECT_EQ(made, dir / "Арланская" / library::path_from_utf8("скв 15"));
    EXPECT_EQ(made, data_directory(s, dir.dir()));
    EXPECT_TRUE(std::filesystem::is_directory(made));
    // Creating it again is harmless.
    EXPECT_EQ(create_data_directory(s, dir.dir()), made);
    EXPECT_TRUE(std::filesystem::is_directory(made));
}

TEST(DataDirectory, a_creation_failure_is_ignored) {
    TempDir dir;
    GlobalSettings s;
    s.area = "blocked";
    s.well = "default";
    write_bytes(dir / "blocked", "not a directory");
    const auto made = create_data_directory(s, dir.dir());
    EXPECT_EQ(made, dir.path() / "blocked" / "default");
    EXPECT_FALSE(std::filesystem::exists(made));
    EXPECT_EQ(read_bytes(dir / "blocked"), "not a directory");

    const std::string missing_program_dir = (dir / "no" / "such").string() + "/";
    EXPECT_NO_THROW(create_data_directory(s, missing_program_dir));
}

// The WITS input's idle limit: 0 (no limit) to an hour; anything else is the default.
TEST(RigSettings, the_wits_idle_limit_keeps_zero_to_an_hour_and_falls_back_to_thirty) {
    TempDir dir;
    const std::array<std::pair<const char*, std::int32_t>, 7> cases{
        {{"", 30},
         {"in_idle_limit=0\r\n", 0},
         {"in_idle_limit=1\r\n", 1},
         {"in_idle_limit=3600\r\n", 3600},
         {"in_idle_limit=3601\r\n", 30},
         {"in_idle_limit=-1\r\n", 30},
         {"in_idle_limit=x\r\n", 30}}};
    for (const auto& [line, kept] : cases) {
        write_ini(dir, std::string("[wits]\r\n") + line);
        RigSettings rig;
        rig.load(ini_path(dir).string());
        EXPECT_EQ(rig.wits_in_idle_limit, kept) << line;
    }
}

}  // namespace
}  // namespace vetra::settings
