#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "library/datetime.h"

namespace vetra::control {

inline constexpr const char* kTotalizerLogFileName = "gsumm.dat";
// Three days of one average per second, and the one appended after them.
inline constexpr std::size_t kTotalizerLogCapacity = 259'201;
inline constexpr std::int32_t kMaxTotalizerChannels = 32;

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
    void push(library::DayNumber time, const float* pairs);

    friend bool decode_totalizer_records(std::string_view, std::int32_t, std::int64_t,
                                         TotalizerLog&);

    std::int32_t channel_count_;
    std::vector<double> times_;
    std::vector<float> pairs_;
    std::size_t head_ = 0;  // slot of the oldest record once the ring is full
    std::size_t size_ = 0;
};

// The file as it is stored: "VetraSummCurv3", the version byte 1, the channel count, the
// record count, then each record's time (double) and value/depth pairs (floats),
// little-endian.
std::string encode_totalizer_log(const TotalizerLog& log);

enum class TotalizerLoad {
    missing,        // no file, or shorter than its header: nothing happens
    foreign,        // another header: the file is deleted
    other_version,  // the file stays, nothing is loaded
    bad_channels,   // a channel count outside 1..32: the file stays, nothing is loaded
    loaded,
};

// Whole-file save through a temporary file; an empty log writes nothing (and succeeds).
[[nodiscard]] bool save_totalizer_file(const TotalizerLog& log, const std::filesystem::path& path);
// Reads at most the last kTotalizerLogCapacity records that are present in full, whatever
// the counts in the file claim, and deletes a file with a foreign header.
TotalizerLoad load_totalizer_file(TotalizerLog& log, const std::filesystem::path& path);
// The same on the bytes of a whole file; deletes nothing.
TotalizerLoad load_totalizer_bytes(TotalizerLog& log, std::string_view file);

// Records after the 23-byte header; false (log untouched) for a bad channel count.
bool decode_totalizer_records(std::string_view records, std::int32_t channel_count,
                              std::int64_t claimed_count, TotalizerLog& log);

}  // namespace vetra::control
