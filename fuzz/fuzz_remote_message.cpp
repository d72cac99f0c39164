// Any datagram as a remote-control message: decoding must not crash, must give one of the
// three operations with finite values, and must ignore everything after the first zero byte.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/remote_control.h"

namespace {

bool same(const vetra::link::RemoteMessage& a, const vetra::link::RemoteMessage& b) {
    return a.operation == b.operation && a.depth == b.depth && a.time_period == b.time_period &&
           a.mode_value == b.mode_value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vetra::link::RemoteSource;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto m = vetra::link::parse_remote_message(bytes);
    if (m.operation != RemoteSource::kStart && m.operation != RemoteSource::kMode &&
        m.operation != RemoteSource::kOther) {
        __builtin_trap();
    }
    if (!std::isfinite(m.depth)) {
        __builtin_trap();
    }
    if (m.operation != RemoteSource::kMode && m.mode_value != 2) {
        __builtin_trap();
    }
    using namespace std::string_literals;
    const std::string cut = std::string(bytes.substr(0, bytes.find('\0'))) +
                            "\0operation=start\r\ndepth=1\r\ntime_period=9"s;
    if (!same(m, vetra::link::parse_remote_message(cut))) {
        __builtin_trap();
    }
    return 0;
}
