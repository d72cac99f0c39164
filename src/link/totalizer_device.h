#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "link/device_link.h"

namespace vetra::link {

inline constexpr const char* kTotalizerMarker = "MMV";
inline constexpr std::size_t kTotalizerPacketSize = 21;  // after the marker

// What the program takes from one packet of the external totalizer.
struct TotalizerSummary {
    std::uint8_t counter = 0;
    std::uint8_t exponent = 0;
    std::int16_t mantissa = 0;
    // mantissa x 10^exponent; an exponent too large for 64 bits saturates.
    std::int64_t main_reading = 0;
};

// The 21 bytes after "MMV": nothing unless they sum to 0 modulo 256.
std::optional<TotalizerSummary> parse_totalizer_packet(
    std::span<const std::uint8_t, kTotalizerPacketSize> bytes);

// Reads up to n bytes into the buffer; `count` is what arrived. False on a failed read.
using PacketReader = std::function<bool(std::uint8_t*, std::size_t, std::size_t&)>;
// One try at a packet: "MMV" one byte at a time (a wrong byte is consumed and ends the
// try), then 21 bytes in one read, then the check sum.
bool read_totalizer_packet(const PacketReader& read, TotalizerSummary& summary);

// The external gas totalizer on its own serial line (or TCP through a converter).
class TotalizerDevice : public DeviceLink {
public:
    using DeviceLink::DeviceLink;

    // Waits for "MMV" and reads the packet after it; false on a wrong byte before the
    // marker (the next call resynchronises), a short packet or a bad check sum.
    [[nodiscard]] bool read_packet(TotalizerSummary& summary);
};

}  // namespace vetra::link
