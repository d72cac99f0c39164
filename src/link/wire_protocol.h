#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stop_token>

#include "link/serial_port.h"

namespace vetra::link {

using ProgramFrame = std::array<std::uint8_t, 9>;

// The cycle program: the low bytes of "время1".."время7" and "время_цикла", then a checksum
// that makes the nine bytes sum to 0 modulo 256.
ProgramFrame program_frame(const std::array<std::int32_t, 8>& times);
// "SUMM", 1, "TOR" and the checksum: the device streams totalizer readings between cycles.
ProgramFrame totalizer_stream_command();
std::uint8_t frame_checksum(const std::uint8_t* bytes, std::size_t count);

// One decoded data frame.
struct SampleFrame {
    std::uint8_t kind = 0;  // 0 sample; 4 or 5 totalizer reading (5 = channel 2)
    std::uint8_t tick = 0;  // 0..127, wrapping
    double value = 0.0;     // range-scaled signed code, or the unsigned 14-bit totalizer code
};

// What decoding depends on; the acquisition thread snapshots it at the start of a run,
// except `totalizer_use`, which the operator may toggle meanwhile.
struct DecodeSettings {
    std::int32_t device_type = 0;
    std::int32_t adc_bits = 14;
    std::int32_t range_factor = 10;
    bool totalizer_use = false;
};

struct DecodedFrame {
    int status = -100;  // -100 decoded, -96 closing frame
    SampleFrame frame;
    bool is_sample = false;  // a detector sample: the display values below are meaningful
    std::int32_t adc_code = 0;
    std::int32_t range = 0;
};

// The 7 low bits in reverse order, as model 0 sends each half of the code.
std::uint8_t reverse7(std::uint8_t value);

// Pure decoding of the four bytes A B C D.
DecodedFrame decode_frame(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                          const DecodeSettings& settings);

// Where frames are read from: the chromatograph port, or a test's script.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual ReadResult read(std::uint8_t* buffer, std::size_t n) = 0;
    virtual void clear_errors() = 0;
};

// Not a line status: the reader was told to stop before a frame was complete.
inline constexpr int kFrameStopped = 0;

struct FrameResult {
    // -100 decoded, -99 silent line, -98 short frame, -96 closing frame, kFrameStopped
    int status = -100;
    DecodedFrame decoded;
};

// Hunts for a first byte (bit 7 set), reads the other three and decodes them.
// A read error is cleared and reading goes on, but errors that persist for as long as the
// line's silence time-out (a vanished device) end it like silence, with -99. The hunt looks
// at `stop` after every read, since a noisy line may never fall silent; the source is
// expected to end its own waits on the same request.
FrameResult read_sample_frame(ByteSource& source, const DecodeSettings& settings,
                              const std::stop_token& stop = {});

}  // namespace vetra::link
