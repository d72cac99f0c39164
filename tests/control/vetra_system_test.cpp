#include "control/vetra_system.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/cp1251.h"
#include "link/chromatograph_port.h"
#include "support/temp_dir.h"
#include "system_rig.h"

namespace vetra::control {
namespace {

using namespace std::chrono_literals;

using namespace rig;

// --- cycle ------------------------------------------------------------------------------

TEST_F(VetraSystemTest, a_demonstration_cycle_runs_until_its_end_reaches_the_main_thread) {
    system.start_analysis();
    EXPECT_EQ(system.state(), 0);
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(system.link().idle());

    tick();
    EXPECT_EQ(system.state(), 0);
    ASSERT_TRUE(wait_idle());
    EXPECT_GT(system.link().sample_count(), 0);
    EXPECT_EQ(system.state(), 0);  // only the next tick looks at the link
    tick();
    EXPECT_EQ(system.state(), 1);
    EXPECT_EQ(finished, std::vector<int>{analysis::kStatusNoError});
    // The finished chromatogram, complete, went to the history before cycle-finished.
    EXPECT_EQ(system.view().point_count(), system.link().sample_count());
    ASSERT_EQ(system.history().count(), 1);
    EXPECT_EQ(system.history().entry(0).point_count(), system.link().sample_count() - 1);  // R 1
    tick();
    EXPECT_EQ(started, 1);  // manual mode starts nothing by itself
}

TEST_F(VetraSystemTest, a_start_while_a_cycle_runs_does_nothing) {
    system.start_analysis();
    system.start_analysis();
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(system.start_pending());
}

TEST_F(VetraSystemTest, calls_queued_by_a_stopped_run_do_not_reach_the_next_one) {
    system.start_analysis();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (system.calls().pending() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    system.link().stop_acquisition();  // its points and its own end call stay queued
    tick();
    ASSERT_EQ(system.state(), 1);
    system.start_analysis();
    system.calls().run_pending();
    EXPECT_FALSE(system.link().idle());
    // At one point per second of device ticks, the n-th point of a run is stamped n.
    const auto& samples = system.link().samples();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].seconds, static_cast<std::int32_t>(i + 1));
    }
    tick();
    EXPECT_EQ(system.state(), 0);
}

// --- work modes -------------------------------------------------------------------------

TEST_F(VetraSystemTest, time_mode_starts_the_next_cycle_when_the_counter_has_passed_the_period) {
    system.set_work_mode(kByTime);
    system.set_time_mode_period(60);
    tick();  // the seconds count has seen the clock once
    system.start_analysis();
    ASSERT_EQ(started, 1);
    const double first_start = clock.now_day_number();

    int counter_before = 0;
    for (int i = 0; i < 400 && started == 1; ++i) {
        if (i == 75) {
            // The interval runs from the previous start, also while that cycle runs.
            EXPECT_GT(system.seconds_counter(), 25);
            finish_cycle();
            EXPECT_EQ(system.state(), 1);
            continue;
        }
        counter_before = system.seconds_counter();
        tick();
    }
    ASSERT_EQ(started, 2);
    EXPECT_EQ(counter_before, 61);
    const double elapsed = (clock.now_day_number() - first_start) * 86400.0;
    EXPECT_GE(elapsed, 61.0);
    EXPECT_LT(elapsed, 62.0);
    EXPECT_LE(system.seconds_counter(), 1);
}

TEST_F(VetraSystemTest, time_mode_with_period_zero_starts_after_the_next_wall_clock_second) {
    system.set_work_mode(kByTime);
    tick();  // 12:00:00.5
    system.start_analysis();
    finish_cycle();  // 12:00:00.9
    EXPECT_EQ(started, 1);
    tick();  // 12:00:01.3: the new second is counted after the idle step
    EXPECT_EQ(started, 1);
    tick();  // 12:00:01.7
    EXPECT_EQ(started, 2);
}

