#include <gtest/gtest.h>

#include <cmath>

#include "storage/depth_history.h"
#include "support/temp_dir.h"

namespace vetra::storage {
namespace {

constexpr double kT0 = 46000.5;  // a day number
constexpr double kS = 1.0 / 86400.0;

// Drilling from 1000 m at 0.01 m/s with 100 strokes a minute; the hook `rig` may change a
// second's sample (pumps off, bit lifted).
template <typename Rig>
DepthHistory drill(int seconds, Rig rig) {
    DepthHistory h;
    double strokes = 0;
    float hole = 1000;
    for (int i = 0; i <= seconds; ++i) {
        DepthSample s;
        s.time = kT0 + i * kS;
        float bit = 1000 + 0.01f * static_cast<float>(i);
        double rate = 100;
        rig(i, bit, rate);
        hole = std::max(hole, bit);
        strokes += i > 0 ? rate / 60.0 : 0.0;
        s.bit_depth = bit;
        s.hole_depth = hole;
        s.strokes = strokes;
        s.strokes_live = rate >= 0;
        EXPECT_TRUE(h.add(s));
    }
    return h;
}

TEST(DepthHistoryLag, by_strokes_stands_still_with_the_pumps_off_and_by_time_cannot) {
    // Pumps off from 1000 s to 1300 s with the bit lifted 3 m, as at a connection.
    const auto h = drill(2000, [](int i, float& bit, double& rate) {
        if (i >= 1000 && i < 1300) {
            rate = 0;
            bit = 1000 + 0.01f * 1000 - 3;
        } else if (i >= 1300) {
            bit = 1000 + 0.01f * static_cast<float>(i - 300);
        }
    });
    const LagParameters lag{600, 6, 0};  // 600 strokes = 6 minutes at 100 a minute
    const auto at = [&](int s) { return h.lagged_depth(kT0 + s * kS, lag); };
    ASSERT_TRUE(at(1000));
    EXPECT_TRUE(at(1000)->by_strokes);
    EXPECT_NEAR(at(1000)->bit_depth, 1006.4, 0.02);
    // While the pumps stand the sample at the trap does not change.
    EXPECT_NEAR(at(1100)->bit_depth, 1006.4, 0.02);
    EXPECT_NEAR(at(1299)->bit_depth, 1006.4, 0.02);
    EXPECT_NEAR((at(1299)->bit_time - kT0) / kS, 640, 1.5);
    // 100 s of pumping after the restart moves it on by 100 s of drilling.
    EXPECT_NEAR(at(1400)->bit_depth, 1007.4, 0.03);
    // Mud pumped before the pause and after it: the time lag would say 1400 - 360 = 1040 s,
    // when the bit was lifted.
    const LagParameters by_time{0, 6, 0};
    DepthHistory no_strokes = drill(2000, [](int, float&, double& rate) { rate = -1; });
    const auto t = no_strokes.lagged_depth(kT0 + 1400 * kS, by_time);
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->by_strokes);
    EXPECT_NEAR(t->bit_depth, 1010.4, 0.02);
    // Before the history began there is no depth to give.
    EXPECT_FALSE(h.lagged_depth(kT0 + 100 * kS, lag));
    EXPECT_FALSE(no_strokes.lagged_depth(kT0 + 100 * kS, by_time));
    // The line delay comes off first.
    EXPECT_NEAR(h.lagged_depth(kT0 + 1060 * kS, {600, 6, 60})->bit_depth, 1006.4, 0.02);
}

TEST(DepthHistoryLag, reaming_gives_the_bit_depth_of_the_moment_and_the_class_context) {
    // 1500..1700 s: the bit pulled back 20 m and run in again while pumping; 3000..5000 s a
    // trip: the bit 500 m off bottom, pumps off, then back.
    const auto h = drill(6000, [](int i, float& bit, double& rate) {
        const float hole = 1000 + 0.01f * 1500;
        if (i >= 1500 && i < 1600) {
            bit = hole - 0.2f * static_cast<float>(i - 1500);
        } else if (i >= 1600 && i < 1700) {
            bit = hole - 20 + 0.2f * static_cast<float>(i - 1600);
        } else if (i >= 1700 && i < 3000) {
            bit = hole;
        } else if (i >= 3000 && i < 5000) {
            bit = hole - 500;
            rate = 0;
        } else if (i >= 5000) {
            bit = hole + 0.001f * static_cast<float>(i - 5000);
        }
    });
    const LagParameters lag{600, 6, 0};
    const auto reaming = h.lagged_depth(kT0 + (1600 + 360) * kS, lag);
    ASSERT_TRUE(reaming);
    EXPECT_NEAR(reaming->bit_depth, 1015 - 20, 0.1);
    EXPECT_NEAR(reaming->hole_depth, 1015, 0.01);
    EXPECT_FALSE(h.context_at(reaming->bit_time).after_connection);
    EXPECT_FALSE(h.context_at(kT0 + 800 * kS).after_trip);
    EXPECT_TRUE(h.context_at(kT0 + 5100 * kS).after_trip);
    EXPECT_FALSE(h.context_at(kT0 + 5100 * kS).after_connection);
}

TEST(DepthHistoryFile, survives_a_torn_and_a_damaged_block_and_restarts_its_strokes) {
    test::TempDir dir;
    const auto path = dir / kDepthHistoryFileName;
    DepthHistory h;
    h.open(path);
    StrokeCounter counter;
    for (int i = 0; i < 10; ++i) {
        const double total = 5000 + i * 2;  // the rig's counter
        DepthSample s{kT0 + i * kS, 1000.0f + static_cast<float>(i), 1000.0f + i, 0, 0, false};
        s.strokes = counter.update(s.time, std::nullopt, total);
        s.strokes_live = counter.live();
        s.rig_total = counter.rig_total();
        ASSERT_TRUE(h.add(s));
    }
    EXPECT_FALSE(h.add(*h.last()));  // not a second later
    std::string bytes = test::read_bytes(path);
    ASSERT_EQ(bytes.size(), 10 * kDepthRecordSize);
    bytes[3 * kDepthRecordSize + 9] ^= 0x55;  // damaged
    bytes += bytes.substr(0, 17);             // torn
    test::write_bytes(path, bytes);

    DepthHistory again;
    again.open(path);
    ASSERT_EQ(again.samples().size(), 9u);
    EXPECT_EQ(again.samples()[3].bit_depth, 1004.0f);
    EXPECT_EQ(test::read_bytes(path).size() % kDepthRecordSize, 0u);
    // After a restart the counter goes on from the file, and what the rig pumped meanwhile
    // (its counter moved on by 100 in 60 s) is counted.
    StrokeCounter restarted;
    restarted.seed(again.last());
    EXPECT_DOUBLE_EQ(restarted.update(kT0 + 69 * kS, std::nullopt, 5118.0), 18.0 + 100.0);
    // A counter that went back was reset: nothing is counted for that step.
    EXPECT_DOUBLE_EQ(restarted.update(kT0 + 70 * kS, std::nullopt, 3.0), 118.0);
    // Rates are integrated when there is no counter.
    EXPECT_NEAR(restarted.update(kT0 + 73 * kS, 60.0, std::nullopt), 121.0, 1e-6);
    EXPECT_NEAR(restarted.update(kT0 + 74 * kS, std::nullopt, std::nullopt), 121.0, 1e-6);
    EXPECT_FALSE(restarted.live());

    // A record more than the kept week after the first cuts the file back to that week.
    DepthSample late = *again.last();
    late.time += 8.5;
    ASSERT_TRUE(again.add(late));
    DepthHistory cut;
    cut.open(path);
    ASSERT_EQ(cut.samples().size(), 1u);
    EXPECT_EQ(cut.samples()[0], late);
}

}  // namespace
}  // namespace vetra::storage
