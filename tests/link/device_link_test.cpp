#include "link/device_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_pair.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Reads n bytes through the link as text; `ok` receives the link's answer.
std::string read_text(DeviceLink& link, std::size_t n, bool& ok) {
    std::string bytes(n, '\0');
    std::size_t count = 0;
    ok = link.read(reinterpret_cast<std::uint8_t*>(bytes.data()), n, count);
    bytes.resize(count);
    return bytes;
}

// --- names and modes ----------------------------------------------------------------------

TEST(DeviceLinkNames, a_colon_makes_a_tcp_name) {
    EXPECT_TRUE(is_tcp_name("10.0.0.5:4001"));
    EXPECT_TRUE(is_tcp_name("host:"));
    EXPECT_FALSE(is_tcp_name("COM2"));
    EXPECT_FALSE(is_tcp_name("/dev/ttyUSB0"));
}

TEST(DeviceLinkNames, host_and_port_come_from_either_side_of_the_first_colon) {
    EXPECT_EQ(parse_tcp_name("10.0.0.5:4001"), (TcpAddress{"10.0.0.5", 4001}));
    EXPECT_EQ(parse_tcp_name("station:80:90"), (TcpAddress{"station", 22002}));
    EXPECT_EQ(parse_tcp_name(":5000"), (TcpAddress{"", 5000}));
}

TEST(DeviceLinkNames, a_missing_or_unusable_port_number_gives_the_default_port) {
    EXPECT_EQ(parse_tcp_name("127.0.0.1:").port, 22002);
    EXPECT_EQ(parse_tcp_name("127.0.0.1:abc").port, 22002);
    EXPECT_EQ(parse_tcp_name("127.0.0.1:12ab").port, 22002);
    EXPECT_EQ(parse_tcp_name("127.0.0.1:-5").port, 22002);
    EXPECT_EQ(parse_tcp_name("127.0.0.1:70000").port, 22002);
    EXPECT_EQ(parse_tcp_name("127.0.0.1:").host, "127.0.0.1");
}

TEST(DeviceLinkModes, parity_keys_choose_the_letter_and_unknown_keys_none) {
    EXPECT_EQ(DeviceLink::mode_string(9600, 0), "9600,n,8,1");
    EXPECT_EQ(DeviceLink::mode_string(9600, 1), "9600,o,8,1");
    EXPECT_EQ(DeviceLink::mode_string(9600, 2), "9600,e,8,1");
    EXPECT_EQ(DeviceLink::mode_string(9600, 3), "9600,m,8,1");
    EXPECT_EQ(DeviceLink::mode_string(9600, 4), "9600,s,8,1");
    EXPECT_EQ(DeviceLink::mode_string(9600, 5), "9600,,8,1");
    EXPECT_EQ(parse_mode(DeviceLink::mode_string(9600, -1))->parity, Parity::none);
}

// --- serial links -------------------------------------------------------------------------

class SerialDeviceLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(link.open(pty.slave_path()));
        ASSERT_TRUE(link.configure(9600, 0, 200, -1, false));
    }

    test::RecordingOperator op;
    test::PtyPair pty;
    DeviceLink link{op};
};

TEST_F(SerialDeviceLink, opening_an_open_link_fails_and_leaves_it_open) {
    EXPECT_FALSE(link.open(pty.slave_path()));
    EXPECT_FALSE(link.open("127.0.0.1:1"));
    EXPECT_TRUE(link.is_open());
    EXPECT_FALSE(link.is_tcp());
    pty.write("a");
    bool ok = false;
    EXPECT_EQ(read_text(link, 1, ok), "a");
    EXPECT_TRUE(ok);
}

TEST_F(SerialDeviceLink, configure_sets_the_line_and_the_timeouts) {
    ASSERT_TRUE(link.configure(19200, 2, 300, 4096, true));
    termios tio = pty.slave_termios();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_NE(tio.c_iflag & INPCK, 0u);
    EXPECT_EQ(tio.c_cflag & PARODD, 0u);
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    ASSERT_TRUE(link.configure(9600, 7, 300, -1, false));
    tio = pty.slave_termios();
    EXPECT_EQ(tio.c_iflag & INPCK, 0u);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
}

TEST_F(SerialDeviceLink, configure_reports_what_the_line_cannot_take) {
    EXPECT_FALSE(link.configure(-5, 0, 100, -1, false));
    EXPECT_FALSE(link.configure(9600, 0, -1, -1, false));
}

