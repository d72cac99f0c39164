#include "link/wits_link.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
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
#include <vector>

#include "link/tcp_keepalive.h"
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

// Accepts one connection within `limit` (a link that never comes back fails, not hangs).
bool accept_within(tcp::acceptor& acceptor, tcp::socket& socket, std::chrono::milliseconds limit) {
    acceptor.non_blocking(true);
    boost::system::error_code e;
    return eventually(
        [&] {
            acceptor.accept(socket, e);
            return !e;
        },
        limit);
}

// Bytes waiting on `s` now, read without blocking.
std::size_t drain(tcp::socket& s) {
    s.non_blocking(true);
    std::array<char, 65536> buffer{};
    std::size_t total = 0;
    boost::system::error_code e;
    while (const std::size_t n = s.read_some(asio::buffer(buffer), e)) {
        total += n;
    }
    return total;
}

// Large packets until `done`, reading `reader` meanwhile; a receiver that reads nothing fills
// its socket buffers within a second or so and its write then stalls.
bool flood_until(WitsOutput& out, tcp::socket* reader, const std::function<bool()>& done,
                 std::size_t* read = nullptr) {
    const std::string big = "&&\r\n0140 " + std::string(16 * 1024, '1') + "\r\n!!\r\n";
    return eventually(
        [&] {
            out.send(big);
            const std::size_t n = reader != nullptr ? drain(*reader) : 0;
            if (read != nullptr) {
                *read += n;
            }
            return done();
        },
        8s);
}

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

