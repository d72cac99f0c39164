#include "storage/depth_history.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "library/atomic_file.h"
#include "library/utf8_path.h"
#include "storage/record_bytes.h"

namespace vetra::storage {
namespace {

constexpr double kSecond = 1.0 / 86400.0;
// Between records further apart than this nothing is interpolated; a record older than
// kHolds says nothing about the time asked.
constexpr double kInterpolateGap = 5 * kSecond;
constexpr double kHolds = 30 * kSecond;
// Far enough off bottom to be a trip, not a connection.
constexpr float kTripOffBottom = 50.0f;
constexpr float kOffBottom = 0.5f;
constexpr double kConnectionWindow = 180 * kSecond;
constexpr int kConnectionRecords = 20;
// The strokes before a gas's mud (the slug that comes up after the pumps start again) and after
// it, in which a connection's pause counts, and how many
// records of standing pumps make one (a few at least, so a pump's hiccup does not).
constexpr double kSlugBefore = 50;
constexpr double kSlugAfter = 300;
constexpr int kStandingRecords = 3;
constexpr double kTripLookBack = 12 * 3600 * kSecond;
// Hole drilled since the bit came back below which gas is still the trip's.
constexpr float kTripNewHole = 1.0f;
// No pump strokes faster than this, for a counter that jumps.
constexpr double kMaxStrokesPerMinute = 1000;

using record_bytes::checksum;
using record_bytes::get;
using record_bytes::put;

float lerp(float a, float b, double f) {
    return static_cast<float>(a + (b - a) * f);
}

}  // namespace

void encode_depth_sample(const DepthSample& s, unsigned char* out) {
    unsigned char* p = out;
    put(p, s.time);
    put(p, s.bit_depth);
    put(p, s.hole_depth);
    put(p, s.strokes);
    put(p, s.rig_total);
    put(p, static_cast<std::uint32_t>(s.strokes_live ? 1 : 0));
    put(p, checksum(out, kDepthRecordSize - 4));
}

std::optional<DepthSample> decode_depth_sample(const unsigned char* in) {
    if (checksum(in, kDepthRecordSize - 4) != [&] {
            const unsigned char* c = in + kDepthRecordSize - 4;
            return get<std::uint32_t>(c);
        }()) {
        return std::nullopt;
    }
    const unsigned char* p = in;
    DepthSample s;
    s.time = get<double>(p);
    s.bit_depth = get<float>(p);
    s.hole_depth = get<float>(p);
    s.strokes = get<double>(p);
    s.rig_total = get<double>(p);
    s.strokes_live = (get<std::uint32_t>(p) & 1u) != 0;
    if (!std::isfinite(s.time) || !std::isfinite(s.bit_depth) || !std::isfinite(s.hole_depth) ||
        !std::isfinite(s.strokes)) {
        return std::nullopt;
    }
    return s;
}

std::vector<DepthSample> decode_depth_history(std::string_view bytes) {
    const std::size_t count = std::min(bytes.size() / kDepthRecordSize, 2 * kDepthMaxRecords);
    const std::size_t first = bytes.size() / kDepthRecordSize - count;
    std::vector<DepthSample> out;
    out.reserve(count);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = first; i < first + count; ++i) {
        const auto s = decode_depth_sample(data + i * kDepthRecordSize);
        // Time only goes forward; a block out of order is a damaged one.
        if (s && (out.empty() || s->time > out.back().time)) {
            out.push_back(*s);
        }
    }
    if (out.size() > kDepthMaxRecords) {
        out.erase(out.begin(), out.end() - static_cast<std::ptrdiff_t>(kDepthMaxRecords));
    }
    return out;
}

void DepthHistory::open(const std::filesystem::path& path) {
    path_ = path;
    samples_.clear();
    if (const auto bytes = library::read_whole_file(path)) {
        samples_ = decode_depth_history(*bytes);
        index_far_off_bottom();
        // A torn block at the end would shift every later append off the block boundary.
        if (bytes->size() % kDepthRecordSize != 0) {
            compact();
        }
    }
}

