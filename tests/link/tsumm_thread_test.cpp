// The external totalizer: its packets, and the reader thread on a pseudo-terminal and TCP.
#include "link/tsumm_thread.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library/lock_object.h"
#include "settings/global_settings.h"
#include "support/pty_pair.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// "MMV" and 21 bytes whose sum is `sum` modulo 256.
std::string packet(int e, int m, int sum = 0, std::uint8_t counter = 7) {
    std::array<std::uint8_t, 21> b{};
    b[0] = counter;
    b[1] = static_cast<std::uint8_t>(e);
    b[2] = static_cast<std::uint8_t>(m & 0xFF);
    b[3] = static_cast<std::uint8_t>((m >> 8) & 0xFF);
    b[10] = 0x5A;  // fields the program does not use
    unsigned total = 0;
    for (int i = 0; i < 20; ++i) {
        total += b[static_cast<std::size_t>(i)];
    }
    b[20] = static_cast<std::uint8_t>((sum - static_cast<int>(total)) & 0xFF);
    return "MMV" + std::string(b.begin(), b.end());
}

struct PacketCase {
    const char* name;
    std::string bytes;
    bool valid;
    std::int64_t main_reading;
};

class Packets : public ::testing::TestWithParam<PacketCase> {};

TEST_P(Packets, main_reading_is_mantissa_times_ten_to_the_exponent) {
    const std::string& p = GetParam().bytes;
    std::array<std::uint8_t, 21> bytes{};
    std::copy(p.begin() + 3, p.end(), bytes.begin());
    const auto s = parse_totalizer_packet(bytes);
    ASSERT_EQ(s.has_value(), GetParam().valid);
    if (s) {
        EXPECT_EQ(s->main_reading, GetParam().main_reading);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Totalizer, Packets,
    ::testing::Values(PacketCase{"e2_m100", packet(2, 100), true, 10000},
                      PacketCase{"negative_mantissa", packet(0, -50), true, -50},
                      PacketCase{"sum_one_is_dropped", packet(2, 100, 1), false, 0},
                      PacketCase{"huge_exponent_saturates", packet(255, 30000), true, LLONG_MAX},
                      PacketCase{"huge_negative", packet(200, -2), true, -LLONG_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

// Beeps come from the reader's thread; the test reads them from its own.
class BeepLog final : public library::Operator {
public:
    void beep(int frequency_hz, int) override {
        std::lock_guard lock(mutex_);
        beeps_.push_back(frequency_hz);
    }
    void show_message(const std::string&, const std::string&, library::MessageIcon) override {}
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
    int count(int hz) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(beeps_.begin(), beeps_.end(), hz));
    }
    bool empty() {
        std::lock_guard lock(mutex_);
        return beeps_.empty();
    }

private:
    std::mutex mutex_;
    std::vector<int> beeps_;
};

// The reader with its settings on a line given by name; what it sends is recorded.
class ReaderTest : public ::testing::Test {
protected:
    ReaderTest() {
        settings.device_type = settings::kModelTd5;
        settings.totalizer_use = true;
        settings.totalizer_coeff = 0.1f;
        settings.totalizer_null = 0.0f;
    }
    void start(const std::string& name) {
        settings.totalizer_port_name = name;
        reader = std::make_unique<TSummThread>(settings, data_lock, op, [this](double v) {
            std::lock_guard lock(mutex);
            sent.push_back(v);
        });
        reader->start();
    }
    bool wait_for_packets(std::uint64_t n, std::chrono::milliseconds limit = 5s) {
        const auto end = Clock::now() + limit;
        while (reader->packets() < n && Clock::now() < end) {
            std::this_thread::sleep_for(10ms);
        }
        return reader->packets() >= n;
    }
    std::vector<double> sent_values() {
        std::lock_guard lock(mutex);
        return sent;
    }
    // The reader flushes the line when it opens it, so a test keeps sending until the
    // first packet is taken.
    bool feed_until_taken(const test::PtyPair& pty, const std::string& bytes) {
        const auto end = Clock::now() + 5s;
        while (reader->packets() == 0 && Clock::now() < end) {
            pty.write(bytes);
            std::this_thread::sleep_for(50ms);
        }
        return reader->packets() > 0;
    }
    int beeps_at(int hz) { return op.count(hz); }
    // A hang check, not a speed measurement: a reader that ignored the request would take
    // seconds (a TCP read waits 3 s, a reconnect 1 s).
    void expect_prompt_stop() {
        const auto t0 = Clock::now();
        reader->stop();
        EXPECT_LT(Clock::now() - t0, 1s);
    }

    settings::GlobalSettings settings;
    library::LockObject data_lock;
    BeepLog op;
    std::unique_ptr<TSummThread> reader;
    std::mutex mutex;
    std::vector<double> sent;
};

TEST_F(ReaderTest, packets_on_a_serial_line_become_percent_and_bad_ones_change_nothing) {
    test::PtyPair pty;
    start(pty.slave_path());
    ASSERT_TRUE(feed_until_taken(pty, "\x01garbage" + packet(2, 100)));
    ASSERT_EQ(reader->packets(), 1u);
    EXPECT_NEAR(reader->current_value(), 10000.0 / 8192.0 * 0.1, 1e-6);
    pty.write(packet(3, 100, 1));  // bad check sum
    pty.write(packet(0, -50));     // negative: reported as 0
    ASSERT_TRUE(wait_for_packets(2));
    EXPECT_EQ(reader->current_value(), 0.0f);
    const std::vector<double> values = sent_values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_NEAR(values[0], 0.1220703, 1e-7);
    EXPECT_EQ(values[1], 0.0);
    EXPECT_EQ(beeps_at(TSummThread::kOpenBeepHz), 1);

    settings.totalizer_use = false;  // the line is given back with the closing beep
    const auto end = Clock::now() + 2s;
    while (beeps_at(TSummThread::kCloseBeepHz) == 0 && Clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(beeps_at(TSummThread::kCloseBeepHz), 1);
}

TEST_F(ReaderTest, model_1_opens_no_port_even_with_use_on) {
    test::PtyPair pty;
    settings.device_type = settings::kModelVelon;
    start(pty.slave_path());
    pty.write(packet(0, 8192));
    std::this_thread::sleep_for(400ms);
    EXPECT_FALSE(reader->open_succeeded());
    EXPECT_TRUE(op.empty());
    EXPECT_EQ(reader->packets(), 0u);
}

TEST_F(ReaderTest, a_changed_name_takes_effect_through_the_reconnect_request) {
    start("/nonexistent/ttyTOTAL");
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(reader->open_succeeded());
    EXPECT_GE(beeps_at(TSummThread::kOpenBeepHz), 2);  // every attempt beeps
    test::PtyPair pty;
    settings.totalizer_port_name = pty.slave_path();
    reader->request_reconnect();
    ASSERT_TRUE(feed_until_taken(pty, packet(1, 8192)));
    EXPECT_NEAR(reader->current_value(), 81920.0 / 8192.0 * 0.1, 1e-5);
    // A babbling line does not hold the reader up.
    std::atomic<bool> babble{true};
    std::jthread noise([&] {
        while (babble) {
            pty.write(std::string(64, 'Q'));
            std::this_thread::sleep_for(2ms);
        }
    });
    std::this_thread::sleep_for(100ms);
    expect_prompt_stop();
    babble = false;
}

// A listening socket on a free port of the loopback address.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0) {
            throw std::runtime_error("no listening socket");
        }
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() {
        for (int fd : {client_, fd_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    int port() const { return port_; }
    void accept() { client_ = ::accept(fd_, nullptr, nullptr); }
    void send(const std::string& bytes) { (void)!::write(client_, bytes.data(), bytes.size()); }

private:
    int fd_ = -1;
    int client_ = -1;
    int port_ = 0;
};

TEST_F(ReaderTest, host_and_port_connect_by_tcp_and_a_silent_peer_does_not_delay_the_stop) {
    Listener server;
    start("127.0.0.1:" + std::to_string(server.port()));
    server.accept();
    server.send("xx" + packet(2, 100));
    ASSERT_TRUE(wait_for_packets(1));
    EXPECT_NEAR(reader->current_value(), 0.1220703, 1e-7);
    std::this_thread::sleep_for(200ms);  // now inside a read that would wait 3 s
    expect_prompt_stop();
}

}  // namespace
}  // namespace vetra::link
