#include "link/serial_port_list.h"

namespace vetra::link {

std::vector<std::string> serial_port_names() {
    std::vector<std::string> names;
    for (int i = 1; i <= 8; ++i) {
        names.push_back("COM" + std::to_string(i));
    }
    for (auto& device : present_serial_devices()) {
        bool known = false;
        for (const auto& n : names) {
            known = known || n == device;
        }
        if (!known) {
            names.push_back(std::move(device));
        }
    }
    return names;
}

}  // namespace vetra::link
