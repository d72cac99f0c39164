// The built-in totalizer: scaling, the per-second average, its delivery and the log file.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/chromatograph_link.h"
#include "control/mess_caller.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "settings/global_settings.h"
#include "storage/totalizer_file.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

namespace vetra::control {
namespace {

using namespace std::chrono_literals;
using analysis::kTotalizerLogCapacity;
using analysis::TotalizerLog;

class TotalizerTest : public ::testing::Test {
protected:
    TotalizerTest() {
        settings.device_type = settings::kModelVelon;
        settings.totalizer_use = true;
        link = std::make_unique<ChromatographLink>(settings, data_lock, calls, op, clock);
        link->send_totalizer = [this](double v) { sent.push_back(v); };
        link->depth_for_log = [this] { return depth; };
        link->totalizer_panels_changed = [this] { ++panel_refreshes; };
    }

    void value(double x) {
        link->totalizer_value(x, false);
        calls.run_pending();
    }
    void scaled(int channel, double reading) {
        link->totalizer_scaling(channel, reading);
        calls.run_pending();
    }

    settings::GlobalSettings settings;
    library::LockObject data_lock;
    MessCaller calls;
    test::RecordingOperator op;
    library::ManualClock clock;
    std::unique_ptr<ChromatographLink> link;
    std::vector<double> sent;
    double depth = 0.0;
    int panel_refreshes = 0;
};

// --- the per-second average ------------------------------------------------------------

struct Step {
    int advance_ms;  // before the reading
    double x;
};
struct AverageCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<double> delivered;
};

class Averaging : public TotalizerTest, public ::testing::WithParamInterface<AverageCase> {};

TEST_P(Averaging, delivers_one_average_per_second) {
    for (const Step& s : GetParam().steps) {
        clock.advance(std::chrono::milliseconds(s.advance_ms));
        value(s.x);
    }
    EXPECT_EQ(sent, GetParam().delivered);
    ASSERT_FALSE(sent.empty());
    EXPECT_DOUBLE_EQ(link->current_average(), sent.back());
    EXPECT_EQ(link->totalizer_log().size(), sent.size());
}

INSTANTIATE_TEST_SUITE_P(
    Totalizer, Averaging,
    ::testing::Values(
        // The first reading is delivered at once; the 10.0 that opens the next second is in
        // no sum.
        AverageCase{"readings_within_a_second_average",
                    {{0, 7.0}, {100, 1.0}, {100, 2.0}, {100, 3.0}, {1000, 10.0}},
                    {7.0, 2.0}},
        AverageCase{"negative_and_non_numbers_count_as_zero",
                    {{0, -3.0}, {10, -1.0}, {10, 4.0}, {10, std::nan("")}, {2000, 9.0}},
                    {0.0, 4.0 / 3.0}},
        // A second with no readings in it delivers the reading that ends the gap.
        AverageCase{"an_empty_second_delivers_the_new_reading",
                    {{0, 1.0}, {5000, 6.0}, {1000, 8.0}},
                    {1.0, 6.0, 8.0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TotalizerTest, each_average_is_logged_with_its_time_and_the_depth_of_that_moment) {
    depth = 1234.56;
    value(2.5);
    clock.advance(1500ms);
    depth = 0.0;
    value(3.5);
    const TotalizerLog& log = link->totalizer_log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log.time(0), library::to_day_number(library::LocalTime{2026, 1, 1, 12, 0, 0, 0}));
    EXPECT_EQ(log.time(1), library::to_day_number(library::LocalTime{2026, 1, 1, 12, 0, 1, 0}));
    EXPECT_FLOAT_EQ(log.value(0), 2.5f);
    EXPECT_FLOAT_EQ(log.depth(0), 1234.56f);
    EXPECT_FLOAT_EQ(log.depth(1), 0.0f);
}

// The clock set back an hour (or summer time ending). Averages (built-in) and log entries
// (external reader) still come once a second, stamped with the local time.
TEST_F(TotalizerTest, averages_go_on_every_second_when_the_local_time_goes_back) {
    value(1.0);
    link->take_external_reading(1.0);
    clock.set({2026, 1, 1, 11, 0, 0, 0});  // an hour back
    for (int i = 0; i < 12; ++i) {
        clock.advance(250ms);
        value(2.0);
        link->take_external_reading(2.0);
    }
    EXPECT_EQ(sent, (std::vector<double>{1.0, 2.0, 2.0, 2.0}));
    const TotalizerLog& log = link->totalizer_log();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log.time(7), library::to_day_number(library::LocalTime{2026, 1, 1, 11, 0, 3, 0}));
}

TEST_F(TotalizerTest, the_absence_notice_is_shown_even_within_a_second_of_an_average) {
    value(4.0);
    link->totalizer_value(0.0, true);  // same second: averaged as a 0, but still shown
    calls.run_pending();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text,
              "Газосумматор не найден! Использование внутреннего газосумматора не возможно!");
    EXPECT_EQ(op.messages[0].caption, "  ОШИБКА");
    EXPECT_EQ(panel_refreshes, 1);
    clock.advance(1s);
    link->totalizer_value(0.0, true);
    calls.run_pending();
    EXPECT_EQ(op.messages.size(), 2u);
    // The notice is neither sent nor logged; its zero joined the average it fell into.
    EXPECT_EQ(sent, std::vector<double>{4.0});
    EXPECT_EQ(link->totalizer_log().size(), 1u);
    EXPECT_DOUBLE_EQ(link->current_average(), 0.0);
}

// --- the two ranges and the zero -------------------------------------------------------

TEST_F(TotalizerTest, the_high_range_takes_over_above_porog_and_silences_the_low_range) {
    settings.totalizer_porog = 5.0f;
    settings.summ_max1 = 1.0;
    settings.summ_max10 = 10.0;
    settings.totalizer_null = 0.25f;
    settings.totalizer_null10 = 0.5f;
    scaled(1, 3.0);  // (3 + 0.25) x 1 x 0.1
    clock.advance(1s);
    scaled(2, 6.0);  // (6 + 0.5) x 10 x 0.1
    clock.advance(1s);
    scaled(1, 9.9);  // saturated low range: ignored
    clock.advance(1s);
    scaled(2, 5.0);  // not above porog: low range again
    scaled(1, 2.0);  // (2 + 0.25) x 0.1, opens a new second
    EXPECT_EQ(sent.size(), 3u);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_NEAR(sent[0], 0.325, 1e-6);
    EXPECT_NEAR(sent[1], 6.5, 1e-6);
    EXPECT_NEAR(sent[2], 0.225, 1e-6);
    EXPECT_FALSE(settings.totalizer_high_range.load());
}

TEST_F(TotalizerTest, a_zero_setting_keeps_the_negated_largest_reading_and_produces_nothing) {
    settings.totalizer_null = 0.7f;
    settings.totalizer_high_range = true;
    link->start_zero_setting();
    EXPECT_EQ(settings.totalizer_null.load(), 0.0f);
    EXPECT_FALSE(settings.totalizer_high_range.load());
    for (double r : {0.2, 0.5, 0.1}) {
        scaled(1, r);
        scaled(2, r / 10);
    }
    EXPECT_TRUE(sent.empty());
    link->finish_zero_setting();
    EXPECT_FLOAT_EQ(settings.totalizer_null.load(), -0.5f);
    EXPECT_FLOAT_EQ(settings.totalizer_null10.load(), -0.05f);
    scaled(1, 0.5);  // clean air reads 0
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NEAR(sent[0], 0.0, 1e-7);
}

// --- the log and its file --------------------------------------------------------------

TEST(TotalizerLogRing, holds_three_days_and_one_and_drops_the_oldest_after) {
    TotalizerLog log;
    const std::size_t n = kTotalizerLogCapacity + 5;
    for (std::size_t i = 0; i < n; ++i) {
        log.append(static_cast<double>(i), static_cast<float>(i % 1000), 0.0f);
    }
    ASSERT_EQ(log.size(), kTotalizerLogCapacity);
    EXPECT_EQ(log.time(0), 5.0);
    EXPECT_EQ(log.time(kTotalizerLogCapacity - 1), static_cast<double>(n - 1));
    EXPECT_EQ(log.lower_bound(1000.5), 1000u - 5u + 1u);
    EXPECT_LE(log.memory_bytes(), 8u * 1024 * 1024);
}

std::string header(std::int32_t channels, std::int32_t count, char version = 1) {
    std::string h = "VetraSummCurv3";
    h.push_back(version);
    h.append(reinterpret_cast<const char*>(&channels), 4);
    h.append(reinterpret_cast<const char*>(&count), 4);
    return h;
}

std::string record(double time, std::vector<float> pairs) {
    std::string r(reinterpret_cast<const char*>(&time), 8);
    r.append(reinterpret_cast<const char*>(pairs.data()), pairs.size() * 4);
    return r;
}

class TotalizerFile : public TotalizerTest {
protected:
    test::TempDir dir;
    std::filesystem::path path = dir / "gsumm.dat";
};

TEST_F(TotalizerFile, saves_byte_exact_and_loads_what_it_saved) {
    TotalizerLog& log = link->totalizer_log();
    log.append(46000.5, 1.25f, 100.5f);
    log.append(46000.75, 0.0f, 0.0f);
    ASSERT_TRUE(link->save_totalizer_log(path));
    EXPECT_EQ(test::read_bytes(path),
              header(1, 2) + record(46000.5, {1.25f, 100.5f}) + record(46000.75, {0.0f, 0.0f}));
    link->set_channel_count(1);
    link->load_totalizer_log(path);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log.time(1), 46000.75);
    EXPECT_FLOAT_EQ(log.depth(0), 100.5f);
}