TEST_F(VetraSystemTest, continuous_mode_starts_at_the_tick_after_the_one_that_closed_the_cycle) {
    system.set_work_mode(kContinuous);
    tick();
    ASSERT_EQ(started, 1);
    end_run();
    tick();
    EXPECT_EQ(system.state(), 1);
    EXPECT_EQ(finished.size(), 1u);
    EXPECT_EQ(started, 1);
    tick();
    EXPECT_EQ(system.state(), 0);
    EXPECT_EQ(started, 2);
}

TEST_F(VetraSystemTest, continuous_mode_waits_for_a_totalizer_stream_to_end) {
    settings.device_type = settings::kModelVelon;
    settings.totalizer_use = true;
    settings.totalizer_present = 1;
    use_device({DeviceStep{.answer = false, .frames = 0, .b = 4, .hold = true, .closing = false}});

    tick();  // manual mode: the idle link streams totalizer readings
    ASSERT_TRUE(system.link().totalizer_mode());
    system.set_work_mode(kContinuous);
    tick();
    EXPECT_TRUE(system.start_pending());
    tick();
    EXPECT_TRUE(system.start_pending());
    EXPECT_EQ(system.state(), 1);
    EXPECT_EQ(started, 0);

    device->release();  // the line falls silent: the stream ends quietly
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(system.link().status(), analysis::kStatusNoAnswer);
    EXPECT_EQ(tick_error(), "");
    EXPECT_EQ(system.state(), 0);
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(system.start_pending());

    const auto commands = device->commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], "SUMM\x01TOR\xC8");
    EXPECT_NE(commands[1], commands[0]);
    ASSERT_TRUE(wait_idle());
    tick();
    EXPECT_EQ(finished, std::vector<int>{analysis::kStatusClosingFrame});
}

TEST_F(VetraSystemTest, a_manual_start_during_a_totalizer_stream_runs_once_the_link_is_idle) {
    settings.device_type = settings::kModelVelon;
    settings.totalizer_use = true;
    settings.totalizer_present = 1;
    tick();
    ASSERT_TRUE(system.link().totalizer_mode());
    system.start_analysis();
    EXPECT_TRUE(system.start_pending());
    EXPECT_EQ(system.state(), 1);
    tick();
    EXPECT_EQ(started, 0);

    end_run();
    tick();
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(system.link().totalizer_mode());
    EXPECT_FALSE(system.start_pending());
}

TEST_F(VetraSystemTest, a_remote_start_in_depth_mode_runs_the_entry_cycles_and_the_measured_one) {
    system.set_work_mode(kByDepthMark);
    say({RemoteSource::kStart, 1500.0f});
    tick();
    ASSERT_EQ(system.state(), 0);
    EXPECT_EQ(system.depth_cycles_left(), 4);

    std::vector<std::string> texts;
    for (int cycle = 0; cycle < 6 && system.state() == 0; ++cycle) {
        texts.push_back(system.status_text());
        finish_cycle();
        tick();
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Вход в режим #3", "Вход в режим #2",
                                               "Вход в режим #1", "По метке глубины"}));
    EXPECT_EQ(started, 4);
    EXPECT_EQ(finished.size(), 4u);
    EXPECT_EQ(system.depth_cycles_left(), 0);
    EXPECT_EQ(system.status_text(), "По метке глубины");
}

TEST_F(VetraSystemTest, the_number_of_entry_cycles_comes_from_the_settings) {
    test::write_bytes(dir / settings::kSettingsFileName,
                      "[VetraSystem]\r\nmax_depth_counter=1\r\n");
    system.set_work_directory(dir.dir());
    system.load_all();
    system.set_work_mode(kByDepthMark);
    say({RemoteSource::kStart, 0.0f});
    tick();
    EXPECT_EQ(system.status_text(), "Вход в режим #1");
    finish_cycle();
    tick();
    EXPECT_EQ(system.status_text(), "По метке глубины");
    finish_cycle();
    tick();
    EXPECT_EQ(started, 2);
}

