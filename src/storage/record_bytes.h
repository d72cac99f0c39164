#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Fixed-size binary records of the program's own files: fields packed in order, little-endian
// hosts only, each record closed by a checksum so a torn or damaged one is recognised.
namespace vetra::storage::record_bytes {

inline std::uint32_t checksum(const unsigned char* p, std::size_t n) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (std::size_t i = 0; i < n; ++i) {
        h = (h ^ p[i]) * 16777619u;
    }
    return h;
}

template <typename T>
void put(unsigned char*& out, T value) {
    std::memcpy(out, &value, sizeof value);
    out += sizeof value;
}

template <typename T>
T get(const unsigned char*& in) {
    T value;
    std::memcpy(&value, in, sizeof value);
    in += sizeof value;
    return value;
}

}  // namespace vetra::storage::record_bytes
