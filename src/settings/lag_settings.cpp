#include "settings/lag_settings.h"

#include <cmath>

namespace vetra::settings {
namespace {

constexpr const char* kSection = "lag";

void keep_within(double& value, double low, double high, double fallback) {
    if (!std::isfinite(value) || value < low || value > high) {
        value = fallback;
    }
}

}  // namespace

void LagSettings::register_bindings(BindingList& l) {
    l.add_integer(&sample_depth, kSection, "sample_depth");
    l.add_double(&lag_strokes, kSection, "lag_strokes");
    l.add_double(&lag_minutes, kSection, "lag_minutes");
    l.add_double(&line_delay_seconds, kSection, "line_delay");
    l.add_double(&background_metres, kSection, "background_metres");
    l.add_double(&show_factor, kSection, "show_factor");
    l.add_double(&show_minimum, kSection, "show_minimum");
}

void LagSettings::after_load(const IniFile&) {
    normalize();
}

void LagSettings::normalize() {
    const LagSettings d;
    if (sample_depth != kAsSent && sample_depth != kLaggedHere) {
        sample_depth = kAsSent;
    }
    keep_within(lag_strokes, 0, 1e6, d.lag_strokes);
    keep_within(lag_minutes, 0, 24 * 60, d.lag_minutes);
    keep_within(line_delay_seconds, 0, 3600, d.line_delay_seconds);
    keep_within(background_metres, 0.5, 1000, d.background_metres);
    keep_within(show_factor, 1.01, 100, d.show_factor);
    keep_within(show_minimum, 0, 100, d.show_minimum);
}

}  // namespace vetra::settings