TEST_F(VetraSystemTest, a_remote_start_while_running_or_in_another_mode_starts_nothing) {
    system.set_work_mode(kByDepthMark);
    system.start_analysis();  // manual start in depth mode: one measured cycle
    say({RemoteSource::kStart, 800.0f});
    tick();
    EXPECT_EQ(system.depth_cycles_left(), 0);
    EXPECT_FLOAT_EQ(system.depth(), 800.0f);
    finish_cycle();
    tick();
    EXPECT_EQ(started, 1);

    settings.porog_from_station = true;
    system.fetch_station_value = [](const std::string&) { return 0.0; };
    system.set_time_mode_period(1000);
    for (const std::int32_t mode : {kManual, kByTime, kByTotalizer}) {
        SCOPED_TRACE(mode);
        system.set_work_mode(mode);
        say({RemoteSource::kStart, 900.0f + static_cast<float>(mode)});
        tick();
        EXPECT_EQ(system.state(), 1);
        EXPECT_EQ(system.depth_cycles_left(), 0);
        EXPECT_FLOAT_EQ(system.depth(), 900.0f + static_cast<float>(mode));
    }
    EXPECT_EQ(started, 1);
}

struct TotalizerCase {
    const char* name;
    std::int32_t device_type;
    bool use;
    bool from_station;
    double average;
    double station_value;
    bool starts;
    double threshold = 0.75;
};

class TotalizerModeTest : public VetraSystemTest,
                          public ::testing::WithParamInterface<TotalizerCase> {};

