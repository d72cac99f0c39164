#pragma once

#include <cstdint>
#include <string>

#include "settings/ini_options.h"

namespace vetra::settings {

// The rig's own data formats, in sections of their own ("wits", "ratios") so the sections
// the program always had stay as they are.
class RigSettings : public IniOptions {
public:
    // 0 off, 1 serial port, 2 connect to a receiver (host:port), 3 listen for receivers (port
    // or address:port).
    std::int32_t wits_out = 0;
    std::string wits_out_port = "COM2";
    std::string wits_out_mode = "9600,n,8,1";
    std::string wits_out_address = "0.0.0.0:5005";
    // 0 off, 1 serial port, 2 connect to the rig's WITS server (host:port).
    std::int32_t wits_in = 0;
    std::string wits_in_port = "COM3";
    std::string wits_in_mode = "9600,n,8,1";
    std::string wits_in_address;
    // 110 hole depth, 108 bit depth.
    std::int32_t wits_in_depth_item = 110;
    // Seconds without a byte from the rig after which the input is closed and opened again;
    // 0 never.
    std::int32_t wits_in_idle_limit = kDefaultIdleLimit;
    static constexpr std::int32_t kDefaultIdleLimit = 30;
    static constexpr std::int32_t kMaxIdleLimit = 3600;

    bool show_ratios = false;
    // Well header of LAS files that the settings do not hold already.
    std::string las_company;
    std::string las_service;
    std::string las_location;

    // Values outside what the program can use fall back to the defaults.
    void normalize();

protected:
    void register_bindings(BindingList& list) override;
    void after_load(const IniFile& file) override;
};

}  // namespace vetra::settings
