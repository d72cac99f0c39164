#include "link/tsumm_thread.h"

#include <chrono>
#include <cmath>

#include "library/stop_pause.h"
#include "library/thread_priority.h"
#include "settings/global_settings.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;

constexpr int kSpeed = 9600;
constexpr int kParityNone = 0;
// The instrument's packets take about 25 ms at 9600 baud; a read waits at most this long, so
// that a stop request is seen between two reads on a silent or babbling line.
constexpr int kReadTimeoutMs = 100;
constexpr float kFullScale = 1.0f / 8192.0f;

}  // namespace

TSummThread::TSummThread(settings::GlobalSettings& settings, library::LockObject& data_lock,
                         library::Operator& op, Send send_totalizer)
    : settings_(settings),
      data_lock_(data_lock),
      operator_(op),
      send_(std::move(send_totalizer)),
      device_(op) {
    refresh_config();
}

TSummThread::~TSummThread() {
    stop();
}

void TSummThread::refresh_config() {
    std::lock_guard lock(config_mutex_);
    config_.device_type = settings_.device_type;
    config_.coeff = settings_.totalizer_coeff;
    config_.port_name = settings_.totalizer_port_name;
}

TSummThread::Config TSummThread::config() const {
    std::lock_guard lock(config_mutex_);
    return config_;
}

void TSummThread::start() {
    if (thread_.joinable()) {
        return;
    }
    refresh_config();
    thread_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

void TSummThread::stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void TSummThread::request_reconnect() {
    refresh_config();
    reconnect_.store(true);
}

bool TSummThread::open_link(const std::string& name, int timeout_ms) {
    if (!device_.open(name)) {
        return false;
    }
    device_.configure(kSpeed, kParityNone, timeout_ms, -1, false);
    return true;
}

void TSummThread::Execute(std::stop_token stop) {
    library::raise_thread_priority();
    device_.set_stop_token(stop);
    while (!stop.stop_requested()) {
        const Config c = config();
        if (c.device_type == settings::kModelVelon) {
            // The line of a model changed to 1 is given back, so another program may use it.
            device_.close();
            library::pause_unless_stopped(100ms, stop);
            continue;
        }
        const bool use = settings_.totalizer_use.load();
        if (use && !device_.is_open()) {
            open_succeeded_.store(open_link(c.port_name, kReadTimeoutMs));
            operator_.beep(kOpenBeepHz, kBeepMs);
        }
        if (!use && device_.is_open()) {
            device_.close();
            operator_.beep(kCloseBeepHz, kBeepMs);
        }
        if (!use) {
            library::pause_unless_stopped(100ms, stop);
            continue;
        }
        if (reconnect_.exchange(false)) {
            device_.close();
            if (!library::pause_unless_stopped(100ms, stop)) {
                break;
            }
            open_succeeded_.store(open_link(c.port_name, kReadTimeoutMs));
        }
        if (!open_succeeded_.load()) {
            library::pause_unless_stopped(100ms, stop);
            continue;
        }
        TotalizerSummary summary;
        if (!device_.read_packet(summary)) {
            continue;
        }
        take(summary, c.coeff);
        library::pause_unless_stopped(40ms, stop);
    }
    device_.close();
}

void TSummThread::take(const TotalizerSummary& summary, float coeff) {
    float value = 0.0f;
    {
        library::ScopedLock lock(data_lock_);
        value = static_cast<float>(summary.main_reading) * kFullScale * coeff +
                settings_.totalizer_null.load();
        if (!(value >= 0.0f) || !std::isfinite(value)) {
            value = 0.0f;
        }
        current_value_.store(value);
    }
    ++packets_;
    if (send_) {
        send_(value);
    }
}

}  // namespace vetra::link
