#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "control/well_depth.h"
#include "library/clock.h"
#include "storage/results_table.h"
#include "storage/row_depths.h"
#include "storage/show_file.h"
#include "support/temp_dir.h"

namespace vetra::control {
namespace {

constexpr double kS = 1.0 / 86400.0;
constexpr double kLag = 3000;  // strokes: 30 minutes at 100 a minute
constexpr int kCycle = 120;    // seconds between injections
constexpr int kSeconds = 4 * 3600;

// A rig drilling 1000 m onwards at 36 m/h with 100 strokes a minute, stopping the pumps for
// a connection with the bit lifted 2 m at 6000..6180 s. Its truth is worked out here, second
// by second, apart from the history the program keeps.
struct Rig {
    std::vector<double> bit, hole, strokes;
    Rig() {
        double depth = 1000;
        double s = 0;
        for (int i = 0; i <= kSeconds; ++i) {
            const bool connection = i >= 6000 && i < 6180;
            if (!connection) {
                depth += 0.01;
                s += i > 0 ? 100.0 / 60.0 : 0.0;
            }
            hole.push_back(depth);
            bit.push_back(connection ? depth - 2 : depth);
            strokes.push_back(s);
        }
    }
    // The second the mud now at the trap was at the bit: the first to reach its strokes.
    int bit_second(int surface) const {
        const double target = strokes[static_cast<std::size_t>(surface)] - kLag;
        for (int i = 0; i <= surface; ++i) {
            if (strokes[static_cast<std::size_t>(i)] >= target - 1e-9) {
                return i;
            }
        }
        return 0;
    }
    // Background 0.4 %, a show in 1080..1084 m and the gas of the connection.
    double total_at_trap(int surface) const {
        const int b = bit_second(surface);
        if (b < 5) {
            return 0.4;
        }
        const double d = bit[static_cast<std::size_t>(b)];
        // The mud that stood at the bit comes up first after the pumps start again.
        if (b >= 6180 && b <= 6300) {
            return 1.6;
        }
        return d >= 1080 && d <= 1084 ? 3.0 : 0.4 + 0.02 * std::sin(surface);
    }
};

std::vector<analysis::GazResult> results_of(double total) {
    return {{0, "метан", "", "метан_абс", "", "C1", total * 0.8, 0, 0, false},
            {0, "сумм_газ", "", "сумм_газ", "", "GS", total, 0, 0, true}};
}

struct DrillingRun {
    test::TempDir dir;
    library::ManualClock clock{{2026, 3, 1, 0, 0, 0, 0}};
    settings::LagSettings settings;
    storage::ResultsTable table{clock};
    std::vector<std::string> journal;

