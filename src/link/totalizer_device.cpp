#include "link/totalizer_device.h"

#include <array>
#include <limits>
#include <string_view>

namespace vetra::link {

std::optional<TotalizerSummary> parse_totalizer_packet(
    std::span<const std::uint8_t, kTotalizerPacketSize> bytes) {
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    if (sum % 256 != 0) {
        return std::nullopt;
    }
    TotalizerSummary s;
    s.counter = bytes[0];
    s.exponent = bytes[1];
    s.mantissa = static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[2]) |
                                           static_cast<std::uint16_t>(bytes[3]) << 8);
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = s.mantissa;
    for (int i = 0; i < s.exponent && value != 0; ++i) {
        if (value > kMax / 10 || value < -kMax / 10) {
            value = value > 0 ? kMax : -kMax;
            break;
        }
        value *= 10;
    }
    s.main_reading = value;
    return s;
}

bool read_totalizer_packet(const PacketReader& read, TotalizerSummary& summary) {
    for (const char expected : std::string_view(kTotalizerMarker)) {
        std::uint8_t byte = 0;
        std::size_t count = 0;
        if (!read(&byte, 1, count) || count != 1 || byte != static_cast<std::uint8_t>(expected)) {
            return false;
        }
    }
    std::array<std::uint8_t, kTotalizerPacketSize> bytes{};
    std::size_t count = 0;
    if (!read(bytes.data(), bytes.size(), count) || count != bytes.size()) {
        return false;
    }
    const auto parsed = parse_totalizer_packet(bytes);
    if (!parsed) {
        return false;
    }
    summary = *parsed;
    return true;
}

bool TotalizerDevice::read_packet(TotalizerSummary& summary) {
    if (!is_open()) {
        return false;
    }
    return read_totalizer_packet([this](std::uint8_t* buffer, std::size_t n,
                                        std::size_t& count) { return read(buffer, n, count); },
                                 summary);
}

}  // namespace vetra::link
