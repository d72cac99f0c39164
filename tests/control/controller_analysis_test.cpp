// The analysis chain as the controller runs it: a chromatograph on a pseudo-terminal sends a
// whole chromatogram of known peaks, and the published list must follow the calibration
// that the controller loaded from its program directory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "control/vetra_system.h"
#include "support/pty_pair.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

namespace vetra::control {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 8;
constexpr int kSeconds = 80;               // signal sent per cycle: the last window ends at 75 s
constexpr double kMvPerCode = 0.15258789;  // range 3 with the default ADC settings
constexpr double kBaseline = 12.0;
constexpr double kSigma = 0.3;  // seconds: the narrowest window (этан, 3 s) holds ten sigma
const double kAmplitude[6] = {400, 250, 120, 80, 50, 30};
const double kCentre[6] = {12.5, 18.5, 37, 51, 62.5, 72.5};

double signal_at(double t) {
    double v = kBaseline;
    for (int g = 0; g < 6; ++g) {
        const double z = (t - kCentre[g]) / kSigma;
        v += kAmplitude[g] * std::exp(-0.5 * z * z);
    }
    return v;
}

double peak_area(int g) {
    return kAmplitude[g] * kSigma * std::sqrt(2 * std::numbers::pi);
}

// Model 1 frame on range 3: ticks advance 50 a frame, so every frame completes one point.
std::string frame(int tick, double millivolts) {
    const int code = static_cast<int>(std::lround(millivolts / kMvPerCode)) & 0x3FFF;
    return {static_cast<char>(0x80 | (tick & 0x7F)), 3, static_cast<char>((code >> 7) & 0x7F),
            static_cast<char>(code & 0x7F)};
}

// Answers every program frame with "OK", the whole chromatogram at once and the closing
// frame, faster than any tick of the controller.
class ChromatogramDevice {
public:
    explicit ChromatogramDevice(const test::PtyPair& pty) : pty_(pty) {
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }
    int cycles() const { return cycles_.load(); }

private:
    void run(std::stop_token stop) {
        std::string command;
        while (!stop.stop_requested()) {
            command += pty_.read(9 - command.size(), 20ms);
            if (command.size() < 9) {
                continue;
            }
            command.clear();
            std::string stream = "OK";
            int tick = 0;
            for (int i = 1; i <= kSeconds * kRate; ++i) {
                tick = (tick + 50) % 128;
                stream += frame(tick, signal_at(static_cast<double>(i) / kRate));
            }
            stream += std::string(4, '\xFF');
            pty_.write(stream);
            ++cycles_;
        }
    }

    const test::PtyPair& pty_;
    std::atomic<int> cycles_{0};
    std::jthread thread_;
};

class ControllerAnalysis : public ::testing::Test {
protected:
    ControllerAnalysis() {
        settings.device_type = settings::kModelVelon;
        settings.samples_per_second = kRate;
        settings.port_name = pty.slave_path();
        settings.settings_path = (dir / settings::kSettingsFileName).string();
        system.calculation().results_notification.connect(
            [this](const std::vector<analysis::GazResult>& r, float) { published.push_back(r); });
    }

    // One gas point per gas at 1 %, at the area the peak is meant to have.
    void write_calibration() {
        analysis::EtalonStorage store;
        analysis::EtalonPoint point{"1 / 1", 1, {}};
        for (int g = 0; g < 6; ++g) {
            point.pairs.emplace_back(1.0, peak_area(g));
        }
        store.copyPointsFrom({point});
        ASSERT_TRUE(store.save((dir / "calibr.ini").string()));
    }

    void start_up() {
        system.set_work_directory(dir.dir());
        system.load_all();
    }

    // Lets the whole cycle arrive before the next tick looks at the link.
    void run_cycle() {
        system.start_analysis();
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!system.link().idle() && std::chrono::steady_clock::now() < end) {
            system.calls().wait_and_run(20ms);
        }
        ASSERT_TRUE(system.link().idle());
        system.on_timer_tick();
        ASSERT_EQ(system.state(), 1);
    }

    test::TempDir dir;
    test::PtyPair pty;
    ChromatogramDevice device{pty};
    settings::GlobalSettings settings;
    test::RecordingOperator op;
    library::ManualClock clock;
    VetraSystem system{settings, op, clock};
    std::vector<std::vector<analysis::GazResult>> published;
};

