#include "link/wits_link.h"

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/pty_pair.h"

namespace vetra::link {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string read_packet(tcp::socket& s) {
    asio::streambuf buffer;
    asio::read_until(s, buffer, "!!\r\n");
    return {asio::buffers_begin(buffer.data()), asio::buffers_end(buffer.data())};
}

const std::string kPacket = "&&\r\n0140 1.5\r\n!!\r\n";

TEST(WitsOutput, listening_serves_every_receiver_and_forgets_one_that_hangs_up) {
    WitsOutput out({WitsTransport::tcp_server, {}, {}, "127.0.0.1:0"});
    ASSERT_TRUE(eventually([&] { return out.listening_port() != 0; }));
    asio::io_context io;
    tcp::socket a(io), b(io);
    a.connect({asio::ip::make_address("127.0.0.1"), out.listening_port()});
    b.connect({asio::ip::make_address("127.0.0.1"), out.listening_port()});
    ASSERT_TRUE(eventually([&] { return out.receivers() == 2; }));
    out.send(kPacket);
    EXPECT_EQ(read_packet(a), kPacket);
    EXPECT_EQ(read_packet(b), kPacket);
    a.close();
    EXPECT_TRUE(eventually([&] { return out.receivers() == 1; }));
    out.send(kPacket);
    EXPECT_EQ(read_packet(b), kPacket);
}

TEST(WitsOutput, connecting_drops_packets_while_nobody_listens_and_reconnects_later) {
    asio::io_context io;
    tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    const auto port = acceptor.local_endpoint().port();
    acceptor.close();  // nobody there at first
    WitsOutput out({WitsTransport::tcp_client, {}, {}, "127.0.0.1:" + std::to_string(port)});
    for (int i = 0; i < 200; ++i) {
        out.send("&&\r\n0140 9\r\n!!\r\n");  // returns at once, queues nothing for ever
    }
    tcp::acceptor later(io, {asio::ip::make_address("127.0.0.1"), port});
    tcp::socket s(io);
    later.accept(s);  // the retry comes within its two-second pause
    ASSERT_TRUE(eventually([&] { return out.receivers() == 1; }));
    out.send(kPacket);
    EXPECT_EQ(read_packet(s), kPacket);
}

TEST(WitsOutput, a_serial_receiver_gets_the_packet_bytes) {
    test::PtyPair pty;
    WitsOutput out({WitsTransport::serial, pty.slave_path(), "9600,n,8,1", {}});
    ASSERT_TRUE(eventually([&] { return out.receivers() == 1; }));
    out.send(kPacket);
    EXPECT_EQ(pty.read(kPacket.size(), 2000ms), kPacket);
}

TEST(WitsInput, the_chosen_depth_item_is_good_for_ten_seconds) {
    asio::io_context io;
    tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    WitsInput in({WitsTransport::tcp_client,
                  {},
                  {},
                  "127.0.0.1:" + std::to_string(acceptor.local_endpoint().port())},
                 link::WitsDepthItem::bit);
    tcp::socket s(io);
    acceptor.accept(s);
    EXPECT_FALSE(in.depth());
    asio::write(s, asio::buffer(std::string("&&\r\n0110 2000\r\n0108 1987.5\r\n!!\r\n")));
    ASSERT_TRUE(eventually([&] { return in.depth().has_value(); }));
    EXPECT_DOUBLE_EQ(*in.depth(), 1987.5);
    EXPECT_TRUE(in.depth(std::chrono::steady_clock::now() + 9s));
    EXPECT_FALSE(in.depth(std::chrono::steady_clock::now() + 10s));
}

TEST(WitsInput, a_serial_stream_sets_the_hole_depth_and_stops_promptly) {
    test::PtyPair pty;
    auto in = std::make_unique<WitsInput>(
        WitsEndpoint{WitsTransport::serial, pty.slave_path(), "9600,n,8,1", {}},
        link::WitsDepthItem::hole);
    std::this_thread::sleep_for(200ms);
    pty.write("&&\r\n0108 12\r\n0110 3050.5\r\n!!\r\n");
    ASSERT_TRUE(eventually([&] { return in->depth().has_value(); }));
    EXPECT_DOUBLE_EQ(*in->depth(), 3050.5);
    const auto before = std::chrono::steady_clock::now();
    in.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

TEST(WitsAddresses, host_and_port) {
    EXPECT_EQ(parse_host_port("rig-1:5005")->host, "rig-1");
    EXPECT_EQ(parse_host_port("5005")->port, 5005);
    EXPECT_FALSE(parse_host_port("rig:"));
    EXPECT_FALSE(parse_host_port("rig:70000"));
    EXPECT_FALSE(parse_host_port("rig:12x"));
}

}  // namespace
}  // namespace vetra::link
