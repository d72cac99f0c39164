#include "link/serial_port_list.h"

namespace vetra::link {

std::vector<std::string> serial_port_names(const std::string& root) {
    std::vector<std::string> names = present_serial_devices(root);
    if (names.empty()) {
        // Nothing found (no rights to look, or the ports come later): the classic names.
        for (int i = 1; i <= 8; ++i) {
            names.push_back("COM" + std::to_string(i));
        }
    }
    return names;
}

}  // namespace vetra::link