TEST_P(TotalizerModeTest, only_a_reading_above_the_threshold_starts_a_cycle) {
    const TotalizerCase& c = GetParam();
    settings.porog_value = c.threshold;
    settings.totalizer_use = true;
    settings.totalizer_present = 1;
    system.set_work_mode(kByTotalizer);
    ASSERT_EQ(system.work_mode(), kByTotalizer);
    settings.device_type = c.device_type;
    settings.totalizer_use = c.use;
    settings.porog_from_station = c.from_station;
    system.link().set_current_average(c.average);
    std::vector<std::string> asked;
    system.fetch_station_value = [&](const std::string& name) {
        asked.push_back(name);
        return c.station_value;
    };

    tick();
    EXPECT_EQ(system.state(), c.starts ? 0 : 1);
    EXPECT_EQ(started, c.starts ? 1 : 0);
    if (c.from_station) {
        EXPECT_EQ(asked, std::vector<std::string>{"сумм_газ3"});
    } else {
        EXPECT_TRUE(asked.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Readings, TotalizerModeTest,
    ::testing::Values(
        TotalizerCase{"model_0_equal", 0, true, false, 0.75, 0.0, false},
        TotalizerCase{"model_0_greater", 0, true, false, 0.76, 0.0, true},
        TotalizerCase{"model_0_greater_only_as_a_double", 0, true, false, 0.75 + 1e-9, 0.0, false},
        TotalizerCase{"model_1_equal", 1, true, false, 0.75, 0.0, false},
        TotalizerCase{"model_1_greater", 1, true, false, 0.76, 0.0, true},
        TotalizerCase{"station_equal", 0, false, true, 5.0, 0.75, false},
        // 0.05 is not exact: as a float it lies above the double.
        TotalizerCase{"default_threshold_equal", 0, true, false, 0.05, 0.0, false, 0.05},
        TotalizerCase{"default_threshold_station_equal", 0, false, true, 0.0, 0.05, false, 0.05},
        TotalizerCase{"station_greater", 0, false, true, 0.0, 0.76, true},
        TotalizerCase{"station_wins_over_the_link", 1, true, true, 5.0, 0.1, false},
        TotalizerCase{"no_source", 0, false, false, 5.0, 5.0, false},
        TotalizerCase{"unknown_model", 2, true, false, 5.0, 5.0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VetraSystemTest, totalizer_mode_needs_a_totalizer_source) {
    system.set_work_mode(kByTotalizer);
    EXPECT_EQ(system.work_mode(), kManual);
    EXPECT_EQ(mode_changes, 1);

    settings.totalizer_use = true;
    system.set_work_mode(kByTotalizer);
    EXPECT_EQ(system.work_mode(), kByTotalizer);

    settings.totalizer_use = false;
    settings.porog_from_station = true;
    system.set_work_mode(kContinuous);
    system.set_work_mode(kByTotalizer);
    EXPECT_EQ(system.work_mode(), kByTotalizer);
    EXPECT_EQ(mode_changes, 4);
}

TEST_F(VetraSystemTest, a_built_in_totalizer_that_never_answers_leaves_the_totalizer_mode) {
    settings.device_type = settings::kModelVelon;
    settings.totalizer_use = true;
    settings.totalizer_present = 0;
    system.set_work_mode(kByTotalizer);
    const int changes = mode_changes;
    // More than 25 ticks of sample frames in totalizer mode: no totalizer there.
    use_device({DeviceStep{.answer = false, .frames = 40, .b = 0}});

    tick();
    ASSERT_TRUE(wait_idle());
    system.calls().run_pending();
    EXPECT_FALSE(settings.totalizer_use.load());
    EXPECT_EQ(settings.totalizer_present.load(), 2);
    EXPECT_EQ(system.work_mode(), kManual);
    EXPECT_GT(mode_changes, changes);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text,
              "Газосумматор не найден! Использование внутреннего газосумматора не возможно!");
    const std::string saved =
        library::cp1251_to_utf8(test::read_bytes(dir / settings::kSettingsFileName));
    EXPECT_NE(saved.find("[газосумматор]"), std::string::npos);
    EXPECT_NE(saved.find("use=0"), std::string::npos);

    tick();
    EXPECT_TRUE(system.link().idle());  // no further stream
    EXPECT_EQ(device->commands().size(), 1u);
}

TEST_F(VetraSystemTest, an_unknown_mode_is_kept_and_starts_nothing) {
    system.set_work_mode(7);
    EXPECT_EQ(system.work_mode(), 7);
    EXPECT_EQ(system.status_text(), "Неизвестный режим 7");
    for (int i = 0; i < 5; ++i) {
        tick();
    }
    EXPECT_EQ(started, 0);

    // From the station such a number is refused.
    say({RemoteSource::kMode, 0.0f, -1, -2});
    tick();
    EXPECT_EQ(system.work_mode(), 7);
    EXPECT_EQ(started, 0);
}

TEST_F(VetraSystemTest, status_texts_of_the_modes) {
    const std::array<const char*, 5> texts{"Ручной режим", "Временной режим", "Непрерывный режим",
                                           "По метке глубины", "По газосумматору"};
    settings.totalizer_use = true;
    for (std::int32_t mode = 0; mode < 5; ++mode) {
        system.set_work_mode(mode);
        EXPECT_EQ(system.status_text(), texts[static_cast<std::size_t>(mode)]);
    }
}

// --- warm-up ----------------------------------------------------------------------------

class WarmupTest : public VetraSystemTest {
protected:
    // Runs cycles until the warm-up is over; the status text shown while each one ran.
    std::vector<std::string> run_warmup() {
        std::vector<std::string> texts;
        for (int i = 0; i < 5 && system.warmup_cycles_left() != 0; ++i) {
            tick();
            EXPECT_EQ(system.state(), 0);
            texts.push_back(system.status_text());
            EXPECT_TRUE(wait_idle());
            tick();
        }
        return texts;
    }
};

const std::vector<std::string> kWarmupTexts{"Прогрев колонок 1 из 3", "Прогрев колонок 2 из 3",
                                            "Прогрев колонок 3 из 3"};

TEST_F(WarmupTest, model_0_sends_cycle_lengths_65_65_120_and_keeps_the_operators_program) {
    settings.device_type = settings::kModelTd5;
    settings.times = {2, 23, 30, 35, 55, 70, 100};
    use_device();
    system.request_warmup();
    EXPECT_EQ(system.warmup_cycles_left(), 3);

    EXPECT_EQ(run_warmup(), kWarmupTexts);
    const auto commands = device->commands();
    ASSERT_EQ(commands.size(), 3u);
    const std::array<int, 3> lengths{65, 65, 120};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(byte_at(commands[i], 6), lengths[i]);
        EXPECT_EQ(byte_at(commands[i], 2), 30);
        EXPECT_EQ(byte_at(commands[i], 5), 70);
    }
    EXPECT_EQ(finished, std::vector<int>(3, analysis::kStatusClosingFrame));
    EXPECT_EQ(settings.times, (std::array<std::int32_t, 7>{2, 23, 30, 35, 55, 70, 100}));
    EXPECT_EQ(system.status_text(), "Ручной режим");
    tick();
    EXPECT_EQ(started, 3);
}

TEST_F(WarmupTest, model_1_sends_cycle_length_and_heating_end) {
    settings.device_type = settings::kModelVelon;
    settings.times = {4, 18, 60, 32, 110, 0, 0};
    use_device();
    system.request_warmup();

    EXPECT_EQ(run_warmup(), kWarmupTexts);
    const auto commands = device->commands();
    ASSERT_EQ(commands.size(), 3u);
    const std::array<int, 3> lengths{65, 65, 120};
    const std::array<int, 3> heating_ends{63, 63, 70};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(byte_at(commands[i], 4), lengths[i]);
        EXPECT_EQ(byte_at(commands[i], 2), heating_ends[i]);
        EXPECT_EQ(byte_at(commands[i], 1), 18);
    }
    EXPECT_EQ(settings.times, (std::array<std::int32_t, 7>{4, 18, 60, 32, 110, 0, 0}));
}

TEST_F(WarmupTest, a_lost_connection_repeats_the_interrupted_warmup_cycle) {
    settings.device_type = settings::kModelTd5;
    use_device({DeviceStep{}, DeviceStep{.closing = false}});
    system.set_work_mode(kContinuous);  // the warm-up comes before the mode's trigger
    system.request_warmup();

    tick();
    ASSERT_TRUE(wait_idle());
    tick();
    tick();
    EXPECT_EQ(system.status_text(), "Прогрев колонок 2 из 3");
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(tick_error(), "Внезапно потеряна связь с хроматографом!");
    EXPECT_EQ(system.state(), 1);
    EXPECT_EQ(system.warmup_cycles_left(), 2);
    EXPECT_EQ(system.status_text(), "Прогрев колонок 2 из 3");
    EXPECT_EQ(finished.size(), 1u);
    EXPECT_EQ(system.history().count(), 1);  // the lost cycle adds nothing

    EXPECT_EQ(run_warmup(),
              (std::vector<std::string>{"Прогрев колонок 2 из 3", "Прогрев колонок 3 из 3"}));
    const auto commands = device->commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(byte_at(commands[1], 6), 65);
    EXPECT_EQ(byte_at(commands[2], 6), 65);
    EXPECT_EQ(byte_at(commands[3], 6), 120);
    EXPECT_EQ(settings.times[6], 120);  // the default program's own length
    EXPECT_EQ(system.status_text(), "Непрерывный режим");
}

TEST_F(WarmupTest, a_failed_start_restores_the_program_and_keeps_the_warmup) {
    settings.device_type = settings::kModelVelon;
    settings.times = {4, 18, 60, 32, 110, 0, 0};
    settings.demo = false;
    settings.port_name = kMissingPort;
    system.request_warmup();

    EXPECT_EQ(tick_error(), cannot_open_port_message(kMissingPort));
    EXPECT_EQ(settings.times, (std::array<std::int32_t, 7>{4, 18, 60, 32, 110, 0, 0}));
    EXPECT_EQ(system.warmup_cycles_left(), 3);
    EXPECT_EQ(system.state(), 1);
}

TEST_F(WarmupTest, is_refused_while_a_cycle_runs) {
    system.start_analysis();
    system.request_warmup();
    EXPECT_EQ(system.warmup_cycles_left(), 0);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text,
              "Для запуска режима прогрева дождитесь завершения цикла работы хроматографа");
    EXPECT_EQ(op.messages[0].caption, "Сообщение");
    EXPECT_EQ(op.messages[0].icon, library::MessageIcon::information);
}

