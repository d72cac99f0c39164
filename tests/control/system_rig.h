#pragma once

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

#include "control/vetra_system.h"
#include "support/pty_pair.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

// The controller with a scripted station and, on demand, a chromatograph on a
// pseudo-terminal; demonstration mode at one point per second otherwise.
namespace vetra::control::rig {

using namespace std::chrono_literals;

constexpr const char* kMissingPort = "/nonexistent/ttyVETRA";

struct RemoteMessage {
    int operation = RemoteSource::kNone;
    float depth = 0.0f;
    std::int32_t time_period = -1;
    std::int32_t mode = 0;
    std::string text = {};
};

// The station's side of the remote-control mailslot: one queued message per poll.
class FakeRemote final : public RemoteSource {
public:
    explicit FakeRemote(std::shared_ptr<std::deque<RemoteMessage>> queue)
        : queue_(std::move(queue)) {}

    int poll() override {
        if (queue_->empty()) {
            return kNone;
        }
        current_ = queue_->front();
        queue_->pop_front();
        return current_.operation;
    }
    float depth() const override { return current_.depth; }
    std::int32_t time_period() const override { return current_.time_period; }
    std::int32_t mode_value() const override { return current_.mode; }
    std::string text() const override { return current_.text; }

private:
    std::shared_ptr<std::deque<RemoteMessage>> queue_;
    RemoteMessage current_;
};

// What the instrument does with one 9-byte command it receives.
struct DeviceStep {
    bool answer = true;   // "OK" first
    int frames = 3;       // data frames that follow
    std::uint8_t b = 0;   // byte B of each frame; 4 marks a totalizer reading on model 1
    bool hold = false;    // keep streaming until released
    bool closing = true;  // end with the closing frame, else fall silent
};

// Plays the chromatograph on the master side of a pseudo-terminal. Commands beyond the
// script get the default step: "OK", a few frames and the closing frame.
class ScriptedDevice {
public:
    ScriptedDevice(const test::PtyPair& pty, std::vector<DeviceStep> script)
        : pty_(pty), script_(std::move(script)) {
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }

    std::vector<std::string> commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    void release() { released_.store(true); }

private:
    void run(std::stop_token stop) {
        std::string pending;
        while (!stop.stop_requested()) {
            pending += pty_.read(9 - pending.size(), 20ms);
            if (pending.size() < 9) {
                continue;
            }
            DeviceStep step;
            {
                std::lock_guard lock(mutex_);
                if (commands_.size() < script_.size()) {
                    step = script_[commands_.size()];
                }
                commands_.push_back(pending);
            }
            pending.clear();
            play(step, stop);
        }
    }

    void play(const DeviceStep& step, const std::stop_token& stop) {
        if (step.answer) {
            pty_.write("OK");
        }
        int tick = 0;
        const auto frame = [&] {
            const std::array<char, 4> bytes{static_cast<char>(0x80 | (tick++ & 0x7F)),
                                            static_cast<char>(step.b), 0x10, 0x00};
            pty_.write(std::string_view(bytes.data(), bytes.size()));
        };
        for (int i = 0; i < step.frames; ++i) {
            frame();
        }
        while (step.hold && !released_.load() && !stop.stop_requested()) {
            frame();
            std::this_thread::sleep_for(5ms);
        }
        if (step.closing) {
            pty_.write("\xFF\xFF\xFF\xFF");
        }
    }

    const test::PtyPair& pty_;
    const std::vector<DeviceStep> script_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::atomic<bool> released_{false};
    std::jthread thread_;
};

inline std::uint8_t byte_at(const std::string& command, std::size_t index) {
    return static_cast<std::uint8_t>(command.at(index));
}

class VetraSystemTest : public ::testing::Test {
protected:
    VetraSystemTest() {
        settings.demo = true;
        settings.samples_per_second = 1;  // a demonstration run of 6000 frames
        settings.settings_path = (dir / settings::kSettingsFileName).string();
        system.set_remote_source(std::make_unique<FakeRemote>(remote));
        system.mode_changed = [this] { ++mode_changes; };
        system.cycle_started.connect([this] { ++started; });
        system.cycle_finished.connect([this](int status) { finished.push_back(status); });
    }

    void tick() {
        clock.advance(400ms);
        system.on_timer_tick();
    }
    // One tick; the text of the error it raised, empty when none.
    std::string tick_error() {
        try {
            tick();
        } catch (const VetraError& e) {
            return e.what();
        }
        return {};
    }
    // Runs the link's queued calls until the acquisition thread's end has arrived.
    bool wait_idle(std::chrono::milliseconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!system.link().idle() && std::chrono::steady_clock::now() < end) {
            system.calls().wait_and_run(20ms);
        }
        return system.link().idle();
    }
    // Ends the running acquisition at once with the normal status; the thread's own end
    // call, still queued, is drained so that it cannot reach a later run.
    void end_run() {
        system.link().stop_acquisition();
        system.calls().run_pending();
    }
    void finish_cycle() {
        end_run();
        tick();
    }
    void use_device(const std::vector<DeviceStep>& script = {}) {
        pty.emplace();
        device.emplace(*pty, script);
        settings.demo = false;
        settings.port_name = pty->slave_path();
    }
    void say(RemoteMessage message) { remote->push_back(message); }

    test::TempDir dir;
    settings::GlobalSettings settings;
    test::RecordingOperator op;
    library::ManualClock clock{{2026, 3, 2, 12, 0, 0, 100}};
    // Before the controller, so that a running acquisition is joined while its line exists.
    std::optional<test::PtyPair> pty;
    std::optional<ScriptedDevice> device;
    std::shared_ptr<std::deque<RemoteMessage>> remote =
        std::make_shared<std::deque<RemoteMessage>>();
    VetraSystem system{settings, op, clock};
    int mode_changes = 0;
    int started = 0;
    std::vector<int> finished;
};

}  // namespace vetra::control::rig
