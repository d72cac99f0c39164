#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_calculator.h"
#include "display/chromatogram_plot.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "settings/global_settings.h"
#include "storage/reprocess_trail.h"
#include "storage/reprocessor.h"
#include "storage/results_table.h"
#include "storage/run_file.h"
#include "support/recording_operator.h"
#include "support/synthetic_run.h"
#include "support/temp_dir.h"

using namespace vetra;
using storage::RowState;

namespace {

constexpr int kRate = 10;

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

analysis::EtalonStorage calibration(int gases, double factor_of_gas2 = 1.0) {
    analysis::EtalonStorage c;
    analysis::EtalonPoint p;
    p.repeats = 1;
    for (int g = 0; g < gases; ++g) {
        p.pairs.emplace_back(0.05 * (g + 1) * (g == 2 ? factor_of_gas2 : 1.0), 7.3 + g);
    }
    c.copyPointsFrom({p});
    c.setDegassing(1.13);
    return c;
}

// Runs analyses as the controller does: the samples grow tick by tick, the result list goes
// to the table when complete, and the run file and its companion are written at the end.
struct Station : testing::Test {
    Station() {
        settings.samples_per_second = kRate;
        settings.window_correction = true;
        // Этан's window ends after пропан's, so the gases are not computed in list order
        // (and the total adds them in another order).
        gases.gas(1).end = 45;
        calculator.set_concentration_function(
            [this](int g, double a) { return etalon.concentration(g, a); });
        calculator.results_notification.connect(
            [this](const std::vector<analysis::GazResult>& r, float depth) {
                ASSERT_TRUE(table.append(r, depth));
                stamp = table.row(table.row_count() - 1)->stamp;
            });
        EXPECT_TRUE(table.open(dir / "data.tim"));
        std::filesystem::create_directory(dir / "Analiz");
    }

    // One analysis finished at `end`; its peaks scaled by `size`.
    void cycle(library::LocalTime end, double size = 1.0) {
        clock.set(end);
        stamp = 0;
        ASSERT_TRUE(test::write_synthetic_run({size, 0.0, 1e-7, 4, offset}, kRate, settings, gases,
                                              calculator, samples, stamp, dir.dir(), end));
        offset = calculator.zeroLevel();
    }

    std::vector<storage::ReprocessedRow> rerun(const analysis::EtalonStorage& c) {
        method.calibration = &c;
        return storage::reprocess(table, dir.dir(), from, to, method);
    }

    test::TempDir dir;
    library::ManualClock clock;
    settings::GlobalSettings settings;
    analysis::GazList gases;
    library::LockObject lock;
    test::RecordingOperator op;
    std::vector<analysis::SampleRecord> samples;
    analysis::EtalonStorage etalon = calibration(6);
    analysis::GazCalculator calculator{settings, samples, gases, lock, op, clock};
    storage::ResultsTable table{clock};
    storage::ReprocessMethod method;
    double offset = 0.7071067811865476;
    std::uint32_t stamp = 0;
    std::uint32_t from = storage::time_stamp({2026, 3, 5, 0, 0, 0, 0});
    std::uint32_t to = storage::time_stamp({2026, 3, 6, 0, 0, 0, 0});
};

std::vector<float> values_of(const storage::ResultsTable& t, int row) {
    const auto r = t.row(row);
    return {r->values.begin(), r->values.end()};
}

}  // namespace

