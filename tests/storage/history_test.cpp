#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/gaz_list.h"
#include "storage/bytes.h"
#include "storage/history.h"
#include "storage/plot_record.h"
#include "support/temp_dir.h"

namespace vetra::storage {
namespace {

using display::ChromatogramPlot;
using test::i32;

const library::LocalTime kAt{2011, 3, 5, 14, 7, 0, 0};

ChromatogramPlot ramp(int count) {
    ChromatogramPlot plot;
    for (int i = 0; i < count; ++i) {
        plot.points.push_back(i);
        plot.seconds.push_back(i / 8);
    }
    return plot;
}

struct Thinning {
    int rate;
    int points_in;
    int points_out;
};

class HistoryThinning : public testing::TestWithParam<Thinning> {};

TEST_P(HistoryThinning, takes_whole_groups_of_r_starting_below_count_minus_r) {
    const Thinning c = GetParam();
    History history;
    history.add(ramp(c.points_in), analysis::GazList{}, {}, c.rate, 0xFFFFFF, kAt);
    const ChromatogramPlot& copy = history.entry(0);
    ASSERT_EQ(copy.point_count(), c.points_out);
    const int r = std::max(1, c.rate / 2);
    for (int k = 0; k < c.points_out; ++k) {
        const int last = k * r + r - 1;
        EXPECT_DOUBLE_EQ(copy.points[k], (k * r + last) / 2.0) << k;  // the mean of a ramp
        EXPECT_EQ(copy.seconds[k], last / 8) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HistoryThinning,
                         testing::Values(Thinning{8, 960, 239}, Thinning{1, 960, 959},
                                         Thinning{3, 10, 9}, Thinning{8, 4, 0}, Thinning{8, 0, 0},
                                         Thinning{0, 5, 4}));

TEST(History, an_entry_is_dated_coloured_and_windowed_at_the_thinned_rate) {
    analysis::GazList gases;
    ASSERT_GT(gases.count(), 1);
    analysis::GazResult c1;
    c1.name = gases.gas(0).name;
    c1.value_text = " 0,8% ";
    c1.peak_max = 12;
    History history;
    history.add(ramp(960), gases, {c1}, 8, 0x000000, kAt);
    const ChromatogramPlot& e = history.entry(0);
    EXPECT_EQ(e.message, "Дата: 5.3.2011.   Время: 14:07.");
    EXPECT_EQ(e.background, 0x000000);
    EXPECT_EQ(e.foreground, 0xFFFFFF);
    EXPECT_TRUE(e.compact);
    ASSERT_EQ(static_cast<int>(e.windows.size()), gases.count());
    // R div r = 2 points per second.
    EXPECT_EQ(e.windows[0].start, std::lround(gases.gas(0).work_start * 2 - 1));
    EXPECT_EQ(e.windows[0].end, std::lround(2 * gases.gas(0).work_end + 1));
    EXPECT_TRUE(e.windows[0].has_result);
    EXPECT_EQ(e.windows[0].value_text, " 0,8% ");
    EXPECT_FALSE(e.windows[1].has_result);
    EXPECT_EQ(history.selected(), 0);
}

TEST(History, the_25th_entry_pushes_out_the_oldest_and_the_file_keeps_24) {
    vetra::test::TempDir dir;
    History history;
    int changes = 0;
    history.changed.connect([&] { ++changes; });
    for (int i = 0; i < 25; ++i) {
        history.add(ramp(10 + i), analysis::GazList{}, {}, 2, 0xFFFFFF, kAt);
    }
    EXPECT_EQ(changes, 25);
    ASSERT_EQ(history.count(), 24);
    EXPECT_EQ(history.entry(0).point_count(), 10 + 24 - 1);  // newest first
    EXPECT_EQ(history.entry(23).point_count(), 10 + 1 - 1);  // the first one is gone

    const std::string path = dir.dir() + "vetra2.history";
    ASSERT_TRUE(history.save(path));
    EXPECT_FALSE(history.save(dir.dir() + "no folder/vetra2.history"));
    const std::string bytes = vetra::test::read_bytes(path);
    EXPECT_EQ(bytes.substr(0, 17), "VetraHistory" + std::string(1, '\1') + i32(24));

    History back;
    back.load(path);
    ASSERT_EQ(back.count(), 24);
    EXPECT_EQ(back.selected(), 0);
    EXPECT_TRUE(back.entry(5).compact);
    EXPECT_EQ(back.entry(5).points, history.entry(5).points);
    EXPECT_EQ(back.to_bytes(), bytes);
}

struct BadFile {
    const char* name;
    std::string bytes;
    int count;
};

class HistoryBadFile : public testing::TestWithParam<BadFile> {};

TEST_P(HistoryBadFile, loads_bounded_and_never_crashes) {
    History history;
    history.add(ramp(10), analysis::GazList{}, {}, 2, 0xFFFFFF, kAt);
    history.from_bytes(GetParam().bytes);
    EXPECT_EQ(history.count(), GetParam().count);
    EXPECT_EQ(history.selected(), GetParam().count > 0 ? 0 : -1);
}

const std::string kGood = "VetraHistory" + std::string(1, '\1');

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoryBadFile,
    testing::Values(
        BadFile{"foreign_header", "VetraHistorx" + std::string(1, '\1') + i32(1), 0},
        BadFile{"version_2", "VetraHistory" + std::string(1, '\2') + i32(1), 0},
        BadFile{"empty", "", 0}, BadFile{"no_count", kGood, 0},
        BadFile{"negative_count", kGood + i32(-3), 0},
        BadFile{"count_2_pow_31_minus_1", kGood + i32(std::numeric_limits<std::int32_t>::max()),
                24},
        BadFile{"count_3_one_record",
                kGood + i32(3) + std::string(1, '\0') + i32(0) + i32(0) + i32(0) + i32(0), 3}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(HistoryLayout, a_click_selects_the_entry_whose_cell_of_the_3_by_8_grid_holds_it) {
    // W = 304, H = 804, m = 4: entry 4 lies in column 1, row 1, from (104, 104) to (200, 200).
    History history;
    for (int i = 0; i < 5; ++i) {
        history.add(ramp(10), analysis::GazList{}, {}, 2, 0xFFFFFF, kAt);
    }
    EXPECT_TRUE(history.select_at(104, 104, 304, 804, 4));
    EXPECT_EQ(history.selected(), 4);
    EXPECT_FALSE(history.select_at(2, 2, 304, 804, 4));      // in the margin
    EXPECT_FALSE(history.select_at(150, 250, 304, 804, 4));  // the cell of an entry not held
    EXPECT_FALSE(history.select_at(200, 150, 304, 804, 4));  // right edge is outside
    EXPECT_EQ(history.selected(), 4);
    history.load("/nonexistent/vetra2.history");
    EXPECT_EQ(history.count(), 0);
    EXPECT_EQ(history.selected_entry(), nullptr);
}

}  // namespace
}  // namespace vetra::storage