void DepthHistory::close() {
    path_.clear();
    samples_.clear();
    far_off_bottom_.clear();
}

void DepthHistory::index_far_off_bottom() {
    far_off_bottom_.clear();
    for (const auto& s : samples_) {
        if (s.hole_depth - s.bit_depth > kTripOffBottom) {
            far_off_bottom_.push_back(s.time);
        }
    }
}

bool DepthHistory::add(const DepthSample& sample) {
    if (!samples_.empty() && sample.time - samples_.back().time < kSecond * 0.999) {
        return false;
    }
    samples_.push_back(sample);
    if (sample.hole_depth - sample.bit_depth > kTripOffBottom) {
        far_off_bottom_.push_back(sample.time);
    }
    if (path_.empty()) {
        return true;
    }
    if (samples_.size() > kDepthMaxRecords ||
        samples_.back().time - samples_.front().time > (kDepthKeepSeconds + 86400) * kSecond) {
        compact();
    } else {
        append_to_file(sample);
    }
    return true;
}

void DepthHistory::append_to_file(const DepthSample& sample) {
    unsigned char block[kDepthRecordSize];
    encode_depth_sample(sample, block);
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(block), kDepthRecordSize);
    out.flush();
    if (reporter_) {
        reporter_->report(library::utf8_from_path(path_), out.good());
    }
}

void DepthHistory::compact() {
    const double keep_from =
        samples_.empty() ? 0 : samples_.back().time - kDepthKeepSeconds * kSecond;
    const auto first = std::lower_bound(samples_.begin(), samples_.end(), keep_from,
                                        [](const DepthSample& s, double t) { return s.time < t; });
    samples_.erase(samples_.begin(), first);
    index_far_off_bottom();
    std::string bytes(samples_.size() * kDepthRecordSize, '\0');
    for (std::size_t i = 0; i < samples_.size(); ++i) {
        encode_depth_sample(samples_[i],
                            reinterpret_cast<unsigned char*>(bytes.data()) + i * kDepthRecordSize);
    }
    std::error_code error;
    const bool ok = library::write_file_atomically(path_, bytes, &error);
    if (reporter_) {
        reporter_->report(library::utf8_from_path(path_), ok, error);
    }
}

std::optional<DepthSample> DepthHistory::at(library::DayNumber time) const {
    auto next = std::upper_bound(samples_.begin(), samples_.end(), time,
                                 [](double t, const DepthSample& s) { return t < s.time; });
    if (next == samples_.begin()) {
        return std::nullopt;
    }
    DepthSample s = *(next - 1);
    if (next != samples_.end() && next->time - s.time <= kInterpolateGap) {
        const double f = (time - s.time) / (next->time - s.time);
        s.bit_depth = lerp(s.bit_depth, next->bit_depth, f);
        s.hole_depth = lerp(s.hole_depth, next->hole_depth, f);
        s.strokes += (next->strokes - s.strokes) * f;
    } else if (time - s.time > kHolds) {
        return std::nullopt;
    }
    s.time = time;
    return s;
}

std::optional<LaggedDepth> DepthHistory::lagged_depth(library::DayNumber injection,
                                                      const LagParameters& lag) const {
    const double surface = injection - lag.line_delay_seconds * kSecond;
    const auto now = at(surface);
    if (!now) {
        return std::nullopt;
    }
    LaggedDepth out;
    if (now->strokes_live) {
        const double target = now->strokes - lag.lag_strokes;
        // The first record to reach the strokes: while the pumps stood, the mud at the bit
        // was the mud that was there when they stopped.
        const auto j =
            std::lower_bound(samples_.begin(), samples_.end(), target,
                             [](const DepthSample& s, double v) { return s.strokes < v; });
        if (j == samples_.end() || (j == samples_.begin() && j->strokes > target)) {
            return std::nullopt;
        }
        out.by_strokes = true;
        if (j == samples_.begin() || j->strokes == target) {
            out.bit_time = j->time;
            out.bit_depth = j->bit_depth;
            out.hole_depth = j->hole_depth;
            return out;
        }
        const auto& a = *(j - 1);
        const double f = (target - a.strokes) / (j->strokes - a.strokes);
        out.bit_time = a.time + (j->time - a.time) * f;
        out.bit_depth = lerp(a.bit_depth, j->bit_depth, f);
        out.hole_depth = lerp(a.hole_depth, j->hole_depth, f);
        return out;
    }
    const auto then = at(surface - lag.lag_minutes * 60 * kSecond);
    if (!then) {
        return std::nullopt;
    }
    out.bit_time = then->time;
    out.bit_depth = then->bit_depth;
    out.hole_depth = then->hole_depth;
    return out;
}