    // Plays the rig through a WellDepth; the station sends the bit depth of the moment.
    std::vector<analysis::GasShow> play(const Rig& rig, bool lag_here, int restart_at = -1) {
        settings.sample_depth =
            lag_here ? settings::LagSettings::kLaggedHere : settings::LagSettings::kAsSent;
        settings.lag_strokes = kLag;
        settings.line_delay_seconds = 0;
        EXPECT_TRUE(table.open(dir / "data.tim"));
        auto well = std::make_unique<WellDepth>(settings);
        well->journal = [this](const std::string& line) { journal.push_back(line); };
        well->open(dir.path());
        const double t0 = clock.now_day_number();
        for (int i = 0; i <= kSeconds; ++i) {
            if (i == restart_at) {
                // The program closes for ten minutes; the rig's counter goes on.
                i += 600;
                well = std::make_unique<WellDepth>(settings);
                well->journal = [this](const std::string& line) { journal.push_back(line); };
                well->open(dir.path());
            }
            const auto now = t0 + i * kS;
            const auto u = static_cast<std::size_t>(i);
            well->record(now, static_cast<float>(rig.bit[u]),
                         {rig.bit[u], rig.hole[u], std::nullopt, rig.strokes[u]});
            if (i % kCycle == 0 && i > 0) {
                const float depth = well->sample_depth(static_cast<float>(rig.bit[u]), now);
                const auto results = results_of(rig.total_at_trap(i));
                EXPECT_TRUE(table.append(results, depth));
                well->row_added(table, results, depth, static_cast<float>(rig.bit[u]), now);
            }
        }
        return well->shows();
    }
};

TEST(WellDepthRun, lagged_here_puts_the_show_at_its_depth_and_classes_the_connection_gas) {
    const Rig rig;
    DrillingRun run;
    const auto shows = run.play(rig, true);
    ASSERT_EQ(shows.size(), 2u);
    // The connection at 1060 m, then the show; one sample spacing is 1.2 m of hole.
    EXPECT_EQ(shows[0].show_class, analysis::ShowClass::connection);
    EXPECT_NEAR(shows[0].top, 1060, 1.2 + 0.5);
    EXPECT_EQ(shows[1].show_class, analysis::ShowClass::drilled);
    EXPECT_NEAR(shows[1].top, 1080, 1.2 + 0.5);
    EXPECT_NEAR(shows[1].bottom, 1084, 1.2 + 0.5);
    EXPECT_NEAR(shows[1].peak_total, 3.0, 1e-6);
    EXPECT_NEAR(shows[1].background, 0.4, 0.03);
    // The journal has a line per show, and the file keeps them.
    ASSERT_EQ(run.journal.size(), 2u);
    EXPECT_NE(run.journal[0].find("(газ наращивания)"), std::string::npos);
    EXPECT_EQ(run.journal[1].rfind("Газопоказание 108", 0), 0u) << run.journal[1];
    EXPECT_NE(run.journal[1].find(" м: сумм. газ 3,0 % при фоне 0,4 %, метан 2,4 % (при бурении)"),
              std::string::npos)
        << run.journal[1];
    EXPECT_EQ(storage::load_shows(run.dir / storage::kShowFileName), shows);

    // The row's own depth file keeps the bit depth of the moment beside the lagged one.
    const auto rows = storage::latest_row_depths(run.dir.path() / storage::kRowDepthsFileName);
    ASSERT_EQ(static_cast<int>(rows.size()), run.table.row_count());
    const auto& last = rows.back();
    EXPECT_EQ(last.method, storage::DepthMethod::by_strokes);
    EXPECT_NEAR(last.bit_depth, rig.bit.back(), 0.01);
    EXPECT_NEAR(last.sample_depth, rig.bit[static_cast<std::size_t>(rig.bit_second(kSeconds))],
                0.02);
    EXPECT_EQ(run.table.row(run.table.row_count() - 1)->depth, last.sample_depth);
}

TEST(WellDepthRun, as_sent_the_same_show_comes_out_one_lag_too_deep) {
    const Rig rig;
    DrillingRun run;
    const auto shows = run.play(rig, false);
    ASSERT_EQ(shows.size(), 2u);
    // 30 minutes at 36 m/h: 18 m.
    EXPECT_NEAR(shows[0].top, 1060 + 18, 1.7);
    EXPECT_NEAR(shows[1].top, 1080 + 18, 1.7);
    EXPECT_NEAR(shows[1].bottom, 1084 + 18, 1.7);
    const auto rows = storage::latest_row_depths(run.dir.path() / storage::kRowDepthsFileName);
    EXPECT_EQ(rows.back().method, storage::DepthMethod::as_sent);
}

TEST(WellDepthRun, a_restart_between_cut_and_analysis_keeps_the_lag_and_a_new_lag_moves_rows) {
    const Rig rig;
    DrillingRun run;
    // Closed from 3000 s to 3600 s, while the show's gas travels up.
    const auto shows = run.play(rig, true, 3000);
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_NEAR(shows[1].top, 1080, 1.7);
    EXPECT_NEAR(shows[1].bottom, 1084, 1.7);

    // A carbide test says 3300 strokes: rows since the second hour move up by 300 strokes'
    // worth of drilling (3 minutes, 1.8 m).
    WellDepth well(run.settings);
    well.journal = [&](const std::string& line) { run.journal.push_back(line); };
    well.open(run.dir.path());
    const int row = run.table.row_count() - 1;
    const float before = run.table.row(row)->depth;
    const double since = run.clock.now_day_number() + 7200 * kS;
    const auto line = well.apply_lag(run.table, since, 3300, 30);
    EXPECT_NEAR(run.table.row(row)->depth, before - 1.8, 0.05);
    EXPECT_EQ(
        line.rfind("Отставание изменено с 3000 ходов / 30,0 мин на 3300 ходов / 30,0 мин с ", 0),
        0u)
        << line;
    const int expected_rows = (kSeconds - 7200) / kCycle + 1;
    EXPECT_NE(line.find(": изменено строк " + std::to_string(expected_rows)), std::string::npos)
        << line;
    EXPECT_EQ(run.journal.back(), line);
    const auto rows = storage::latest_row_depths(run.dir.path() / storage::kRowDepthsFileName);
    EXPECT_EQ(rows.back().lag, 3300.0f);
    EXPECT_EQ(rows.back().sample_depth, run.table.row(row)->depth);
}

}  // namespace
}  // namespace vetra::control
