// Any byte span as the chromatograph's line, read by the frame reader straight from memory:
// the hunt for a first byte, short frames, the closing frame and the decoding of every model
// must neither crash nor hang, and each frame must keep to the decoder's ranges. The first
// byte chooses the model, the totalizer flag, the ADC width and the range factor; the rest
// is the line.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/wire_protocol.h"

namespace {

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

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    vetra::link::DecodeSettings settings;
    settings.device_type = data[0] % 3;  // 2: an unknown model
    settings.totalizer_use = (data[0] & 4) != 0;
    settings.adc_bits = 1 + (data[0] >> 3) % 16;
    settings.range_factor = 1 + (data[0] >> 7) * 9;
    const double half = std::ldexp(1.0, settings.adc_bits - 1);

    SpanSource source(std::span(data + 1, size - 1));
    for (std::size_t before = source.left();; before = source.left()) {
        const vetra::link::FrameResult r = vetra::link::read_sample_frame(source, settings);
        if (r.status == -99) {
            check(source.left() == 0);
            break;
        }
        check(source.left() < before);  // every frame read consumes the line
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
        } else if (d.is_sample) {
            check(d.adc_code >= -half && d.adc_code < half);
            check(d.range >= 0 && d.range <= 3);
            check(d.frame.value == std::pow(settings.range_factor, d.range) * d.adc_code);
        }
    }
    return 0;
}
