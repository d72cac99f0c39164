// Any byte span as the chromatograph's line, read by the frame reader straight from memory:
// the hunt for a first byte, short frames, the closing frame and the decoding of every model
// must neither crash nor hang, and each frame must keep to the decoder's ranges. The first
// byte chooses the model, the totalizer flag, the ADC width and the range factor; the rest
// is the line.
#include <cstddef>
#include <cstdint>
#include <span>

#include "frame_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    vetra::link::DecodeSettings settings;
    settings.device_type = data[0] % 3;  // 2: an unknown model
    settings.totalizer_use = (data[0] & 4) != 0;
    settings.adc_bits = 1 + (data[0] >> 3) % 16;
    settings.range_factor = 1 + (data[0] >> 7) * 9;

    const double half = fuzz::half_span(settings);
    fuzz::SpanSource source(std::span(data + 1, size - 1));
    for (std::size_t before = source.left();; before = source.left()) {
        const vetra::link::FrameResult r = vetra::link::read_sample_frame(source, settings);
        if (r.status == -99) {
            fuzz::check(source.left() == 0);
            break;
        }
        fuzz::check(source.left() < before);  // every frame read consumes the line
        (void)fuzz::check_frame(r, settings, half);
    }
    return 0;
}
