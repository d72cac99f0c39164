// Any byte stream as the chromatograph's line, end to end: framing, decoding and reduction to
// points must neither crash nor hang, and what comes out must keep to the decoder's ranges.
// The reduction's trimmed means dominate its time; fuzz_frames runs the decoder alone.
// The first three bytes choose the model, the totalizer flag, the ADC width, the range
// factor and the rate; the rest is the line.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "control/sample_reducer.h"
#include "link/wire_protocol.h"

namespace {

// Serves the input once, then stays silent, as a quiet line does.
class MemorySource final : public vetra::link::ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    vetra::link::ReadResult read(std::uint8_t* buffer, std::size_t n) override {
        std::size_t count = 0;
        while (count < n && at_ < size_) {
            buffer[count++] = data_[at_++];
        }
        return {true, count};
    }
    void clear_errors() override {}

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    vetra::link::DecodeSettings settings;
    settings.device_type = data[0] % 3;  // 2: an unknown model
    settings.totalizer_use = (data[0] & 4) != 0;
    settings.adc_bits = 1 + data[1] % 16;
    settings.range_factor = 1 + (data[1] >> 4);
    const std::int32_t rate = 1 + data[2] % 16;
    const double scale = vetra::control::full_scale(settings.adc_bits, settings.range_factor, 4);

    MemorySource source(data + 3, size - 3);
    vetra::control::SampleReducer reducer(rate);
    const double half = std::ldexp(1.0, settings.adc_bits - 1);
    for (;;) {
        const vetra::link::FrameResult r = vetra::link::read_sample_frame(source, settings);
        if (r.status == -99) {
            break;
        }
        check(r.status == -100 || r.status == -98 || r.status == -96);
        if (r.status != -100) {
            continue;
        }
        const vetra::link::DecodedFrame& d = r.decoded;
        check(d.frame.tick < 128);
        check(d.frame.kind == 0 || d.frame.kind == 4 || d.frame.kind == 5);
        check(std::isfinite(d.frame.value));
        if (d.frame.kind != 0) {
            check(settings.device_type == 1 && settings.totalizer_use);
            check(d.frame.value >= 0 && d.frame.value < 16384);
            continue;
        }
        if (d.is_sample) {
            check(d.adc_code >= -half && d.adc_code < half);
            check(d.range >= 0 && d.range <= 3);
            check(d.frame.value == std::pow(settings.range_factor, d.range) * d.adc_code);
        }
        reducer.add(d.frame.tick, d.frame.value * 1000.0 * 2.5 / scale,
                    [](const vetra::control::SampleReducer::Point& p) {
                        check(std::isfinite(p.value));
                        check(p.seconds >= 0);
                    });
    }
    return 0;
}
