// What the frame-reading fuzz targets share: a line served from memory and the ranges every
// decoded frame must keep to.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/wire_protocol.h"

namespace fuzz {

inline void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

// Serves the span once, then stays silent, as a quiet line does.
class SpanSource final : public vetra::link::ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    vetra::link::ReadResult read(std::uint8_t* buffer, std::size_t n) override {
        const std::size_t count = std::min(n, bytes_.size());
        std::copy_n(bytes_.begin(), count, buffer);
        bytes_ = bytes_.subspan(count);
        return {true, count};
    }
    void clear_errors() override {}
    std::size_t left() const { return bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
};

// Half the ADC's span, which every sample code keeps within.
inline double half_span(const vetra::link::DecodeSettings& settings) {
    return std::ldexp(1.0, settings.adc_bits - 1);
}

// Checks a frame read and tells whether it is a detector frame (the one kind that goes on to
// the reduction). `half` is half_span(settings).
inline bool check_frame(const vetra::link::FrameResult& r,
                        const vetra::link::DecodeSettings& settings, double half) {
    check(r.status == -100 || r.status == -98 || r.status == -96);
    if (r.status != -100) {
        return false;
    }
    const vetra::link::DecodedFrame& d = r.decoded;
    check(d.frame.tick < 128);
    check(d.frame.kind == 0 || d.frame.kind == 4 || d.frame.kind == 5);
    check(std::isfinite(d.frame.value));
    if (d.frame.kind != 0) {
        check(settings.device_type == 1 && settings.totalizer_use);
        check(d.frame.value >= 0 && d.frame.value < 16384);
        return false;
    }
    if (d.is_sample) {
        check(d.adc_code >= -half && d.adc_code < half);
        check(d.range >= 0 && d.range <= 3);
        check(d.frame.value == std::pow(settings.range_factor, d.range) * d.adc_code);
    }
    return true;
}

}  // namespace fuzz
