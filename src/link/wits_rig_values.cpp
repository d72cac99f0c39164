#include "link/wits_rig_values.h"

#include <charconv>
#include <cmath>
#include <string>

namespace vetra::link {
namespace {

std::optional<double> non_negative(std::string_view text) {
    std::string t(text);
    for (char& c : t) {
        c = c == ',' ? '.' : c;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc{} || end != t.data() + t.size() || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

void WitsRigValues::take(const WitsItem& item, Clock::time_point now) {
    if (item.record != 1) {
        return;
    }
    int slot = -1;
    std::optional<double> value;
    switch (item.item) {
        case 8:
            slot = kBit;
            value = wits_depth_value(item.value);
            break;
        case 10:
            slot = kHole;
            value = wits_depth_value(item.value);
            break;
        case 23:
        case 24:
        case 25:
            slot = kPump1 + (item.item - 23);
            value = non_negative(item.value);
            break;
        case 37:
            slot = kTotal;
            value = non_negative(item.value);
            break;
        default:
            return;
    }
    if (!value) {
        return;
    }
    const std::lock_guard lock(mutex_);
    kept_[static_cast<std::size_t>(slot)] = {*value, now, true};
}

RigValues WitsRigValues::values(Clock::time_point now) const {
    const std::lock_guard lock(mutex_);
    const auto fresh = [&](int slot) -> std::optional<double> {
        const Kept& k = kept_[static_cast<std::size_t>(slot)];
        if (!k.set || now - k.time >= kValidity) {
            return std::nullopt;
        }
        return k.value;
    };
    RigValues v;
    v.bit_depth = fresh(kBit);
    v.hole_depth = fresh(kHole);
    v.strokes_total = fresh(kTotal);
    for (int p = kPump1; p <= kPump3; ++p) {
        if (const auto rate = fresh(p)) {
            v.stroke_rate = v.stroke_rate.value_or(0) + *rate;
        }
    }
    return v;
}

}  // namespace vetra::link