TEST_F(TotalizerFile, an_empty_log_leaves_the_file_as_it_was) {
    ASSERT_TRUE(link->save_totalizer_log(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    test::write_bytes(path, "old");
    ASSERT_TRUE(link->save_totalizer_log(path));
    EXPECT_EQ(test::read_bytes(path), "old");
}

TEST_F(TotalizerFile, a_channel_count_of_two_from_the_file_gives_every_later_record_two_pairs) {
    test::write_bytes(path, header(2, 1) + record(46000.0, {3.0f, 10.0f, 7.0f, 8.0f}));
    link->load_totalizer_log(path);
    EXPECT_EQ(link->channel_count(), 2);
    value(5.0);
    ASSERT_TRUE(link->save_totalizer_log(path));
    const std::string bytes = test::read_bytes(path);
    ASSERT_EQ(bytes.size(), 23u + 2 * 24u);
    EXPECT_EQ(bytes.substr(0, 23), header(2, 2));
    // The other channel of the file's record survives; ours carries (0, 0).
    EXPECT_EQ(bytes.substr(23, 24), record(46000.0, {3.0f, 10.0f, 7.0f, 8.0f}));
    float pairs[4];
    std::memcpy(pairs, bytes.data() + 23 + 24 + 8, sizeof pairs);
    EXPECT_EQ(pairs[0], 5.0f);
    EXPECT_EQ(pairs[2], 0.0f);
    EXPECT_EQ(pairs[3], 0.0f);
}

struct LoadCase {
    const char* name;
    std::string bytes;
    bool stays;  // the file is still there afterwards
    std::size_t records;
};

class HostileFile : public TotalizerFile, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(HostileFile, loads_what_is_there_and_never_more) {
    link->totalizer_log().append(1.0, 1.0f, 0.0f);
    test::write_bytes(path, GetParam().bytes);
    link->load_totalizer_log(path);
    EXPECT_EQ(std::filesystem::exists(path), GetParam().stays);
    EXPECT_EQ(link->totalizer_log().size(), GetParam().records);
}

const std::string kTwo = record(1.0, {1.0f, 0.0f}) + record(2.0, {2.0f, 0.0f});

INSTANTIATE_TEST_SUITE_P(
    Totalizer, HostileFile,
    ::testing::Values(LoadCase{"foreign_header_is_deleted", "VetraSummCurv4" + kTwo, false, 1},
                      LoadCase{"version_2_stays_unloaded", header(1, 2, 2) + kTwo, true, 1},
                      LoadCase{"huge_record_count", header(1, INT_MAX) + kTwo, true, 2},
                      LoadCase{"negative_record_count", header(1, -7) + kTwo, true, 0},
                      LoadCase{"huge_channel_count", header(INT_MAX, 2) + kTwo, true, 1},
                      LoadCase{"negative_channel_count", header(-1, 2) + kTwo, true, 1},
                      LoadCase{"truncated_record", header(1, 2) + kTwo.substr(0, 20), true, 1},
                      LoadCase{"truncated_header", header(1, 2).substr(0, 17), true, 0},
                      LoadCase{"shorter_than_the_marker", "Vetra", true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TotalizerFile, a_file_of_more_than_three_days_keeps_the_newest) {
    std::string bytes = header(1, static_cast<std::int32_t>(kTotalizerLogCapacity + 3));
    for (std::size_t i = 0; i < kTotalizerLogCapacity + 3; ++i) {
        bytes += record(static_cast<double>(i), {1.0f, 0.0f});
    }
    test::write_bytes(path, bytes);
    link->load_totalizer_log(path);
    ASSERT_EQ(link->totalizer_log().size(), kTotalizerLogCapacity);
    EXPECT_EQ(link->totalizer_log().time(0), 3.0);
}

}  // namespace
}  // namespace vetra::control
