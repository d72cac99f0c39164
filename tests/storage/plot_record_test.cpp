#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "../analysis/calculator_rig.h"
#include "analysis/gaz_list.h"
#include "library/cp1251.h"
#include "storage/bytes.h"
#include "storage/plot_record.h"
#include "storage/run_file.h"
#include "support/temp_dir.h"

namespace vetra::storage {
namespace {

using display::ChromatogramPlot;
using display::GasWindow;
using test::i32;
using test::le;
using test::point_record;
using test::text0;

std::string written(const ChromatogramPlot& plot) {
    std::ostringstream out(std::ios::binary);
    write_plot(plot, out);
    return out.str();
}

ChromatogramPlot read_over(ChromatogramPlot plot, const std::string& bytes, bool* ok = nullptr) {
    std::istringstream in(bytes, std::ios::binary);
    read_plot(plot, in);
    if (ok != nullptr) {
        *ok = !in.fail();
    }
    return plot;
}

ChromatogramPlot sample_plot() {
    ChromatogramPlot plot;
    plot.message = "Дата: 5.3.2011.   Время: 14:07.";
    plot.background = 0x00FFEEDD;
    plot.foreground = 0;
    plot.points = {1.5, -2.25, 300.0};
    plot.seconds = {0, 0, 1};
    GasWindow c1{0x0000FF, 3, 9, 182.5, true, "C1", " 0,82% "};
    GasWindow c2{0x00FF00, 12, 20, 0, false, "C2", ""};
    plot.windows = {c1, c2};
    return plot;
}

TEST(PlotRecord, an_empty_message_without_windows_has_the_hand_built_layout) {
    ChromatogramPlot plot;
    plot.background = 0x00C0FFEE;
    plot.foreground = 0x00FFFFFF;
    plot.points = {0.5, 7.0};
    plot.seconds = {3, 4};
    const std::string expected = std::string(1, '\0') + i32(0x00C0FFEE) + i32(0x00FFFFFF) + i32(2) +
                                 point_record(0.5, 3) + point_record(7.0, 4) + i32(0);
    EXPECT_EQ(written(plot), expected);
}

TEST(PlotRecord, a_window_record_is_colour_bounds_level_flag_and_two_cp1251_texts) {
    ChromatogramPlot plot;
    plot.message = "Ошибка";
    plot.windows = {GasWindow{0x123456, -1, 2001, 9.75, true, "iC4", "Ж%"}};
    const std::string expected = text0(library::utf8_to_cp1251("Ошибка")) + i32(0xFFFFFF) + i32(0) +
                                 i32(0) + i32(1) + i32(0x123456) + i32(-1) + i32(2001) + le(9.75) +
                                 std::string(1, '\1') + text0("iC4") +
                                 text0(library::utf8_to_cp1251("Ж%"));
    EXPECT_EQ(written(plot), expected);
}

TEST(PlotRecord, what_is_written_reads_back_field_by_field) {
    const ChromatogramPlot plot = sample_plot();
    bool ok = false;
    const ChromatogramPlot back = read_over(ChromatogramPlot{}, written(plot), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(back.message, plot.message);
    EXPECT_EQ(back.background, plot.background);
    EXPECT_EQ(back.points, plot.points);
    EXPECT_EQ(back.seconds, plot.seconds);
    ASSERT_EQ(back.windows.size(), 2u);
    EXPECT_EQ(back.windows[0].code, "C1");
    EXPECT_EQ(back.windows[0].value_text, " 0,82% ");
    EXPECT_EQ(back.windows[0].level, 182.5);
    EXPECT_TRUE(back.windows[0].has_result);
    EXPECT_FALSE(back.windows[1].has_result);
    EXPECT_EQ(back.windows[1].end, 20);
}

TEST(PlotRecord, a_text_too_long_for_a_reader_is_cut_to_255_bytes) {
    ChromatogramPlot plot;
    plot.message = std::string(300, 'x');
    bool ok = false;
    const ChromatogramPlot back = read_over(ChromatogramPlot{}, written(plot), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(back.message, std::string(255, 'x'));
}

// Hostile or damaged records, each read over a plot that already holds the sample.
struct BadRecord {
    const char* name;
    std::string bytes;
    bool stream_ok;
    std::size_t points;   // afterwards
    std::size_t windows;  // afterwards
    std::string message;  // afterwards
};

void PrintTo(const BadRecord& c, std::ostream* out) {
    *out << c.name;
}

class BadPlotRecord : public testing::TestWithParam<BadRecord> {};

TEST_P(BadPlotRecord, never_crashes_and_keeps_what_it_did_not_read) {
    const BadRecord& c = GetParam();
    bool ok = false;
    const ChromatogramPlot back = read_over(sample_plot(), c.bytes, &ok);
    EXPECT_EQ(ok, c.stream_ok);
    EXPECT_EQ(back.points.size(), c.points);
    EXPECT_EQ(back.windows.size(), c.windows);
    EXPECT_EQ(back.message, c.message);
}

const std::string kHead = text0("m") + i32(0xFFFFFF) + i32(0);

INSTANTIATE_TEST_SUITE_P(
    Cases, BadPlotRecord,
    testing::Values(
        BadRecord{"points_2001", kHead + i32(2001), true, 3, 2, "m"},
        BadRecord{"points_2_pow_31_minus_1", kHead + i32(std::numeric_limits<std::int32_t>::max()),
                  true, 3, 2, "m"},
        BadRecord{"points_negative", kHead + i32(-5), true, 3, 2, "m"},
        BadRecord{"windows_2001", kHead + i32(1) + point_record(1, 0) + i32(2001), true, 1, 2, "m"},
        BadRecord{"windows_negative", kHead + i32(0) + i32(-1), true, 0, 2, "m"},
        BadRecord{"points_cut_short", kHead + i32(2000) + point_record(1, 0), false, 2000, 2, "m"},
        BadRecord{"window_cut_short", kHead + i32(0) + i32(1) + i32(5) + i32(1), false, 0, 1, "m"},
        BadRecord{"text_of_255_without_zero", std::string(255, 'a') + "b", false, 3, 2,
                  "Дата: 5.3.2011.   Время: 14:07."},
        BadRecord{"text_of_255_with_zero", text0(std::string(255, 'a')), false, 3, 2,
                  std::string(255, 'a')},
        BadRecord{"empty_input", "", false, 3, 2, "Дата: 5.3.2011.   Время: 14:07."}),
    [](const testing::TestParamInfo<BadRecord>& info) { return std::string(info.param.name); });

// --- the run file ---------------------------------------------------------------------------

struct RunRig : analysis::test::CalculatorRig {
    vetra::test::TempDir dir;
    ChromatogramPlot plot = sample_plot();
    library::LocalTime at{2011, 3, 5, 14, 7, 33, 0};

    RunRig() {
        use_windows({{1, 2}, {3, 4}});
        calc.addGasResult(0, 12.5, 3.25);
    }
    bool write(int status, bool science = true) {
        return write_run_file(status, science, plot, calc, dir.dir(), at);
    }
    std::filesystem::path file() const {
        return dir.path() / "Analiz" / "2011-03-05" / "14-07.rzg";
    }
};

TEST(RunFile, is_named_by_day_and_minute_and_holds_header_plot_and_calculation_block) {
    RunRig rig;
    std::filesystem::create_directory(rig.dir.path() / "Analiz");
    ASSERT_TRUE(rig.write(-100));
    const std::string bytes = vetra::test::read_bytes(rig.file());
    std::ostringstream calc(std::ios::binary);
    rig.calc.writeCalcBlock(calc);
    EXPECT_EQ(bytes, "VetraGazCurve" + std::string(1, '\1') + written(rig.plot) + calc.str());
    EXPECT_EQ(calc.str().substr(0, 9), std::string("CALC\0", 5) + i32(2));

    // A second cycle in the same minute replaces the first.
    rig.plot.points = {42.0};
    ASSERT_TRUE(rig.write(-96));
    EXPECT_EQ(vetra::test::read_bytes(rig.file()).substr(14), written(rig.plot) + calc.str());
}

TEST(RunFile, writes_nothing_unless_all_three_conditions_hold) {
    RunRig rig;
    std::filesystem::create_directory(rig.dir.path() / "Analiz");
    EXPECT_FALSE(rig.write(-99));          // connection lost
    EXPECT_FALSE(rig.write(-98));          // another failure
    EXPECT_FALSE(rig.write(-100, false));  // not asked for
    rig.calc.reset();
    EXPECT_FALSE(rig.write(-100));  // no results
    EXPECT_FALSE(std::filesystem::exists(rig.file().parent_path()));
}

TEST(RunFile, creates_the_day_folder_but_never_the_analiz_folder) {
    RunRig rig;
    EXPECT_FALSE(rig.write(-100));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "Analiz"));
}

}  // namespace
}  // namespace vetra::storage
