#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "link/tcp_keepalive.h"

namespace vetra::link {

bool enable_keepalive(boost::asio::ip::tcp::socket& socket) {
    const int fd = socket.native_handle();
    const int on = 1;
    const int idle = static_cast<int>(kKeepAliveIdle.count());
    const int interval = static_cast<int>(kKeepAliveInterval.count());
    const int probes = kKeepAliveProbes;
    bool ok = ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 && ok;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 && ok;
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 && ok;
    return ok;
}

}  // namespace vetra::link