TEST(RunExtra, round_trips_and_refuses_damaged_or_foreign_bytes_and_restores_samples_exactly) {
    std::vector<analysis::SampleRecord> samples;
    std::vector<double> points;
    const double offset = 0.1 + 0.2;
    for (int i = 0; i < 500; ++i) {
        const double v = 1.0 / (i + 3) + i * 0.3;  // mostly not exact after the subtraction
        samples.push_back({0, v, i / 10, 0});
        points.push_back(v - offset);
    }
    storage::RunExtra e;
    e.rate = 10;
    e.row_stamp = 1299420420;
    e.replaced_stamps = {5, 6};
    e.gases.push_back({"метан", "C1", 255, 10, 15, 230});
    storage::keep_samples(e, points, samples, offset);
    EXPECT_FALSE(e.patches.empty());
    std::vector<std::int32_t> seconds;
    const auto back = storage::restore_samples(e, points, seconds);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(std::memcmp(&back[i].value, &samples[i].value, sizeof(double)), 0) << i;
    }

    const std::string bytes = storage::encode_run_extra(e);
    EXPECT_EQ(storage::decode_run_extra(bytes), e);
    for (const std::size_t at : {std::size_t{3}, bytes.size() / 2, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] ^= 0x40;
        EXPECT_FALSE(storage::decode_run_extra(damaged)) << at;
    }
    EXPECT_FALSE(storage::decode_run_extra(bytes.substr(0, bytes.size() - 9)));
    EXPECT_FALSE(storage::decode_run_extra("VetraGazCurve\1"));
}

// The rows come out bit for bit with the calibration that made them, change with another
// only where the corrected gas reaches (its value, the total and every share), and a row
// without a run file is listed and left alone. Applying and undoing go through the trail.
TEST_F(Station, rerun_reproduces_rows_exactly_then_applies_and_undoes_through_the_trail) {
    cycle({2026, 3, 5, 14, 7, 40, 0});
    cycle({2026, 3, 5, 14, 9, 40, 0}, 1.4);
    clock.set({2026, 3, 5, 15, 0, 0, 0});
    auto list = calculator.results();
    ASSERT_TRUE(table.append(list, 3.0f));  // a row whose analysis left no run file
    ASSERT_EQ(table.row_count(), 3);
    const auto before = std::vector{values_of(table, 0), values_of(table, 1), values_of(table, 2)};

    auto rows = rerun(etalon);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].state, RowState::recomputed);
    EXPECT_EQ(rows[1].state, RowState::recomputed);
    EXPECT_EQ(rows[2].state, RowState::no_run_file);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(rows[r].cells.size(), 13u);
        EXPECT_EQ(rows[r].changed_cells(), 0) << r;
    }

    const auto fixed = calibration(6, 1.2);
    rows = rerun(fixed);
    for (int r = 0; r < 2; ++r) {
        for (const auto& c : rows[r].cells) {
            const bool reached = c.key == "пропан_абс" || c.key.find("_отн") != std::string::npos ||
                                 c.key == "сумм_газ";
            EXPECT_EQ(c.changed(), reached) << c.key;
            if (c.key == "пропан_абс") {
                EXPECT_NEAR(c.new_value, c.old_value * 1.2, 1e-6 * c.old_value);
            }
        }
    }

    storage::ReprocessTrail trail(dir / storage::kTrailFileName);
    storage::TrailNote note{
        from, to, "исправленная", "", "как при анализе", "разбавление\tневерно"};
    const auto applied = storage::apply_reprocessing(table, trail, rows, note, clock);
    ASSERT_TRUE(applied.ok) << applied.message;
    EXPECT_EQ(applied.rows, 2);
    EXPECT_EQ(applied.cells, rows[0].changed_cells() + rows[1].changed_cells());
    for (int r = 0; r < 2; ++r) {
        for (const auto& c : rows[r].cells) {
            EXPECT_TRUE(same_bits(table.row(r)->values[c.column], c.new_value));
        }
    }
    EXPECT_EQ(values_of(table, 2), before[2]);
    EXPECT_EQ(rerun(fixed)[0].changed_cells(), 0);  // the rows are what the method gives

    storage::ReprocessTrail read(trail.path());
    ASSERT_TRUE(read.load());
    ASSERT_EQ(read.entries().size(), 1u);
    EXPECT_EQ(read.entries()[0].state, storage::TrailState::committed);
    EXPECT_EQ(read.entries()[0].reason, "разбавление\tневерно");
    EXPECT_EQ(static_cast<int>(read.entries()[0].cells.size()), applied.cells);

    const auto undone = storage::undo_reprocessing(table, trail, 0, "ошибка", clock);
    ASSERT_TRUE(undone.ok) << undone.message;
    for (int r = 0; r < 3; ++r) {
        const auto now = values_of(table, r);
        for (std::size_t i = 0; i < now.size(); ++i) {
            EXPECT_TRUE(same_bits(now[i], before[static_cast<std::size_t>(r)][i])) << r << i;
        }
    }
    ASSERT_TRUE(read.load());
    EXPECT_TRUE(read.undone(1));
    EXPECT_EQ(read.last_undoable(), nullptr);
    EXPECT_FALSE(storage::undo_reprocessing(table, trail, 0, "", clock).ok);
    EXPECT_NE(storage::journal_text(read.entries()[0]).find("изменено значений"),
              std::string::npos);
}

