#include <winsock2.h>
// after winsock2.h
#include <mstcpip.h>

#include "link/tcp_keepalive.h"

namespace vetra::link {

// Windows sends a fixed number of probes (ten); only the two waits can be chosen, in
// milliseconds, and for one socket only through this control code.
bool enable_keepalive(boost::asio::ip::tcp::socket& socket) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(std::chrono::milliseconds(kKeepAliveIdle).count());
    values.keepaliveinterval =
        static_cast<ULONG>(std::chrono::milliseconds(kKeepAliveInterval).count());
    DWORD returned = 0;
    return ::WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr,
                      0, &returned, nullptr, nullptr) == 0;
}

}  // namespace vetra::link
