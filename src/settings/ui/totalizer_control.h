#pragma once

#include <functional>
#include <utility>

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

// Over the flags of the settings record, which the acquisition thread watches; reopening
// the reader is left to whoever owns it.
class SettingsTotalizerControl final : public TotalizerControl {
public:
    explicit SettingsTotalizerControl(GlobalSettings& settings) : settings_(settings) {}

    void begin_zero_shift() override {
        settings_.totalizer_null = 0.0f;
        settings_.totalizer_null10 = 0.0f;
        settings_.zero_setting_result = false;
        settings_.zero_setting_running = true;
    }
    void end_zero_shift() override { settings_.zero_setting_running = false; }
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
    GlobalSettings& settings_;
};

}  // namespace vetra::settings::ui