// --- remote control and depth -----------------------------------------------------------

TEST_F(VetraSystemTest, a_depth_stays_valid_until_ten_seconds_after_its_message) {
    say({RemoteSource::kOther, 1500.5f});
    tick();  // 12:00:00.5
    ASSERT_FLOAT_EQ(system.depth(), 1500.5f);
    for (int i = 0; i < 40; ++i) {
        tick();
        if (clock.local_now().second < 10) {
            ASSERT_FLOAT_EQ(system.depth(), 1500.5f) << clock.local_now().second;
        } else {
            EXPECT_EQ(system.depth(), 0.0f);
            return;
        }
    }
    FAIL() << "the depth never dropped";
}

TEST_F(VetraSystemTest, only_a_depth_above_one_metre_is_taken_and_renews_the_time) {
    say({RemoteSource::kOther, 1.0f});
    tick();
    EXPECT_EQ(system.depth(), 0.0f);

    say({RemoteSource::kOther, 100.0f});
    tick();  // 12:00:00.9
    while (clock.local_now().second < 5) {
        tick();
    }
    say({RemoteSource::kStart, 0.5f});  // a message without a depth
    tick();
    EXPECT_FLOAT_EQ(system.depth(), 100.0f);
    while (clock.local_now().second < 9) {
        tick();
    }
    EXPECT_FLOAT_EQ(system.depth(), 100.0f);
    say({RemoteSource::kOther, 200.0f});  // 12:00:09: valid until 12:00:19
    tick();
    while (clock.local_now().second < 18) {
        tick();
        ASSERT_FLOAT_EQ(system.depth(), 200.0f);
    }
    while (clock.local_now().second < 19) {
        tick();
    }
    EXPECT_EQ(system.depth(), 0.0f);
}

