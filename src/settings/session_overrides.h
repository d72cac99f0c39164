#pragma once

#include <optional>
#include <string>

#include "settings/global_settings.h"

namespace vetra::settings {

// What the command line changes for one run only (demonstration mode, the chromatograph's
// port): applied after the settings are loaded, taken back before they are saved, so the
// stored settings keep the operator's own values.
class SessionOverrides {
public:
    SessionOverrides(bool demo, std::optional<std::string> port)
        : demo_(demo), port_(std::move(port)) {}

    void apply(GlobalSettings& s) {
        stored_demo_ = s.demo;
        stored_port_ = s.port_name;
        if (demo_) {
            s.demo = true;
        }
        if (port_) {
            s.port_name = *port_;
        }
    }
    void restore(GlobalSettings& s) const {
        s.demo = stored_demo_;
        s.port_name = stored_port_;
    }

private:
    bool demo_;
    std::optional<std::string> port_;
    bool stored_demo_ = false;
    std::string stored_port_;
};

}  // namespace vetra::settings
