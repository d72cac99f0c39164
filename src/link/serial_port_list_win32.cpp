#include <windows.h>

#include <algorithm>

#include "link/serial_port_list.h"

namespace vetra::link {

// The ports Windows knows of now, as the device map lists them ("COM3", "COM12").
std::vector<std::string> present_serial_devices(const std::string&) {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_size = 256;
        wchar_t data[256];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, name, &name_size, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &data_size);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        std::string port;
        for (DWORD c = 0; c < data_size / sizeof(wchar_t) && data[c] != 0; ++c) {
            port.push_back(static_cast<char>(data[c] < 128 ? data[c] : '?'));
        }
        ports.push_back(port);
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return ports;
}

}  // namespace vetra::link
