#include "link/tcp_keepalive.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

namespace vetra::link {
namespace {

// Both halves: the system takes the keep-alive and its timings for one socket.
TEST(TcpKeepAlive, is_taken_by_a_socket) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    socket.open(boost::asio::ip::tcp::v4());
    ASSERT_TRUE(enable_keepalive(socket));
    boost::asio::socket_base::keep_alive on;
    socket.get_option(on);
    EXPECT_TRUE(on.value());
}

}  // namespace
}  // namespace vetra::link
