#include "settings/rig_settings.h"

namespace vetra::settings {

void RigSettings::register_bindings(BindingList& l) {
    l.add_integer(&wits_out, "wits", "out");
    l.add_text(&wits_out_port, "wits", "out_port");
    l.add_text(&wits_out_mode, "wits", "out_mode");
    l.add_text(&wits_out_address, "wits", "out_address");
    l.add_integer(&wits_in, "wits", "in");
    l.add_text(&wits_in_port, "wits", "in_port");
    l.add_text(&wits_in_mode, "wits", "in_mode");
    l.add_text(&wits_in_address, "wits", "in_address");
    l.add_integer(&wits_in_depth_item, "wits", "in_depth_item");
    l.add_integer(&wits_in_idle_limit, "wits", "in_idle_limit");
    l.add_bool(&show_ratios, "ratios", "show");
    l.add_text(&las_company, "las", "company");
    l.add_text(&las_service, "las", "service");
    l.add_text(&las_location, "las", "location");
}

void RigSettings::after_load(const IniFile&) {
    normalize();
}

void RigSettings::normalize() {
    if (wits_out < 0 || wits_out > 3) {
        wits_out = 0;
    }
    if (wits_in < 0 || wits_in > 2) {
        wits_in = 0;
    }
    if (wits_in_depth_item != 110 && wits_in_depth_item != 108) {
        wits_in_depth_item = 110;
    }
    if (wits_in_idle_limit < 0 || wits_in_idle_limit > kMaxIdleLimit) {
        wits_in_idle_limit = kDefaultIdleLimit;
    }
}

}  // namespace vetra::settings
