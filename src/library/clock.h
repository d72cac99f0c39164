#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "library/datetime.h"

namespace vetra::library {

// Wall-clock and tick time of the program. Production code uses SystemClock; tests inject
// a ManualClock so that every rule about seconds runs without waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime local_now() const = 0;
    // Milliseconds since some fixed start, like the platform's tick count.
    virtual std::uint32_t tick_count_ms() const = 0;

    DayNumber now_day_number() const { return to_day_number(local_now()); }
    DayNumber now_whole_seconds() const { return to_day_number(truncate_to_seconds(local_now())); }
};

class SystemClock final : public Clock {
public:
    LocalTime local_now() const override;
    std::uint32_t tick_count_ms() const override;
};

// Counts whole seconds of the tick clock, which never goes back when the local time does
// (summer time ending, the clock set back). Carried in 64 bits across the tick count's wrap
// after 49.7 days, provided it is asked at least once in that span.
class TickSeconds {
public:
    // True the first time and whenever a new whole second has begun since the last true.
    bool new_second(std::uint32_t tick_ms);

private:
    bool started_ = false;
    std::uint32_t last_tick_ = 0;
    std::int64_t elapsed_ms_ = 0;
    std::int64_t last_second_ = 0;
};

// A clock that moves only when told to.
class ManualClock final : public Clock {
public:
    explicit ManualClock(LocalTime start = {2026, 1, 1, 12, 0, 0, 0});

    LocalTime local_now() const override;
    std::uint32_t tick_count_ms() const override;

    void advance(std::chrono::milliseconds step);
    void set(LocalTime t);

private:
    mutable std::mutex mutex_;
    DayNumber now_;
    std::uint32_t ticks_ = 0;
};

}  // namespace vetra::library