TEST_F(VetraSystemTest, without_remote_control_the_depth_is_dropped_and_nothing_is_read) {
    say({RemoteSource::kOther, 700.0f});
    tick();
    ASSERT_FLOAT_EQ(system.depth(), 700.0f);
    settings.remote_control = false;
    say({RemoteSource::kMode, 0.0f, -1, kContinuous});
    tick();
    EXPECT_EQ(system.depth(), 0.0f);
    EXPECT_EQ(remote->size(), 1u);
    EXPECT_EQ(system.work_mode(), kManual);
}

TEST_F(VetraSystemTest, depth_for_log_is_rounded_down_to_centimetres) {
    // 100.1 and 4321.37 are held a little below their value as floats.
    const std::array<std::pair<float, double>, 5> cases{{{1234.567f, 1234.56},
                                                         {2.999f, 2.99},
                                                         {1500.0f, 1500.0},
                                                         {100.1f, 100.1},
                                                         {4321.37f, 4321.37}}};
    EXPECT_EQ(system.depth_for_log(), 0.0);
    for (const auto& [depth, logged] : cases) {
        say({RemoteSource::kOther, depth});
        tick();
        EXPECT_DOUBLE_EQ(system.depth_for_log(), logged) << depth;
    }
}

TEST_F(VetraSystemTest, remote_messages_set_the_period_and_the_mode) {
    say({RemoteSource::kOther, 0.0f, 190});
    say({RemoteSource::kOther, 0.0f, -1});
    tick();
    EXPECT_EQ(system.time_mode_period(), 190);

    say({RemoteSource::kMode, 0.0f, -1, kByTime});
    tick();
    EXPECT_EQ(system.work_mode(), kByTime);
    EXPECT_EQ(mode_changes, 1);

    say({RemoteSource::kMode, 0.0f, 130, kByTotalizer});  // no totalizer source
    tick();
    EXPECT_EQ(system.work_mode(), kManual);
    EXPECT_EQ(system.time_mode_period(), 130);
}

