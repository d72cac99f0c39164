#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace vetra::storage::test {

// Little-endian fields, for byte layouts built by hand.
template <typename T>
std::string le(T value) {
    std::string bytes(sizeof(T), '\0');
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

inline std::string i32(std::int32_t v) {
    return le(v);
}

// One 24-byte point record: reserved, value, seconds, reserved.
inline std::string point_record(double value, std::int32_t seconds) {
    return std::string(8, '\0') + le(value) + le(seconds) + std::string(4, '\0');
}

// A zero-terminated text as stored.
inline std::string text0(const std::string& cp1251) {
    return cp1251 + std::string(1, '\0');
}

}  // namespace vetra::storage::test
