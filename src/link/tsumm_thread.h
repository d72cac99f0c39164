#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "library/lock_object.h"
#include "library/operator.h"
#include "link/totalizer_device.h"

namespace vetra::settings {
class GlobalSettings;
}

namespace vetra::link {

// The reader of the external totalizer (model 0): keeps its line open while "use" is on,
// turns every packet into percent, keeps the latest for the window and the totalizer mode
// and sends each to the station. Idle on model 1, whose totalizer comes on the
// chromatograph's own line. Stops within a couple of hundred milliseconds of being told.
class TSummThread {
public:
    using Send = std::function<void(double)>;

    // `op` beeps on opening and closing; it is called from this thread.
    TSummThread(settings::GlobalSettings& settings, library::LockObject& data_lock,
                library::Operator& op, Send send_totalizer);
    ~TSummThread();
    TSummThread(const TSummThread&) = delete;
    TSummThread& operator=(const TSummThread&) = delete;

    void start();
    // Terminate and wait.
    void stop();
    bool running() const { return thread_.joinable(); }

    // The latest reading in percent; 0 until the first.
    float current_value() const { return current_value_.load(); }
    // Main thread, after the settings changed: the model, "coeff" and "имя_сумм" are taken
    // afresh and the line is reopened on the next pass.
    void request_reconnect();

    // For the window's status and the tests.
    bool open_succeeded() const { return open_succeeded_.load(); }
    std::uint64_t packets() const { return packets_.load(); }

    static constexpr int kOpenBeepHz = 900;
    static constexpr int kCloseBeepHz = 3000;
    static constexpr int kBeepMs = 100;

private:
    // What the thread reads of the settings besides the atomics; strings and plain fields
    // are copied here on the main thread, never read across threads.
    struct Config {
        std::int32_t device_type = 0;
        float coeff = 0.1f;
        std::string port_name;
    };

    void refresh_config();
    Config config() const;
    void Execute(std::stop_token stop);
    bool open_link(const std::string& name, int timeout_ms);
    void take(const TotalizerSummary& summary, float coeff);

    settings::GlobalSettings& settings_;
    library::LockObject& data_lock_;
    library::Operator& operator_;
    Send send_;
    TotalizerDevice device_;

    mutable std::mutex config_mutex_;
    Config config_;
    std::atomic<float> current_value_{0.0f};
    std::atomic<bool> reconnect_{false};
    std::atomic<bool> open_succeeded_{false};
    std::atomic<std::uint64_t> packets_{0};
    std::jthread thread_;
};

}  // namespace vetra::link
