#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "link/serial_port_list.h"

namespace vetra::link {
namespace {

namespace fs = std::filesystem;

// Names compare with their digit runs as numbers.
bool natural_less(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) {
                ++ei;
            }
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) {
                ++ej;
            }
            const std::string na = a.substr(i, ei - i);
            const std::string nb = b.substr(j, ej - j);
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The kernel makes ttyS0..ttyS31 whether or not a UART is there; the serial core's "type"
// says 0 (unknown) for the empty ones. Readable without the dialout group.
bool uart_behind(const fs::path& sys_tty) {
    std::ifstream in(sys_tty / "type");
    int type = 0;
    return in >> type && type != 0;
}

}  // namespace

std::vector<std::string> present_serial_devices(const std::string& root) {
    const fs::path base(root);
    std::error_code ec;
    std::vector<std::string> ports;
    for (const auto& entry : fs::directory_iterator(base / "sys/class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (starts_with(name, "ttyS")
                ? uart_behind(entry.path())
                : starts_with(name, "ttyUSB") || starts_with(name, "ttyACM")) {
            ports.push_back("/dev/" + name);
        }
    }
    std::sort(ports.begin(), ports.end(), natural_less);
    std::vector<std::string> by_id;
    for (const auto& entry : fs::directory_iterator(base / "dev/serial/by-id", ec)) {
        by_id.push_back("/dev/serial/by-id/" + entry.path().filename().string());
    }
    std::sort(by_id.begin(), by_id.end(), natural_less);
    ports.insert(ports.end(), by_id.begin(), by_id.end());
    return ports;
}

}  // namespace vetra::link
