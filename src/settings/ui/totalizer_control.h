#pragma once

#include <functional>
#include <utility>

#include "control/chromatograph_link.h"
#include "settings/global_settings.h"

namespace vetra::settings::ui {

// What the work settings dialog asks of the gas totalizer: the automatic zero-shift
// measurement of the built-in totalizer and, after new settings, reopening the reader.
class TotalizerControl {
public:
    virtual ~TotalizerControl() = default;
    // While the measurement runs the acquisition side writes "null" and "null10".
    virtual void begin_zero_shift() = 0;
    virtual void end_zero_shift() = 0;
    // The measured zero shifts of channels 1 and 2, V.
    virtual std::pair<float, float> zero_shift() const = 0;
    virtual void reconnect() = 0;
};

// The measurement is the chromatograph link's; the offsets it finds are in the settings
// record. Reopening the reader is left to whoever owns it.
class SettingsTotalizerControl final : public TotalizerControl {
public:
    SettingsTotalizerControl(control::ChromatographLink& link, GlobalSettings& settings)
        : link_(link), settings_(settings) {}

    void begin_zero_shift() override { link_.start_zero_setting(); }
    void end_zero_shift() override { link_.finish_zero_setting(); }
    std::pair<float, float> zero_shift() const override {
        return {settings_.totalizer_null.load(), settings_.totalizer_null10.load()};
    }
    void reconnect() override {
        if (on_reconnect) {
            on_reconnect();
        }
    }

    std::function<void()> on_reconnect;

private:
    control::ChromatographLink& link_;
    GlobalSettings& settings_;
};

}  // namespace vetra::settings::ui
