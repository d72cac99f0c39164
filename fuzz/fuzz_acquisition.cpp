// Any byte stream as the chromatograph's line, end to end: framing, decoding and reduction to
// points must neither crash nor hang, and what comes out must keep to the decoder's ranges.
// The reduction's trimmed means dominate its time; fuzz_frames runs the decoder alone.
// The first three bytes choose the model, the totalizer flag, the ADC width, the range
// factor and the rate; the rest is the line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "control/sample_reducer.h"
#include "frame_checks.h"

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

    const double half = fuzz::half_span(settings);
    fuzz::SpanSource source(std::span(data + 3, size - 3));
    vetra::control::SampleReducer reducer(rate);
    for (;;) {
        const vetra::link::FrameResult r = vetra::link::read_sample_frame(source, settings);
        if (r.status == -99) {
            break;
        }
        if (!fuzz::check_frame(r, settings, half)) {
            continue;
        }
        reducer.add(r.decoded.frame.tick, r.decoded.frame.value * 1000.0 * 2.5 / scale,
                    [](const vetra::control::SampleReducer::Point& p) {
                        fuzz::check(std::isfinite(p.value));
                        fuzz::check(p.seconds >= 0);
                    });
    }
    return 0;
}