TEST_F(VetraSystemTest, two_messages_are_read_per_tick) {
    say({RemoteSource::kOther, 0.0f, 210});
    say({RemoteSource::kOther, 0.0f, 220});
    say({RemoteSource::kOther, 0.0f, 230});
    tick();
    EXPECT_EQ(system.time_mode_period(), 220);
    EXPECT_EQ(remote->size(), 1u);
}

// --- start errors -----------------------------------------------------------------------

TEST_F(VetraSystemTest, a_port_that_cannot_be_opened_is_reported_on_every_try) {
    settings.demo = false;
    settings.port_name = kMissingPort;
    try {
        system.start_analysis();
        FAIL() << "no error";
    } catch (const VetraError& e) {
        EXPECT_STREQ(e.what(),
                     "ОШИБКА: Невозможно открыть порт /nonexistent/ttyVETRA. Возможно он "
                     "отсутствует на компьютере, или занят другим устройством.");
    }
    EXPECT_EQ(system.state(), 1);
    EXPECT_EQ(started, 0);

    system.set_work_mode(kContinuous);
    say({RemoteSource::kOther, 500.0f});
    EXPECT_EQ(tick_error(), cannot_open_port_message(kMissingPort));
    EXPECT_EQ(tick_error(), cannot_open_port_message(kMissingPort));
    EXPECT_EQ(system.state(), 1);
    // The error ends the tick before the remote poll.
    EXPECT_EQ(remote->size(), 1u);
    EXPECT_EQ(system.depth(), 0.0f);
}

TEST_F(VetraSystemTest, a_speed_the_port_cannot_take_is_reported_as_a_port_that_cannot_be_opened) {
    pty.emplace();
    settings.demo = false;
    settings.port_name = pty->slave_path();
    settings.port_speed = 0;
    EXPECT_EQ(tick_error(), "");
    system.set_work_mode(kContinuous);
    EXPECT_EQ(tick_error(), cannot_open_port_message(pty->slave_path()));
    EXPECT_EQ(started, 0);
    EXPECT_EQ(pty->read(9, 100ms), "");  // no program frame on an unconfigured line
}

TEST_F(VetraSystemTest, a_silent_chromatograph_is_reported_after_two_program_frames) {
    pty.emplace();
    settings.demo = false;
    settings.port_name = pty->slave_path();
    try {
        system.start_analysis();
        FAIL() << "no error";
    } catch (const VetraError& e) {
        EXPECT_STREQ(e.what(), "Хроматограф не ответил после запроса!");
    }
    EXPECT_EQ(system.state(), 1);
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(system.link().idle());
    const std::string sent = pty->read(18, 200ms);
    ASSERT_EQ(sent.size(), 18u);
    EXPECT_EQ(sent.substr(0, 9), sent.substr(9));
    EXPECT_EQ(byte_at(sent, 6), 120);
}

// --- settings section -------------------------------------------------------------------