TEST_F(SerialDeviceLink, a_short_read_returns_true_with_the_count_and_sets_the_flag) {
    pty.write("ab");
    bool ok = false;
    EXPECT_EQ(read_text(link, 5, ok), "ab");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(link.short_read());
    // The flag stays set for the owner to look at.
    pty.write("cd");
    EXPECT_EQ(read_text(link, 2, ok), "cd");
    EXPECT_TRUE(link.short_read());
}

TEST_F(SerialDeviceLink, a_full_read_leaves_the_flag_alone) {
    pty.write("abcde");
    bool ok = false;
    EXPECT_EQ(read_text(link, 5, ok), "abcde");
    EXPECT_TRUE(ok);
    EXPECT_FALSE(link.short_read());
}

TEST_F(SerialDeviceLink, expect_marker_consumes_a_stray_byte_then_matches_on_the_next_call) {
    pty.write("xMMV");
    EXPECT_FALSE(link.expect_marker("MMV"));
    EXPECT_TRUE(link.expect_marker("MMV"));
    EXPECT_FALSE(link.short_read());
}

TEST_F(SerialDeviceLink, expect_marker_on_a_silent_line_is_a_short_read) {
    pty.write("MM");
    EXPECT_FALSE(link.expect_marker("MMV"));
    EXPECT_TRUE(link.short_read());
}

TEST_F(SerialDeviceLink, close_closes_once) {
    EXPECT_TRUE(link.close());
    EXPECT_FALSE(link.is_open());
    EXPECT_FALSE(link.close());
    std::size_t count = 1;
    std::uint8_t byte = 0;
    EXPECT_FALSE(link.read(&byte, 1, count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(link.expect_marker("M"));
    EXPECT_TRUE(link.configure(9600, 0, 100, -1, false));
}

TEST_F(SerialDeviceLink, a_vanished_line_fails_the_read_after_trying_to_reopen) {
    pty.close_master();
    const auto start = Clock::now();
    bool ok = true;
    read_text(link, 4, ok);
    const double elapsed = seconds_since(start);
    EXPECT_FALSE(ok);
    EXPECT_GT(elapsed, 0.4);
    EXPECT_LT(elapsed, 2.5);
    // Whatever the reopen found, the next read does not hang either.
    read_text(link, 4, ok);
    EXPECT_LT(seconds_since(start), 5.0);
}

TEST(SerialDeviceLinkReopen, a_read_error_reopens_the_same_name_with_the_stored_settings) {
    // An adapter that comes back under the same name, as a udev link does.
    test::RecordingOperator op;
    test::TempDir dir;
    const auto name = dir / "adapter";
    test::PtyPair first;
    test::PtyPair second;
    std::filesystem::create_symlink(first.slave_path(), name);

    DeviceLink link(op);
    ASSERT_TRUE(link.open(name.string()));
    ASSERT_TRUE(link.configure(19200, 1, 5000, -1, true));

    first.close_master();
    std::filesystem::remove(name);
    std::filesystem::create_symlink(second.slave_path(), name);
    bool ok = true;
    read_text(link, 4, ok);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(link.is_open());

    termios tio = second.slave_termios();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_NE(tio.c_cflag & PARODD, 0u);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);

    second.write("live");
    EXPECT_EQ(read_text(link, 4, ok), "live");
    EXPECT_TRUE(ok);
    // The reopened port waits 500 ms, not the 5 s configured before.
    const auto start = Clock::now();
    EXPECT_EQ(read_text(link, 1, ok), "");
    EXPECT_TRUE(ok);
    EXPECT_LT(seconds_since(start), 2.5);
}

TEST(SerialDeviceLinkOpen, a_missing_port_fails_without_a_beep_or_a_leak) {
    test::RecordingOperator op;
    DeviceLink link(op);
    const auto before = test::open_descriptor_count();
    EXPECT_FALSE(link.open("/dev/vetra-no-such-port"));
    EXPECT_FALSE(link.is_open());
    EXPECT_TRUE(op.beeps.empty());
    EXPECT_EQ(test::open_descriptor_count(), before);
}

// --- TCP links ----------------------------------------------------------------------------

// A converter on the loopback address: sends `payload` to every client it accepts and keeps
// the connection open until it is destroyed.
class ByteServer {
  public:
    explicit ByteServer(std::string payload, std::uint16_t port = 0)
        : payload_(std::move(payload)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listen_, 4) != 0) {
            ::close(listen_);
            throw std::runtime_error("cannot listen");
        }
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    }

    ~ByteServer() {
        thread_.request_stop();
        thread_.join();
        for (int client : clients_) {
            ::close(client);
        }
        ::close(listen_);
    }

    [[nodiscard]] std::uint16_t port() const { return port_; }
    [[nodiscard]] std::string name() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    void serve(const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            pollfd entry{listen_, POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0) {
                continue;
            }
            int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            clients_.push_back(client);
            if (!payload_.empty()) {
                ::send(client, payload_.data(), payload_.size(), MSG_NOSIGNAL);
            }
        }
    }

    std::string payload_;
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> clients_;  // touched by the server thread until it is joined
    std::jthread thread_;
};