// Past the most receivers an output serves, a newcomer is hung up on and gets nothing.
TEST(WitsOutput, a_receiver_past_the_most_served_is_hung_up_on) {
    WitsOutput out({WitsTransport::tcp_server, {}, {}, "127.0.0.1:0"});
    ASSERT_TRUE(eventually([&] { return out.listening_port() != 0; }));
    asio::io_context io;
    std::vector<tcp::socket> sockets;
    for (int i = 0; i <= WitsOutput::kMaxReceivers; ++i) {
        sockets.emplace_back(io).connect(
            {asio::ip::make_address("127.0.0.1"), out.listening_port()});
    }
    ASSERT_TRUE(eventually([&] { return out.receivers() == WitsOutput::kMaxReceivers; }));
    EXPECT_FALSE(eventually([&] { return out.receivers() > WitsOutput::kMaxReceivers; }, 300ms));
    out.send(kPacket);
    EXPECT_EQ(read_packet(sockets.front()), kPacket);
    asio::streambuf buffer;
    boost::system::error_code error;
    asio::read_until(sockets.back(), buffer, "!!\r\n", error);
    EXPECT_TRUE(error) << "the receiver past the most got the packet";
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

// A receiver that is connected but reads nothing must not pass for connected, nor hold up
// the one that reads.
TEST(WitsOutput, a_receiver_that_stops_reading_is_dropped_and_the_others_keep_receiving) {
    WitsOutput out({WitsTransport::tcp_server, {}, {}, "127.0.0.1:0", kDefaultIdleLimit, 1s});
    ASSERT_TRUE(eventually([&] { return out.listening_port() != 0; }));
    asio::io_context io;
    tcp::socket reader(io), stuck(io);
    stuck.open(tcp::v4());
    stuck.set_option(asio::socket_base::receive_buffer_size(4096));
    reader.connect({asio::ip::make_address("127.0.0.1"), out.listening_port()});
    stuck.connect({asio::ip::make_address("127.0.0.1"), out.listening_port()});
    ASSERT_TRUE(eventually([&] { return out.receivers() == 2; }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(flood_until(out, &reader, [&] { return out.receivers() == 1; }));
    // Its buffers fill at once; then only the write limit passes.
    EXPECT_GT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(out.status().dropped, 1);
    EXPECT_EQ(wits_status_text(out.status(), true),
              "WITS передача: слушает порт " + std::to_string(out.listening_port()) +
                  ", приёмников: 1, отключено не принимавших данные: 1");

    std::size_t after = 0;
    EXPECT_TRUE(flood_until(
        out, &reader, [&] { return after > 1024 * 1024; }, &after))
        << "the reader gets nothing after the other one was dropped";
    EXPECT_EQ(out.receivers(), 1);
    EXPECT_EQ(out.status().dropped, 1);
}

TEST(WitsOutput, a_connection_whose_receiver_stops_reading_says_so_and_connects_again) {
    asio::io_context io;
    tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    acceptor.set_option(asio::socket_base::receive_buffer_size(4096));  // taken by each accepted
    const std::string address = "127.0.0.1:" + std::to_string(acceptor.local_endpoint().port());
    WitsOutput out({WitsTransport::tcp_client, {}, {}, address, kDefaultIdleLimit, 1s});
    tcp::socket stuck(io);
    ASSERT_TRUE(accept_within(acceptor, stuck, 5s));
    ASSERT_TRUE(eventually([&] { return out.status().state == WitsLinkState::connected; }));
    ASSERT_TRUE(
        flood_until(out, nullptr, [&] { return out.status().state == WitsLinkState::stalled; }));
    EXPECT_EQ(out.receivers(), 0);
    EXPECT_EQ(wits_status_text(out.status(), true),
              "WITS передача: приёмник " + address + " не принимает данные, отключён");
    tcp::socket again(io);
    ASSERT_TRUE(accept_within(acceptor, again, 5s));
    EXPECT_TRUE(eventually([&] { return out.status().state == WitsLinkState::connected; }));
    out.send(kPacket);
    again.non_blocking(false);
    EXPECT_EQ(read_packet(again), kPacket);
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

// A rig's server that lost power sends no FIN: only the idle limit ends the connection.
TEST(WitsInput, a_server_gone_silent_is_dropped_after_the_idle_limit_and_connected_again) {
    asio::io_context io;
    tcp::acceptor rig(io, {asio::ip::make_address("127.0.0.1"), 0});
    const std::string address = "127.0.0.1:" + std::to_string(rig.local_endpoint().port());
    WitsInput in({WitsTransport::tcp_client, {}, {}, address, 1s}, WitsDepthItem::hole);
    tcp::socket first(io), second(io);
    ASSERT_TRUE(accept_within(rig, first, 5s));
    WitsInput patient({WitsTransport::tcp_client, {}, {}, address, 0s}, WitsDepthItem::hole);
    ASSERT_TRUE(accept_within(rig, second, 5s));
    asio::write(first, asio::buffer(std::string("&&\r\n0110 2000\r\n!!\r\n")));
    asio::write(second, asio::buffer(std::string("&&\r\n0110 2000\r\n!!\r\n")));
    ASSERT_TRUE(eventually([&] { return in.depth() && patient.depth(); }));
    std::this_thread::sleep_for(500ms);  // half the limit: still connected
    EXPECT_EQ(in.status().state, WitsLinkState::connected);

    ASSERT_TRUE(eventually([&] { return in.status().state == WitsLinkState::silent; }, 2s));
    EXPECT_EQ(wits_status_text(in.status(), false),
              "WITS глубина: нет данных от " + address + ", связь открывается заново");
    EXPECT_EQ(patient.status().state, WitsLinkState::connected) << "0 is no limit";
    tcp::socket again(io);
    ASSERT_TRUE(accept_within(rig, again, 5s)) << "never connected again";
    EXPECT_TRUE(eventually([&] { return in.status().state == WitsLinkState::connected; }));
    // The link closed the silent connection itself.
    first.non_blocking(false);
    std::array<char, 8> byte{};
    boost::system::error_code e;
    first.read_some(asio::buffer(byte), e);
    EXPECT_EQ(e, asio::error::eof);
}

TEST(WitsInput, a_silent_serial_line_is_said_so_and_opened_again) {
    test::PtyPair pty;
    WitsInput in({WitsTransport::serial, pty.slave_path(), "9600,n,8,1", {}, 1s},
                 WitsDepthItem::hole);
    ASSERT_TRUE(eventually([&] { return in.status().state == WitsLinkState::connected; }));
    ASSERT_TRUE(eventually([&] { return in.status().state == WitsLinkState::silent; }, 2s));
    EXPECT_EQ(
        wits_status_text(in.status(), false),
        "WITS глубина: нет данных из порта " + pty.slave_path() + ", связь открывается заново");
    EXPECT_TRUE(eventually([&] { return in.status().state == WitsLinkState::connected; }));
}

TEST(WitsLinks, keep_alive_probes_start_after_twenty_seconds) {
    asio::io_context io;
    tcp::socket socket(io);
    socket.open(tcp::v4());
    ASSERT_TRUE(enable_keepalive(socket));
    asio::detail::socket_option::integer<IPPROTO_TCP, TCP_KEEPIDLE> idle;
    socket.get_option(idle);
    EXPECT_EQ(idle.value(), 20);
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

// What each link says it is doing, in the operator's words.
TEST(WitsLinks, say_what_they_are_doing) {
    WitsOutput bad({WitsTransport::tcp_client, {}, {}, "127.0.0.1"});
    EXPECT_EQ(wits_status_text(bad.status(), true), "WITS передача: неверный адрес \"127.0.0.1\"");

    WitsOutput server({WitsTransport::tcp_server, {}, {}, "127.0.0.1:0"});
    ASSERT_TRUE(eventually([&] { return server.status().state == WitsLinkState::listening; }));
    const std::string port = std::to_string(server.listening_port());
    EXPECT_EQ(wits_status_text(server.status(), true),
              "WITS передача: слушает порт " + port + ", приёмников нет");
    asio::io_context io;
    tcp::socket receiver(io);
    receiver.connect({asio::ip::make_address("127.0.0.1"), server.listening_port()});
    ASSERT_TRUE(eventually([&] { return server.status().receivers == 1; }));
    EXPECT_EQ(wits_status_text(server.status(), true),
              "WITS передача: слушает порт " + port + ", приёмников: 1");

    tcp::acceptor rig(io, {asio::ip::make_address("127.0.0.1"), 0});
    const std::string rig_address = "127.0.0.1:" + std::to_string(rig.local_endpoint().port());
    WitsInput in({WitsTransport::tcp_client, {}, {}, rig_address}, WitsDepthItem::hole);
    tcp::socket s(io);
    rig.accept(s);
    ASSERT_TRUE(eventually([&] { return in.status().state == WitsLinkState::connected; }));
    EXPECT_EQ(wits_status_text(in.status(), false), "WITS глубина: подключено к " + rig_address);
    rig.close();
    s.close();
    EXPECT_TRUE(eventually([&] { return in.status().state == WitsLinkState::no_receiver; }));
    EXPECT_EQ(wits_status_text(in.status(), false), "WITS глубина: нет связи с " + rig_address);

    EXPECT_EQ(wits_status_text({}, true), "WITS передача: выключена");
    EXPECT_EQ(
        wits_status_text({WitsLinkState::port_unavailable, WitsTransport::serial, "COM9"}, false),
        "WITS глубина: порт COM9 недоступен");
}

TEST(WitsAddresses, a_connection_needs_host_and_port_listening_a_port) {
    using enum WitsTransport;
    EXPECT_EQ(wits_address_problem(tcp_client, "rig-1:5005"), "");
    EXPECT_NE(wits_address_problem(tcp_client, "127.0.0.1"), "");
    EXPECT_NE(wits_address_problem(tcp_client, "5005"), "");
    EXPECT_NE(wits_address_problem(tcp_client, "rig:0"), "");
    EXPECT_EQ(wits_address_problem(tcp_server, "5005"), "");
    EXPECT_EQ(wits_address_problem(tcp_server, "0.0.0.0:5005"), "");
    EXPECT_NE(wits_address_problem(tcp_server, "rig-1:5005"), "");
    EXPECT_NE(wits_address_problem(tcp_server, ""), "");
    EXPECT_EQ(wits_address_problem(serial, ""), "");
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