RigContext DepthHistory::context_at(library::DayNumber bit_time) const {
    RigContext context;
    const auto here = at(bit_time);
    if (!here) {
        return context;
    }
    const auto off_bottom = [](const DepthSample& s) {
        const float off = s.hole_depth - s.bit_depth;
        return off > kOffBottom && off < kTripOffBottom;
    };
    if (here->strokes_live) {
        // Counted in strokes, which the mud's travel is: the pumps stood with the bit off
        // bottom within a slug of mud around the gas's.
        auto it = std::lower_bound(samples_.begin(), samples_.end(), here->strokes - kSlugAfter,
                                   [](const DepthSample& s, double v) { return s.strokes < v; });
        int standing = 0;
        for (; it != samples_.end() && it->strokes <= here->strokes + kSlugBefore; ++it) {
            const bool still =
                it != samples_.begin() && it->strokes_live && it->strokes == (it - 1)->strokes;
            standing += still && off_bottom(*it) ? 1 : 0;
        }
        context.after_connection = standing >= kStandingRecords;
    } else {
        // Without strokes, by time: the bit off bottom around the moment.
        const auto by_time = [](const DepthSample& s, double t) { return s.time < t; };
        auto it = std::lower_bound(samples_.begin(), samples_.end(), bit_time - kConnectionWindow,
                                   by_time);
        int off = 0;
        for (; it != samples_.end() && it->time <= bit_time + kConnectionWindow; ++it) {
            off += off_bottom(*it) ? 1 : 0;
        }
        context.after_connection = off >= kConnectionRecords;
    }
    // Before it: the bit far off bottom, and hardly any new hole since.
    const auto far = std::upper_bound(far_off_bottom_.begin(), far_off_bottom_.end(), bit_time);
    if (far != far_off_bottom_.begin() && *(far - 1) >= bit_time - kTripLookBack) {
        if (const auto then = at(*(far - 1))) {
            context.after_trip = here->hole_depth - then->hole_depth < kTripNewHole;
        }
    }
    if (context.after_trip) {
        context.after_connection = false;
    }
    return context;
}

void StrokeCounter::seed(const DepthSample* last) {
    if (!last) {
        return;
    }
    strokes_ = last->strokes;
    last_time_ = last->time;
    if (std::isfinite(last->rig_total)) {
        last_total_ = last->rig_total;
    }
}

double StrokeCounter::update(library::DayNumber now, std::optional<double> rates,
                             std::optional<double> total) {
    const double seconds = last_time_ ? std::max(0.0, (now - *last_time_) * 86400.0) : 0.0;
    last_time_ = now;
    if (total && std::isfinite(*total)) {
        if (last_total_) {
            // A counter that went back was reset; one that jumped further than any pump
            // could (with a minute's slack, for a feed that comes fast) is not believed.
            const double d = *total - *last_total_;
            if (d >= 0 && d <= kMaxStrokesPerMinute * (seconds / 60.0 + 1.0)) {
                strokes_ += d;
            }
        }
        last_total_ = *total;
        live_ = true;
    } else if (rates && std::isfinite(*rates) && *rates >= 0) {
        strokes_ += *rates * std::min(seconds, 5.0) / 60.0;
        live_ = true;
    } else {
        live_ = false;
    }
    return strokes_;
}

double StrokeCounter::rig_total() const {
    return last_total_ ? *last_total_ : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace vetra::storage