// A loopback port that nobody listens on.
std::uint16_t closed_port() {
    std::uint16_t port = 0;
    {
        ByteServer probe("");
        port = probe.port();
    }
    return port;
}

TEST(TcpDeviceLink, open_beeps_connects_and_reads_the_bytes_asked_for) {
    ByteServer server("MMVabcdef");
    test::RecordingOperator op;
    DeviceLink link(op);
    ASSERT_TRUE(link.open(server.name()));
    EXPECT_TRUE(link.is_tcp());
    EXPECT_TRUE(link.is_open());
    EXPECT_TRUE(link.is_connected());
    ASSERT_EQ(op.beeps.size(), 1u);
    EXPECT_EQ(op.beeps[0].frequency_hz, 500);
    EXPECT_EQ(op.beeps[0].duration_ms, 200);

    EXPECT_TRUE(link.expect_marker("MMV"));
    bool ok = false;
    EXPECT_EQ(read_text(link, 6, ok), "abcdef");
    EXPECT_TRUE(ok);
    EXPECT_FALSE(link.short_read());

    EXPECT_FALSE(link.open(server.name()));
    EXPECT_TRUE(link.close());
    EXPECT_FALSE(link.is_open());
    EXPECT_FALSE(link.is_connected());
}

TEST(TcpDeviceLink, configure_leaves_a_tcp_link_alone) {
    ByteServer server("xy");
    test::RecordingOperator op;
    DeviceLink link(op);
    ASSERT_TRUE(link.open(server.name()));
    EXPECT_TRUE(link.configure(-1, 99, -1, 5, true));
    bool ok = false;
    EXPECT_EQ(read_text(link, 2, ok), "xy");
    EXPECT_TRUE(ok);
}

TEST(TcpDeviceLink, silence_after_part_of_a_packet_is_a_short_read_that_fails) {
    ByteServer server("ab");
    test::RecordingOperator op;
    DeviceLink link(op);
    ASSERT_TRUE(link.open(server.name()));
    const auto start = Clock::now();
    bool ok = true;
    read_text(link, 3, ok);
    const double elapsed = seconds_since(start);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(link.short_read());
    EXPECT_GT(elapsed, 2.4);
    EXPECT_LT(elapsed, 6.0);
    // A time-out keeps the connection.
    EXPECT_TRUE(link.is_connected());
}

TEST(TcpDeviceLink, a_dropped_connection_is_made_again_by_the_next_read) {
    test::RecordingOperator op;
    DeviceLink link(op);
    auto server = std::make_unique<ByteServer>("abc");
    const std::uint16_t port = server->port();
    ASSERT_TRUE(link.open(server->name()));
    bool ok = false;
    EXPECT_EQ(read_text(link, 3, ok), "abc");
    ASSERT_TRUE(ok);

    server.reset();
    read_text(link, 3, ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(link.is_connected());
    EXPECT_TRUE(link.is_open());

    server = std::make_unique<ByteServer>("xyz", port);
    const auto start = Clock::now();
    EXPECT_EQ(read_text(link, 3, ok), "xyz");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(link.is_connected());
    // The reconnect pauses first.
    EXPECT_GT(seconds_since(start), 0.8);
}

TEST(TcpDeviceLink, a_refused_connection_still_opens_and_reads_fail_promptly) {
    const std::uint16_t port = closed_port();
    test::RecordingOperator op;
    DeviceLink link(op);
    ASSERT_TRUE(link.open("127.0.0.1:" + std::to_string(port)));
    EXPECT_TRUE(link.is_open());
    EXPECT_FALSE(link.is_connected());
    const auto start = Clock::now();
    bool ok = true;
    read_text(link, 1, ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(link.short_read());
    EXPECT_LT(seconds_since(start), 8.0);
    EXPECT_FALSE(link.expect_marker("MMV"));
}

}  // namespace
}  // namespace vetra::link
