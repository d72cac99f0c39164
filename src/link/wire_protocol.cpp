#include "link/wire_protocol.h"

#include <chrono>
#include <thread>

namespace vetra::link {
namespace {

constexpr auto kErrorGiveUp = std::chrono::milliseconds(1000);
constexpr auto kErrorPause = std::chrono::milliseconds(10);

}  // namespace

std::uint8_t frame_checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

ProgramFrame program_frame(const std::array<std::int32_t, 8>& times) {
    ProgramFrame frame{};
    for (std::size_t i = 0; i < times.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(times[i] & 0xFF);
    }
    frame[8] = frame_checksum(frame.data(), 8);
    return frame;
}

ProgramFrame totalizer_stream_command() {
    ProgramFrame frame{'S', 'U', 'M', 'M', 1, 'T', 'O', 'R', 0};
    frame[8] = frame_checksum(frame.data(), 8);
    return frame;
}

std::uint8_t reverse7(std::uint8_t value) {
    std::uint8_t out = 0;
    for (int bit = 0; bit < 7; ++bit) {
        if (value & (1u << bit)) {
            out |= static_cast<std::uint8_t>(1u << (6 - bit));
        }
    }
    return out;
}

DecodedFrame decode_frame(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                          const DecodeSettings& s) {
    DecodedFrame out;
    if (a == 0xFF && b == 0xFF && c == 0xFF && d == 0xFF) {
        out.status = -96;
        return out;
    }
    std::uint8_t h = 0;
    std::uint8_t l = 0;
    if (s.device_type == 0) {
        h = reverse7(c);
        l = reverse7(d);
    } else if (s.device_type == 1) {
        h = c;
        l = d;
    } else {
        return out;  // an unknown model: a zero sample
    }
    const std::int32_t raw = (h & 0x7F) * 128 + (l & 0x7F);
    if (s.device_type == 1 && (b & 0x04) != 0 && s.totalizer_use) {
        out.frame = {static_cast<std::uint8_t>(b & 5), static_cast<std::uint8_t>(a & 0x7F),
                     static_cast<double>(raw)};
        return out;
    }
    const std::int32_t range = b & 3;
    double multiplier = 1.0;
    for (std::int32_t i = 0; i < range; ++i) {
        multiplier *= s.range_factor;
    }
    // Bits beyond 14 cannot come from the wire; 0 or a silly width keeps the code unsigned.
    std::int32_t code = raw;
    if (s.adc_bits > 0 && s.adc_bits < 31) {
        code &= (1 << s.adc_bits) - 1;
        if (code & (1 << (s.adc_bits - 1))) {
            code -= 1 << s.adc_bits;
        }
    }
    out.is_sample = true;
    out.adc_code = code;
    out.range = range;
    out.frame = {0, static_cast<std::uint8_t>(a & 0x7F), multiplier * code};
    return out;
}

FrameResult read_sample_frame(ByteSource& source, const DecodeSettings& settings,
                              const std::stop_token& stop) {
    FrameResult result;
    std::uint8_t first = 0;
    std::chrono::steady_clock::time_point failing_since{};
    bool failing = false;
    while (true) {
        if (stop.stop_requested()) {
            result.status = kFrameStopped;
            return result;
        }
        const ReadResult r = source.read(&first, 1);
        if (stop.stop_requested()) {
            result.status = kFrameStopped;
            return result;
        }
        if (!r.ok) {
            source.clear_errors();
            const auto now = std::chrono::steady_clock::now();
            if (!failing) {
                failing = true;
                failing_since = now;
            } else if (now - failing_since >= kErrorGiveUp) {
                result.status = -99;
                return result;
            }
            std::this_thread::sleep_for(kErrorPause);
            continue;
        }
        failing = false;
        if (r.count == 0) {
            result.status = -99;
            return result;
        }
        if (first & 0x80) {
            break;
        }
    }
    std::uint8_t rest[3] = {0, 0, 0};
    const ReadResult r = source.read(rest, 3);
    if (stop.stop_requested()) {
        result.status = kFrameStopped;
        return result;
    }
    if (!r.ok || r.count < 3) {
        result.status = -98;
        return result;
    }
    result.decoded = decode_frame(first, rest[0], rest[1], rest[2], settings);
    result.status = result.decoded.status;
    return result;
}

}  // namespace vetra::link
