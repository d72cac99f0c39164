#include "library/clock.h"

#include <cmath>

namespace vetra::library {

LocalTime SystemClock::local_now() const {
    return local_time_of(std::chrono::system_clock::now());
}

std::uint32_t SystemClock::tick_count_ms() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool TickSeconds::new_second(std::uint32_t tick_ms) {
    if (!started_) {
        started_ = true;
        last_tick_ = tick_ms;
        return true;
    }
    elapsed_ms_ += static_cast<std::uint32_t>(tick_ms - last_tick_);  // modulo 2^32: wraps
    last_tick_ = tick_ms;
    const std::int64_t second = elapsed_ms_ / 1000;
    if (second == last_second_) {
        return false;
    }
    last_second_ = second;
    return true;
}

ManualClock::ManualClock(LocalTime start) : now_(to_day_number(start)) {}

LocalTime ManualClock::local_now() const {
    std::lock_guard lock(mutex_);
    return from_day_number(now_);
}

std::uint32_t ManualClock::tick_count_ms() const {
    std::lock_guard lock(mutex_);
    return ticks_;
}

void ManualClock::advance(std::chrono::milliseconds step) {
    std::lock_guard lock(mutex_);
    // Keep the day number on whole milliseconds so repeated steps do not drift.
    const double ms = std::round(now_ * 86'400'000.0) + static_cast<double>(step.count());
    now_ = ms / 86'400'000.0;
    ticks_ += static_cast<std::uint32_t>(step.count());
}

void ManualClock::set(LocalTime t) {
    std::lock_guard lock(mutex_);
    now_ = to_day_number(t);
}

}  // namespace vetra::library
