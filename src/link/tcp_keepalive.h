#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <chrono>

namespace vetra::link {

// The system's own keep-alive waits two hours before its first probe, which is no use on a
// rig's network: a peer that lost power or a cut cable shows within about a minute instead.
inline constexpr std::chrono::seconds kKeepAliveIdle{20};
inline constexpr std::chrono::seconds kKeepAliveInterval{5};
inline constexpr int kKeepAliveProbes = 4;

// Turns TCP keep-alive on with the timings above; false when the system refused it (the
// socket still works, only a dead peer is noticed later).
bool enable_keepalive(boost::asio::ip::tcp::socket& socket);

}  // namespace vetra::link
