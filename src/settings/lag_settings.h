#pragma once

#include <cstdint>

#include "settings/ini_options.h"

namespace vetra::settings {

// Where an analysis's depth comes from, the lag of the mud and how shows are picked, in a
// section of its own ("lag"). The defaults keep the depth as it is sent: a station that
// lags its depth itself must not have it lagged twice.
class LagSettings : public IniOptions {
public:
    enum SampleDepth : std::int32_t { kAsSent = 0, kLaggedHere = 1 };

    std::int32_t sample_depth = kAsSent;
    // The lag by pump strokes, used while the rig sends its strokes; by time otherwise.
    double lag_strokes = 2000;
    double lag_minutes = 30;
    // From the gas trap to the chromatograph, added to the lag.
    double line_delay_seconds = 60;
    // The background is taken over the last metres drilled.
    double background_metres = 10;
    // A show: at least factor x background and at least background + minimum (percent).
    double show_factor = 2;
    double show_minimum = 0.05;

    bool lagged_here() const { return sample_depth == kLaggedHere; }
    // Values outside what the program can use fall back to the defaults.
    void normalize();

protected:
    void register_bindings(BindingList& list) override;
    void after_load(const IniFile& file) override;
};

}  // namespace vetra::settings
