#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "../analysis/calculator_rig.h"
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
using test::point_record;
using test::text0;

std::string written(const ChromatogramPlot& plot) {
    std::ostringstream out(std::ios::binary);
    write_plot(plot, out);
    return out.str();
}

ChromatogramPlot read_over(ChromatogramPlot plot, const std::string& bytes, bool& ok) {
    std::istringstream in(bytes, std::ios::binary);
    read_plot(plot, in);
    ok = !in.fail();
    return plot;
}

ChromatogramPlot plot_of(std::string message, std::vector<double> points,
                         std::vector<std::int32_t> seconds, std::vector<GasWindow> windows) {
    ChromatogramPlot plot;
    plot.message = std::move(message);
    plot.background = 0x00C0FFEE;
    plot.points = std::move(points);
    plot.seconds = std::move(seconds);
    plot.windows = std::move(windows);
    return plot;
}

// A plot, its record built by hand, and what reading the record gives back.
struct Layout {
    const char* name;
    ChromatogramPlot plot;
    std::string bytes;
    std::string message_read;
};

class PlotRecordLayout : public testing::TestWithParam<Layout> {};

TEST_P(PlotRecordLayout, is_written_byte_for_byte_and_reads_back) {
    const Layout& c = GetParam();
    EXPECT_EQ(written(c.plot), c.bytes);
    bool ok = false;
    const ChromatogramPlot back = read_over(ChromatogramPlot{}, c.bytes, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(back.message, c.message_read);
    EXPECT_EQ(back.background, c.plot.background);
    EXPECT_EQ(back.points, c.plot.points);
    EXPECT_EQ(back.seconds, c.plot.seconds);
    ASSERT_EQ(back.windows.size(), c.plot.windows.size());
    for (std::size_t i = 0; i < back.windows.size(); ++i) {
        const GasWindow &a = back.windows[i], &b = c.plot.windows[i];
        EXPECT_EQ(std::tie(a.colour, a.start, a.end, a.level, a.has_result, a.code, a.value_text),
                  std::tie(b.colour, b.start, b.end, b.level, b.has_result, b.code, b.value_text));
    }
}

const std::string kColours = i32(0x00C0FFEE) + i32(0);

INSTANTIATE_TEST_SUITE_P(
    Cases, PlotRecordLayout,
    testing::Values(
        Layout{"empty_message_no_windows", plot_of("", {0.5, 7.0}, {3, 4}, {}),
               std::string(1, '\0') + kColours + i32(2) + point_record(0.5, 3) +
                   point_record(7.0, 4) + i32(0),
               ""},
        Layout{"window_with_cp1251_texts",
               plot_of("Ошибка", {}, {}, {GasWindow{0x123456, -1, 2001, 9.75, true, "iC4", "Ж%"}}),
               text0(library::utf8_to_cp1251("Ошибка")) + kColours + i32(0) + i32(1) +
                   i32(0x123456) + i32(-1) + i32(2001) + test::le(9.75) + std::string(1, '\1') +
                   text0("iC4") + text0(library::utf8_to_cp1251("Ж%")),
               "Ошибка"},
        // A reader takes at most 255 bytes, so no longer text is written.
        Layout{"message_cut_to_255", plot_of(std::string(300, 'x'), {}, {}, {}),
               text0(std::string(255, 'x')) + kColours + i32(0) + i32(0), std::string(255, 'x')}),
    [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

// Hostile or damaged records, each read over a plot that holds 3 points and 2 windows.
struct BadRecord {
    const char* name;
    std::string bytes;
    bool stream_ok;
    std::size_t points;  // afterwards
    std::size_t windows;
    std::string message;
};

class BadPlotRecord : public testing::TestWithParam<BadRecord> {};

TEST_P(BadPlotRecord, never_crashes_and_keeps_what_it_did_not_read) {
    const BadRecord& c = GetParam();
    bool ok = false;
    const ChromatogramPlot back =
        read_over(plot_of("old", {1, 2, 3}, {0, 0, 0}, {GasWindow{}, GasWindow{}}), c.bytes, ok);
    EXPECT_EQ(ok, c.stream_ok);
    EXPECT_EQ(back.points.size(), c.points);
    EXPECT_EQ(back.seconds.size(), c.points);
    EXPECT_EQ(back.windows.size(), c.windows);
    EXPECT_EQ(back.message, c.message);
}

const std::string kHead = text0("m") + kColours;

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
        BadRecord{"text_of_256_without_zero", std::string(256, 'a'), false, 3, 2, "old"},
        BadRecord{"empty_input", "", false, 3, 2, "old"}),
    [](const testing::TestParamInfo<BadRecord>& info) { return std::string(info.param.name); });

// --- the run file ---------------------------------------------------------------------------

struct RunRig : analysis::test::CalculatorRig {
    vetra::test::TempDir dir;
    ChromatogramPlot plot = plot_of("", {1, 2}, {0, 1}, {});
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

TEST(RunFile, is_named_by_minute_holds_header_plot_and_block_and_is_replaced_within_it) {
    RunRig rig;
    EXPECT_FALSE(rig.write(-100));  // "Analiz" is never created
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "Analiz"));
    std::filesystem::create_directory(rig.dir.path() / "Analiz");
    ASSERT_TRUE(rig.write(-100));
    std::ostringstream calc(std::ios::binary);
    rig.calc.writeCalcBlock(calc);
    EXPECT_EQ(calc.str().substr(0, 9), std::string("CALC\0", 5) + i32(2));
    EXPECT_EQ(vetra::test::read_bytes(rig.file()),
              "VetraGazCurve" + std::string(1, '\1') + written(rig.plot) + calc.str());

    rig.plot.points = {42.0};
    ASSERT_TRUE(rig.write(-96));
    EXPECT_EQ(vetra::test::read_bytes(rig.file()).substr(14), written(rig.plot) + calc.str());

    // A folder where the minute's file should be: the run is lost, and that is not a success.
    std::filesystem::remove(rig.file());
    std::filesystem::create_directory(rig.file());
    EXPECT_FALSE(rig.write(-100));
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

}  // namespace
}  // namespace vetra::storage
