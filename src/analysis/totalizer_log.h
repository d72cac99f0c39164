#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "library/datetime.h"

namespace vetra::analysis {

// Three days of one average per second, and the one appended after them.
inline constexpr std::size_t kTotalizerLogCapacity = 259'201;
inline constexpr std::int32_t kMaxTotalizerChannels = 32;

// A channel count the log and its file accept.
inline bool valid_totalizer_channels(std::int32_t channel_count) {
    return channel_count >= 1 && channel_count <= kMaxTotalizerChannels;
}

// The per-second totalizer averages of the last three days, oldest first. A ring over two
// flat arrays (times, and the value/depth pairs of every channel), so a full log of one
// channel takes 16 bytes a record and the chart reads it in place without copying.
class TotalizerLog {
public:
    explicit TotalizerLog(std::int32_t channel_count = 1);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::int32_t channel_count() const { return channel_count_; }
    // Empties the log; later records carry this many pairs.
    void reset(std::int32_t channel_count);

    // Drops the oldest record when the log is full. Further channels hold zeros.
    void append(library::DayNumber time, float value, float depth);
    // The same with every channel's value/depth pair: `pairs` holds 2 * channel_count().
    void append_pairs(library::DayNumber time, const float* pairs);
    void reserve(std::size_t records);

    // Record i, 0 being the oldest.
    library::DayNumber time(std::size_t i) const { return times_[slot(i)]; }
    float value(std::size_t i, std::int32_t channel = 0) const {
        return pairs_[slot(i) * stride() + 2 * static_cast<std::size_t>(channel)];
    }
    float depth(std::size_t i, std::int32_t channel = 0) const {
        return pairs_[slot(i) * stride() + 2 * static_cast<std::size_t>(channel) + 1];
    }
    // The first record whose time is not before `t` (size() when none); times are taken as
    // ascending, which they are unless the clock was set back.
    std::size_t lower_bound(library::DayNumber t) const;

    std::size_t memory_bytes() const {
        return times_.capacity() * sizeof(double) + pairs_.capacity() * sizeof(float);
    }

private:
    std::size_t stride() const { return 2 * static_cast<std::size_t>(channel_count_); }
    std::size_t slot(std::size_t i) const {
        const std::size_t s = head_ + i;
        return s >= kTotalizerLogCapacity ? s - kTotalizerLogCapacity : s;
    }
    std::int32_t channel_count_;
    std::vector<double> times_;
    std::vector<float> pairs_;
    std::size_t head_ = 0;  // slot of the oldest record once the ring is full
    std::size_t size_ = 0;
};

}  // namespace vetra::analysis