// The format keeps one run file a minute: the second analysis of a minute replaces the
// first's file, whose row must not take the second's values. A run file changed after its
// companion was written is not trusted either.
TEST_F(Station, a_run_file_replaced_within_its_minute_or_changed_is_detected) {
    cycle({2026, 3, 5, 14, 7, 10, 0});
    cycle({2026, 3, 5, 14, 7, 55, 0}, 1.4);
    auto rows = rerun(etalon);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].state, RowState::replaced);
    EXPECT_EQ(rows[1].state, RowState::recomputed);
    EXPECT_EQ(rows[1].changed_cells(), 0);

    const auto run = dir / "Analiz/2026-03-05/14-07.rzg";
    auto bytes = *library::read_whole_file(run);
    bytes[bytes.size() - 3] ^= 1;
    ASSERT_TRUE(library::write_file_atomically(run, bytes));
    EXPECT_EQ(rerun(etalon)[1].state, RowState::replaced);
}

// An apply cancelled half way puts the rows written back; one a crash left begun is
// completed on the next start, whichever of its rows were written.
TEST_F(Station, a_cancelled_apply_restores_and_an_unfinished_one_is_completed) {
    for (int m = 0; m < 4; ++m) {
        cycle({2026, 3, 5, 10, 2 * m, 30, 0});
    }
    const auto fixed = calibration(6, 0.8);
    const auto rows = rerun(fixed);
    std::vector<std::vector<float>> before;
    for (int r = 0; r < 4; ++r) {
        before.push_back(values_of(table, r));
    }
    storage::ReprocessTrail trail(dir / storage::kTrailFileName);
    const auto cancelled = storage::apply_reprocessing(table, trail, rows, {}, clock,
                                                       [](int done, int) { return done < 2; });
    EXPECT_FALSE(cancelled.ok);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(values_of(table, r), before[static_cast<std::size_t>(r)]);
    }
    ASSERT_TRUE(trail.load());
    EXPECT_EQ(trail.entries().back().state, storage::TrailState::cancelled);

    // A crash after the entry and two of the four rows.
    storage::TrailEntry entry;
    for (const auto& r : rows) {
        for (const auto& c : r.cells) {
            if (c.changed()) {
                entry.cells.push_back({r.row, r.stamp, c.key, c.column, c.old_value, c.new_value});
            }
        }
    }
    ASSERT_TRUE(trail.begin(entry));
    for (int r = 0; r < 2; ++r) {
        std::vector<std::pair<int, float>> cells;
        for (const auto& c : rows[static_cast<std::size_t>(r)].cells) {
            cells.emplace_back(c.column, c.new_value);
        }
        ASSERT_TRUE(table.write_values(r, rows[static_cast<std::size_t>(r)].stamp, cells));
    }
    storage::ReprocessTrail reopened(trail.path());
    EXPECT_EQ(storage::recover_reprocessing(table, reopened, clock), 1);
    for (int r = 0; r < 4; ++r) {
        for (const auto& c : rows[static_cast<std::size_t>(r)].cells) {
            EXPECT_TRUE(same_bits(table.row(r)->values[c.column], c.new_value)) << r;
        }
    }
    EXPECT_EQ(reopened.entries().back().state, storage::TrailState::recovered);
    EXPECT_EQ(storage::recover_reprocessing(table, reopened, clock), 0);
    EXPECT_EQ(reopened.last_undoable()->id, entry.id);
}
