#pragma once

#include <array>
#include <chrono>
#include <mutex>
#include <optional>

#include "link/wits0.h"

namespace vetra::link {

// What the rig's WITS record 1 says about the hole and the pumps, as last received.
struct RigValues {
    std::optional<double> bit_depth;   // 0108
    std::optional<double> hole_depth;  // 0110
    // Strokes per minute of all pumps sent (0123..0125); none when no pump rate came.
    std::optional<double> stroke_rate;
    std::optional<double> strokes_total;  // 0137, the rig's own pump stroke count
};

// Keeps the items of a WITS stream that the depth history needs, each while it is younger
// than `validity`. Any thread.
class WitsRigValues {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kValidity{10};

    void take(const WitsItem& item, Clock::time_point now = Clock::now());
    RigValues values(Clock::time_point now = Clock::now()) const;

private:
    struct Kept {
        double value = 0;
        Clock::time_point time{};
        bool set = false;
    };
    enum Slot { kBit, kHole, kPump1, kPump2, kPump3, kTotal, kSlots };

    mutable std::mutex mutex_;
    std::array<Kept, kSlots> kept_{};
};

}  // namespace vetra::link