TEST_F(VetraSystemTest, the_section_round_trips_with_the_mode_as_a_byte_block) {
    test::write_bytes(
        dir / settings::kSettingsFileName,
        library::utf8_to_cp1251("[порт]\r\nимя=COM3\r\n[VetraSystem]\r\nsave_all_values=0\r\n"
                                "save_science_values=1\r\nwork_mode=02000000\r\n"
                                "time_mode_period=45\r\nmax_depth_counter=5\r\n"));
    system.set_work_directory(dir.path().string());
    EXPECT_EQ(system.settings_path(), dir.dir() + "хроматограф.ini");
    system.load_all();
    EXPECT_EQ(mode_changes, 1);
    EXPECT_FALSE(system.save_all_values());
    EXPECT_TRUE(system.save_science_values());
    EXPECT_EQ(system.work_mode(), kContinuous);
    EXPECT_EQ(system.time_mode_period(), 45);
    EXPECT_EQ(system.max_depth_counter(), 5);

    system.set_work_mode(-2);
    system.set_time_mode_period(90);
    system.save_all();
    const std::string text = test::read_bytes(dir / settings::kSettingsFileName);
    EXPECT_NE(text.find("[VetraSystem]"), std::string::npos);
    EXPECT_NE(text.find("work_mode=FEFFFFFF"), std::string::npos);
    EXPECT_NE(text.find("time_mode_period=90"), std::string::npos);
    EXPECT_NE(text.find(library::utf8_to_cp1251("имя=COM3")), std::string::npos);

    VetraSystem again(settings, op, clock);
    again.set_work_directory(dir.dir());
    again.load_all();
    EXPECT_EQ(again.work_mode(), -2);
    EXPECT_EQ(again.time_mode_period(), 90);
    EXPECT_EQ(again.max_depth_counter(), 5);
    EXPECT_FALSE(again.save_all_values());
    EXPECT_TRUE(again.save_science_values());
}

struct DepthCounterCase {
    const char* stored;
    std::int32_t loaded;
    int cycles;  // run by one "start" command of the station
};

class DepthCounter : public VetraSystemTest,
                     public ::testing::WithParamInterface<DepthCounterCase> {};

TEST_P(DepthCounter, is_held_to_what_the_dialog_offers_and_every_series_ends) {
    const DepthCounterCase& c = GetParam();
    test::write_bytes(dir / settings::kSettingsFileName,
                      std::string("[VetraSystem]\r\nmax_depth_counter=") + c.stored + "\r\n");
    system.set_work_directory(dir.dir());
    system.load_all();
    EXPECT_EQ(system.max_depth_counter(), c.loaded);

    system.set_work_mode(kByDepthMark);
    say({RemoteSource::kStart, 1500.0f});
    tick();
    int cycles = 0;
    while (system.state() == 0 && cycles < 20) {
        ++cycles;
        finish_cycle();
        tick();
    }
    EXPECT_EQ(cycles, c.cycles);
    EXPECT_EQ(system.depth_cycles_left(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, DepthCounter,
    ::testing::Values(DepthCounterCase{"-1", 0, 1}, DepthCounterCase{"-2147483648", 0, 1},
                      DepthCounterCase{"2147483647", 10, 11}, DepthCounterCase{"11", 10, 11},
                      DepthCounterCase{"10", 10, 11}, DepthCounterCase{"0", 0, 1}),
    [](const auto& info) {
        return "stored_" + std::string(info.param.stored[0] == '-' ? "minus_" : "") +
               std::string(info.param.stored + (info.param.stored[0] == '-'));
    });

TEST_F(VetraSystemTest, missing_or_bad_keys_keep_the_defaults) {
    test::write_bytes(dir / settings::kSettingsFileName,
                      "[VetraSystem]\r\nwork_mode=0200\r\ntime_mode_period=abc\r\n");
    system.set_work_directory(dir.dir());
    system.load_all();
    EXPECT_EQ(mode_changes, 1);
    EXPECT_EQ(system.work_mode(), kManual);
    EXPECT_EQ(system.time_mode_period(), 0);
    EXPECT_EQ(system.max_depth_counter(), 3);
    EXPECT_TRUE(system.save_all_values());
    EXPECT_FALSE(system.save_science_values());
}

}  // namespace
}  // namespace vetra::control
