// Any reply payload from the station: the search must not crash or read past the payload,
// and a value it finds must be eight bytes that the payload really holds.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "link/station_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    const double value = vetra::link::find_station_value(payload, "сумм_газ3");
    if (std::memcmp(&value, "\0\0\0\0\0\0\0\0", sizeof value) == 0) {
        return 0;
    }
    if (::memmem(data, size, &value, sizeof value) == nullptr) {
        __builtin_trap();
    }
    return 0;
}