TEST_F(ControllerAnalysis, a_cycle_that_ends_between_ticks_publishes_the_calibrated_list) {
    write_calibration();
    start_up();
    run_cycle();

    ASSERT_EQ(published.size(), 1u);  // calculated at the end: no tick saw the cycle running
    const auto& list = published.front();
    ASSERT_EQ(list.size(), 13u);
    for (int g = 0; g < 6; ++g) {
        SCOPED_TRACE(list[g].name);
        EXPECT_EQ(list[g].key, system.gases().gas(g).name + "_абс");
        EXPECT_NEAR(list[g].concentration, 1.0, 0.03);
        EXPECT_NEAR(list[g].peak_max, kBaseline + kAmplitude[g], 0.1 * kAmplitude[g]);
        EXPECT_NEAR(list[7 + g].concentration, 100.0 / 6, 0.6);
    }
    EXPECT_NEAR(list[6].concentration, 6.0, 0.18);
    EXPECT_NEAR(system.link().display_offset(), kBaseline, 0.2);
}

TEST_F(ControllerAnalysis, without_a_calibration_every_concentration_is_zero) {
    start_up();
    run_cycle();
    ASSERT_EQ(published.size(), 1u);
    for (const auto& r : published.front()) {
        EXPECT_EQ(r.concentration, 0.0) << r.key;
    }
    EXPECT_GT(published.front().front().area, 0.0);
}

// The station's one "start" command.
class StartOnce final : public RemoteSource {
public:
    int poll() override { return std::exchange(pending_, kNone); }
    float depth() const override { return 1234.5f; }
    std::int32_t time_period() const override { return -1; }
    std::int32_t mode_value() const override { return 0; }
    std::string text() const override { return "operation=start"; }

private:
    int pending_ = kStart;
};

TEST_F(ControllerAnalysis, only_the_measured_cycle_of_a_depth_series_is_published) {
    write_calibration();
    test::write_bytes(dir / settings::kSettingsFileName,
                      "[VetraSystem]\r\nmax_depth_counter=1\r\nwork_mode=03000000\r\n");
    start_up();
    ASSERT_EQ(system.work_mode(), kByDepthMark);
    system.set_remote_source(std::make_unique<StartOnce>());
    system.on_timer_tick();  // the command starts the entry cycle
    ASSERT_EQ(system.status_text(), "Вход в режим #1");
    ASSERT_EQ(system.state(), 0);

    for (int cycle = 0; cycle < 2; ++cycle) {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!system.link().idle() && std::chrono::steady_clock::now() < end) {
            system.calls().wait_and_run(20ms);
        }
        system.on_timer_tick();  // closes the cycle
        EXPECT_EQ(published.size(), static_cast<std::size_t>(cycle)) << "after cycle " << cycle;
        system.on_timer_tick();  // the idle step starts the next one while the series lasts
    }
    EXPECT_EQ(device.cycles(), 2);
    EXPECT_EQ(system.state(), 1);
    ASSERT_EQ(published.size(), 1u);
    EXPECT_NEAR(published.front().front().concentration, 1.0, 0.03);
}

TEST_F(ControllerAnalysis, with_saving_off_the_list_waits_for_the_save_button) {
    write_calibration();
    test::write_bytes(dir / settings::kSettingsFileName, "[VetraSystem]\r\nsave_all_values=0\r\n");
    start_up();
    run_cycle();
    EXPECT_TRUE(published.empty());
    EXPECT_EQ(system.calculation().results().size(), 13u);

    system.calculation().publishNow();
    EXPECT_EQ(published.size(), 1u);
    ASSERT_EQ(op.beeps.size(), 2u);
    EXPECT_EQ(op.beeps[0].frequency_hz, 1000);
    EXPECT_EQ(op.beeps[1].frequency_hz, 600);
}

TEST_F(ControllerAnalysis, a_start_restores_the_configured_windows_and_clears_the_plot) {
    start_up();
    system.gases().gas(1).work_start = 30;
    system.view().message = "Внезапно потеряна связь с хроматографом!";
    system.view().points = {1, 2, 3};
    system.start_analysis();
    EXPECT_EQ(system.gases().gas(1).work_start, system.gases().gas(1).start);
    EXPECT_TRUE(system.view().message.empty());
    EXPECT_TRUE(system.view().points.empty());
}

TEST_F(ControllerAnalysis, the_calibration_and_the_gas_list_are_saved_with_the_controller) {
    write_calibration();
    start_up();
    system.gases().resize(2);
    system.save_all();

    settings::GlobalSettings other_settings;
    VetraSystem other{other_settings, op, clock};
    other.set_work_directory(dir.dir());
    other.load_all();
    EXPECT_EQ(other.gases().count(), 2);
    ASSERT_EQ(other.calibration().points().size(), 1u);
    EXPECT_NEAR(other.calibration().points()[0].pairs[1].second, peak_area(1), 1e-9);
}

}  // namespace
}  // namespace vetra::control
