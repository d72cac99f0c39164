#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "control/chromatograph_link.h"
#include "control/mess_caller.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "settings/global_settings.h"
#include "support/recording_operator.h"

namespace vetra::control {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Demonstration mode: no port is named or touched; frames are made up by the thread.
class DemoTest : public ::testing::Test {
protected:
    void make_link() {
        settings.demo = true;
        settings.port_name = "/dev/vetra-no-such-port";
        link = std::make_unique<ChromatographLink>(settings, data_lock, calls, op, clock);
        link->set_port_params(settings.port_name, 19200, 0, 0);
        link->on_totalizer_missing = [this] { ++missing_calls; };
    }
    // A hang guard, not a speed check.
    bool drive_until_idle(std::chrono::seconds limit = 60s) {
        const auto deadline = SteadyClock::now() + limit;
        while (!link->idle()) {
            if (SteadyClock::now() > deadline) {
                return false;
            }
            calls.wait_and_run(20ms);
        }
        calls.run_pending();
        return true;
    }
    // The largest value a demonstration frame can carry (2 x 3999, or a totalizer reading
    // of up to 8190 on model 0), in millivolts.
    double largest_mv() const {
        const double scale =
            std::pow(2.0, settings.adc_bits) *
            std::pow(static_cast<double>(settings.range_factor), settings.adc_ranges - 1);
        return 8191.0 * 1000.0 * settings.input_voltage / scale;
    }

    settings::GlobalSettings settings;
    library::LockObject data_lock;
    MessCaller calls;
    test::RecordingOperator op;
    library::ManualClock clock;
    std::unique_ptr<ChromatographLink> link;
    int missing_calls = 0;
};

TEST_F(DemoTest, a_cycle_at_8_points_per_second_is_120_seconds_of_signal_and_ends_normally) {
    settings.samples_per_second = 8;
    make_link();
    ASSERT_TRUE(link->start_cycle());
    EXPECT_FALSE(link->port().is_open());
    ASSERT_TRUE(drive_until_idle());
    EXPECT_EQ(link->status(), -100);
    // 48 000 frames one tick apart make 47 999 ticks after the first: 959 blocks of 50,
    // the last at 47 950 ticks = 119 s.
    ASSERT_EQ(link->sample_count(), 959);
    EXPECT_EQ(link->sample_at(0).seconds, 0);
    EXPECT_EQ(link->sample_at(958).seconds, 119);
    EXPECT_EQ(link->elapsed_seconds(), 119);
    double low = 1e9;
    double high = -1e9;
    for (int i = 0; i < link->sample_count(); ++i) {
        const analysis::SampleRecord& r = link->sample_at(i);
        // 50 x 8 ticks per second.
        EXPECT_EQ(r.seconds, (i + 1) * 50 / 400) << "point " << i;
        low = std::min(low, r.value);
        high = std::max(high, r.value);
    }
    EXPECT_GE(low, 0.0);
    EXPECT_LE(high, largest_mv());
    EXPECT_GT(high - low, 0.25 * largest_mv());  // a sine of at least 2000 x 2 is there
}

struct DemoCase {
    const char* name;
    std::int32_t device_type;
    bool totalizer_use;
    std::int32_t screen_seconds;
    int points;
    std::int32_t present_after;
};

class DemoCycle : public DemoTest, public ::testing::WithParamInterface<DemoCase> {};

TEST_P(DemoCycle, at_one_point_per_second) {
    const DemoCase& c = GetParam();
    settings.samples_per_second = 1;
    settings.device_type = c.device_type;
    settings.totalizer_use = c.totalizer_use;
    settings.screen_seconds = c.screen_seconds;
    make_link();
    ASSERT_TRUE(link->start_cycle());
    ASSERT_TRUE(drive_until_idle());
    EXPECT_EQ(link->status(), -100);
    // 6000 frames: 5999 ticks, 119 blocks at 1..119 s, kept up to the window.
    EXPECT_EQ(link->sample_count(), c.points);
    EXPECT_EQ(link->elapsed_seconds(), 119);
    // The first frame is a totalizer reading: model 1 knows its totalizer from it, whether
    // or not it is used; model 0 takes it as a sample and learns nothing.
    EXPECT_EQ(settings.totalizer_present.load(), c.present_after);
    EXPECT_EQ(settings.totalizer_use.load(), c.totalizer_use);
    EXPECT_EQ(missing_calls, 0);
    EXPECT_TRUE(op.messages.empty());
    for (int i = 0; i < link->sample_count(); ++i) {
        EXPECT_EQ(link->sample_at(i).seconds, i + 1);
        EXPECT_LE(link->sample_at(i).value, largest_mv());
        EXPECT_GE(link->sample_at(i).value, 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, DemoCycle,
    ::testing::Values(DemoCase{"td5", settings::kModelTd5, true, 120, 119, 0},
                      DemoCase{"velon_with_totalizer", settings::kModelVelon, true, 120, 119, 1},
                      DemoCase{"velon_without_totalizer", settings::kModelVelon, false, 120, 119,
                               1},
                      DemoCase{"window_of_10_seconds", settings::kModelTd5, false, 10, 10, 0},
                      DemoCase{"window_of_0_seconds", settings::kModelVelon, true, 0, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DemoTest, a_totalizer_stream_finds_the_built_in_totalizer_and_delivers_no_points) {
    settings.samples_per_second = 1;
    settings.device_type = settings::kModelVelon;
    settings.totalizer_use = true;
    make_link();
    ASSERT_TRUE(link->start_totalizer_stream());
    EXPECT_TRUE(link->totalizer_mode());
    ASSERT_TRUE(drive_until_idle());
    EXPECT_FALSE(link->totalizer_mode());
    EXPECT_EQ(link->status(), -100);
    EXPECT_EQ(link->sample_count(), 0);
    EXPECT_EQ(settings.totalizer_present.load(), 1);
    EXPECT_TRUE(settings.totalizer_use.load());
    EXPECT_EQ(missing_calls, 0);
}

TEST_F(DemoTest, stopping_a_demonstration_ends_it_at_once_with_its_points_so_far) {
    settings.samples_per_second = 8;
    make_link();
    ASSERT_TRUE(link->start_cycle());
    const auto deadline = SteadyClock::now() + 30s;
    while (link->sample_count() < 5 && SteadyClock::now() < deadline) {
        calls.wait_and_run(10ms);
    }
    ASSERT_GE(link->sample_count(), 5);
    link->stop_acquisition();
    EXPECT_TRUE(link->idle());
    EXPECT_EQ(link->status(), -100);
    calls.run_pending();
    EXPECT_LT(link->sample_count(), 959);
}

}  // namespace
}  // namespace vetra::control
