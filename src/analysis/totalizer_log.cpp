#include "analysis/totalizer_log.h"

#include <algorithm>
#include <array>

namespace vetra::analysis {

TotalizerLog::TotalizerLog(std::int32_t channel_count)
    : channel_count_(valid_totalizer_channels(channel_count) ? channel_count : 1) {}

void TotalizerLog::reset(std::int32_t channel_count) {
    channel_count_ = valid_totalizer_channels(channel_count) ? channel_count : 1;
    times_.clear();
    pairs_.clear();
    head_ = 0;
    size_ = 0;
}

void TotalizerLog::append_pairs(library::DayNumber time, const float* pairs) {
    if (size_ < kTotalizerLogCapacity) {
        times_.push_back(time);
        pairs_.insert(pairs_.end(), pairs, pairs + stride());
        ++size_;
        return;
    }
    times_[head_] = time;
    std::copy_n(pairs, stride(), pairs_.begin() + static_cast<std::ptrdiff_t>(head_ * stride()));
    head_ = slot(1);
}

void TotalizerLog::append(library::DayNumber time, float value, float depth) {
    std::array<float, 2 * kMaxTotalizerChannels> pairs{};
    pairs[0] = value;
    pairs[1] = depth;
    append_pairs(time, pairs.data());
}

void TotalizerLog::reserve(std::size_t records) {
    records = std::min(records, kTotalizerLogCapacity);
    times_.reserve(records);
    pairs_.reserve(records * stride());
}

std::size_t TotalizerLog::lower_bound(library::DayNumber t) const {
    std::size_t lo = 0;
    std::size_t hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (time(mid) < t) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

}  // namespace vetra::analysis
