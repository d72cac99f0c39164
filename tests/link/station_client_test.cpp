#include "link/station_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_pair.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

// сумм_газ3 with a capital first letter, and метан, in cp1251.
const std::string kSummGaz3Capital =
    "\xD1\xF3\xEC\xEC_\xE3\xE0\xE7"
    "3";
const std::string kMetan = "\xEC\xE5\xF2\xE0\xED";
const std::string kRequested = "сумм_газ3";
const std::string kRequestedCp1251 =
    "\xF1\xF3\xEC\xEC_\xE3\xE0\xE7"
    "3";

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string le32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
            static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 24) & 0xff)};
}

std::string le_double(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    std::string out;
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
    }
    return out;
}

std::string record(const std::string& cp1251_name, double value) {
    return cp1251_name + '\0' + le_double(value);
}

std::string reply(const std::string& payload, char lead = 0) {
    return lead + le32(static_cast<std::int32_t>(payload.size())) + payload;
}

// What the fake station received, shared with its serving thread.
struct RequestLog {
    std::mutex mutex;
    std::vector<std::string> requests;
};

// One accepted connection of the fake station.
class Peer {
public:
    Peer(int fd, std::stop_token stop, RequestLog& log)
        : fd_(fd), stop_(std::move(stop)), log_(log) {}

    // The 5-byte request, recorded.
    std::optional<std::string> read_request() {
        auto request = read(5);
        if (request) {
            std::lock_guard lock(log_.mutex);
            log_.requests.push_back(*request);
        }
        return request;
    }

    // Exactly n bytes, or nothing when the client closed or the station is stopping.
    std::optional<std::string> read(std::size_t n) {
        std::string out;
        while (out.size() < n) {
            if (!wait_readable()) {
                return std::nullopt;
            }
            char buffer[256];
            const ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0) {
                return std::nullopt;
            }
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }
    void write(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // True when the client closed its end (a reset counts: it left our bytes unread).
    bool sees_close() {
        if (!wait_readable()) {
            return false;
        }
        char c;
        return ::recv(fd_, &c, 1, 0) <= 0;
    }
    // Without waiting: true when the client has closed its end.
    bool sees_nothing_but_close() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) {
            return false;
        }
        char c;
        return ::recv(fd_, &c, 1, MSG_DONTWAIT) <= 0;
    }
    void idle_until_stopped() {
        while (!stop_.stop_requested()) {
            std::this_thread::sleep_for(10ms);
        }
    }

private:
    bool wait_readable() {
        while (!stop_.stop_requested()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                return true;
            }
        }
        return false;
    }

    int fd_;
    std::stop_token stop_;
    RequestLog& log_;
};

// A registration station's value port on 127.0.0.1 with a free port. Connections are served
// one after another by `session`, which gets the connection's number (from 0).
class FakeStation {
public:
    using Session = std::function<void(Peer&, int connection)>;

    explicit FakeStation(Session session) : session_(std::move(session)) {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(listen_fd_, 4) != 0 ||
            ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            throw std::runtime_error("cannot listen");
        }
        port_ = ntohs(addr.sin_port);
        thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    }
    ~FakeStation() {
        thread_.request_stop();
        thread_.join();
        ::close(listen_fd_);
    }

    std::uint16_t port() const { return port_; }
    int connections() const { return connections_.load(); }
    // Every request the station received, in order.
    std::vector<std::string> requests() {
        std::lock_guard lock(log_.mutex);
        return log_.requests;
    }

private:
    void serve(std::stop_token stop) {
        while (!stop.stop_requested()) {
            pollfd p{listen_fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) {
                continue;
            }
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            Peer peer(fd, stop, log_);
            session_(peer, connections_++);
            ::close(fd);
        }
    }

    Session session_;
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    RequestLog log_;
    std::jthread thread_;
};

// Answers each request on the connection with `answer(request number)` until the client
// closes.
FakeStation::Session answering(std::function<std::string(int)> answer) {
    return [answer](Peer& peer, int) {
        for (int n = 0; peer.read_request(); ++n) {
            peer.write(answer(n));
        }
    };
}

// A port on which nobody listens: bound once, then released.
std::uint16_t unused_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// A port that takes no connection and refuses none: its accept queue is full, so further
// attempts hear nothing, as from a computer that is switched off.
class SilentPort {
public:
    SilentPort() {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(listen_fd_, 0) != 0 ||
            ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            throw std::runtime_error("cannot listen");
        }
        port_ = ntohs(addr.sin_port);
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
            fillers_.push_back(fd);
        }
        std::this_thread::sleep_for(50ms);  // the queue is full once both have connected
    }
    ~SilentPort() {
        for (const int fd : fillers_) {
            ::close(fd);
        }
        ::close(listen_fd_);
    }
    std::uint16_t port() const { return port_; }

private:
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> fillers_;
};

// --- payload parsing ----------------------------------------------------------------------

TEST(StationPayload, names_are_compared_after_lower_casing_the_received_name) {
    // The doubles written out by hand: 1.5 = 3FF8000000000000, 0.2 = 3FC999999999999A.
    const std::string payload = kSummGaz3Capital + "\0"s + "\x00\x00\x00\x00\x00\x00\xF8\x3F"s +
                                kMetan + "\0"s + "\x9A\x99\x99\x99\x99\x99\xC9\x3F"s;
    EXPECT_EQ(find_station_value(payload, kRequested), 1.5);
    EXPECT_EQ(find_station_value(payload, "метан"), 0.2);
    EXPECT_EQ(find_station_value(record("\xD1\xD3\xCC\xCC_\xC3\xC0\xC7"
                                        "3",
                                        4.0),
                                 kRequested),
              4.0);
}

TEST(StationPayload, an_absent_name_or_an_empty_payload_gives_zero) {
    EXPECT_EQ(find_station_value("", kRequested), 0.0);
    EXPECT_EQ(find_station_value(record(kMetan, 0.2), kRequested), 0.0);
    // Neither a prefix nor a longer name is the requested one.
    EXPECT_EQ(find_station_value(record("\xF1\xF3\xEC\xEC_\xE3\xE0\xE7", 1.0), kRequested), 0.0);
    EXPECT_EQ(find_station_value(record(kRequestedCp1251 + "3", 1.0), kRequested), 0.0);
}

TEST(StationPayload, a_later_record_overwrites_an_earlier_one) {
    const std::string payload =
        record(kRequestedCp1251, 1.0) + record(kMetan, 2.0) + record(kSummGaz3Capital, 3.0);
    EXPECT_EQ(find_station_value(payload, kRequested), 3.0);
}

TEST(StationPayload, a_name_of_63_bytes_is_read_and_one_of_64_ends_the_payload) {
    const std::string name63(63, 'x');
    const std::string name64(64, 'x');
    EXPECT_EQ(find_station_value(record(name63, 7.0), name63), 7.0);
    EXPECT_EQ(find_station_value(record(name63, 7.0) + record(kRequestedCp1251, 8.0), kRequested),
              8.0);
    EXPECT_EQ(find_station_value(record(name64, 7.0), name64), 0.0);
    EXPECT_EQ(find_station_value(record(name64, 7.0) + record(kRequestedCp1251, 8.0), kRequested),
              0.0);
    // The name runs to the end of the payload without a terminator.
    EXPECT_EQ(find_station_value(record(kRequestedCp1251, 5.0) + "abc", kRequested), 5.0);
}

TEST(StationPayload, an_empty_name_ends_the_payload) {
    const std::string payload =
        record(kRequestedCp1251, 1.0) + record("", 9.0) + record(kRequestedCp1251, 2.0);
    EXPECT_EQ(find_station_value(payload, kRequested), 1.0);
}

TEST(StationPayload, a_truncated_double_ends_the_payload_without_changing_the_value) {
    const std::string whole = record(kRequestedCp1251, 1.0);
    const std::string cut = record(kRequestedCp1251, 2.0).substr(0, kRequestedCp1251.size() + 5);
    EXPECT_EQ(find_station_value(whole + cut, kRequested), 1.0);
    EXPECT_EQ(find_station_value(cut, kRequested), 0.0);
    EXPECT_EQ(find_station_value(kRequestedCp1251 + '\0', kRequested), 0.0);
}

// --- fetching over TCP --------------------------------------------------------------------

TEST(StationClient, sends_the_five_byte_request_and_reads_the_value_from_the_reply) {
    FakeStation fake(answering(
        [](int) { return reply(record(kSummGaz3Capital, 1.5) + record(kMetan, 0.2), '\x7f'); }));
    TDataModule1 client(fake.port());

    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 1.5);
    EXPECT_EQ(client.last_value(), 1.5);
    EXPECT_TRUE(client.connected());
    ASSERT_EQ(fake.requests().size(), 1u);
    EXPECT_EQ(fake.requests()[0], "\x01\x00\x00\x00\x00"s);
}

TEST(StationClient, keeps_the_connection_and_resets_the_value_when_a_reply_lacks_the_name) {
    FakeStation fake(answering([](int n) {
        return n == 0 ? reply(record(kRequestedCp1251, 2.5)) : reply(record(kMetan, 0.2));
    }));
    TDataModule1 client(fake.port());

    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 2.5);
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0);
    EXPECT_EQ(client.last_value(), 0.0);
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(fake.connections(), 1);
    EXPECT_EQ(fake.requests().size(), 2u);
}

TEST(StationClient, an_empty_payload_is_an_acceptable_reply) {
    FakeStation fake(answering([](int) { return reply(""); }));
    TDataModule1 client(fake.port());
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0);
    EXPECT_TRUE(client.connected());
}

TEST(StationClient, a_reply_of_exactly_10000_bytes_is_read_whole) {
    std::string payload;
    for (int i = 0; i < 997; ++i) {
        payload += record("p", 1.0);
    }
    payload += record("pad", 1.0) + record(kRequestedCp1251, 6.5);
    ASSERT_EQ(payload.size(), 10000u);
    FakeStation fake(answering([&payload](int) { return reply(payload); }));
    TDataModule1 client(fake.port());

    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 6.5);
    EXPECT_TRUE(client.connected());
}

TEST(StationClient, a_reply_announcing_10001_bytes_closes_the_connection_and_gives_zero) {
    std::string payload = record(kRequestedCp1251, 6.5);
    payload.resize(10001, '\0');
    std::atomic<bool> closed_by_client{false};
    FakeStation fake([&](Peer& peer, int connection) {
        if (!peer.read_request()) {
            return;
        }
        if (connection == 0) {
            peer.write(reply(payload));
            closed_by_client = peer.sees_close();
        } else {
            peer.write(reply(record(kRequestedCp1251, 1.0)));
            peer.idle_until_stopped();
        }
    });
    TDataModule1 client(fake.port());

    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0);
    EXPECT_FALSE(client.connected());
    // The next fetch opens a new connection.
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 1.0);
    EXPECT_EQ(fake.connections(), 2);
    EXPECT_TRUE(closed_by_client.load());
}

TEST(StationClient, negative_and_huge_lengths_give_zero_promptly) {
    for (const std::int32_t length :
         {-1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        FakeStation fake([length](Peer& peer, int) {
            if (peer.read_request()) {
                peer.write("\0"s + le32(length) + record(kRequestedCp1251, 1.0));
                peer.idle_until_stopped();
            }
        });
        TDataModule1 client(fake.port());
        const auto start = Clock::now();
        EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0) << length;
        EXPECT_LT(seconds_since(start), 3.0) << length;
        EXPECT_FALSE(client.connected()) << length;
    }
}

TEST(StationClient, a_station_that_never_answers_gives_zero_within_the_read_time_outs) {
    FakeStation fake([](Peer& peer, int) { peer.idle_until_stopped(); });
    TDataModule1 client(fake.port());
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0);
    EXPECT_LT(seconds_since(start), 3.0);
}

TEST(StationClient, a_slow_station_is_read_as_long_as_each_read_completes_within_its_time_out) {
    const std::string bytes = reply(record(kRequestedCp1251, 4.25));
    FakeStation fake([&bytes](Peer& peer, int) {
        if (!peer.read_request()) {
            return;
        }
        // The kind byte, the length in two pieces, the payload in two: each read of the
        // client completes well within its time-out, all of them together take longer.
        const std::size_t cuts[] = {1, 3, 5, 11, bytes.size()};
        std::size_t from = 0;
        for (const std::size_t to : cuts) {
            std::this_thread::sleep_for(120ms);
            peer.write(bytes.substr(from, to - from));
            from = to;
        }
        peer.idle_until_stopped();
    });
    TDataModule1 client(fake.port());
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 4.25);
    EXPECT_GT(seconds_since(start), 0.5);
    EXPECT_TRUE(client.connected());
}

// A station that dribbles a byte now and then must not hold the main thread for longer than
// the three reads' time-outs, whatever length it announced.
struct TrickleCase {
    const char* title;
    std::string head;  // sent at once after the request
    std::string rest;  // then one byte every 150 ms
};

void PrintTo(const TrickleCase& c, std::ostream* os) {
    *os << c.title;
}

class StationTrickle : public ::testing::TestWithParam<TrickleCase> {};

TEST_P(StationTrickle, gives_zero_within_the_read_time_outs_and_drops_the_connection) {
    const TrickleCase& c = GetParam();
    FakeStation fake([&c](Peer& peer, int) {
        if (!peer.read_request()) {
            return;
        }
        peer.write(c.head);
        for (const char byte : c.rest) {
            std::this_thread::sleep_for(150ms);
            if (peer.sees_nothing_but_close()) {
                return;
            }
            peer.write(std::string(1, byte));
        }
        peer.idle_until_stopped();
    });
    TDataModule1 client(fake.port());
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0);
    // Three reads of 500 ms each at most, with room for a loaded machine.
    EXPECT_LT(seconds_since(start), 2.5);
    EXPECT_FALSE(client.connected());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationTrickle,
    ::testing::Values(TrickleCase{"kind_byte", "", reply(record(kRequestedCp1251, 2.5))},
                      TrickleCase{"length", "\x01"s,
                                  reply(record(kRequestedCp1251, 2.5)).substr(1)},
                      TrickleCase{"payload", "\x01"s + le32(10000),
                                  record(kRequestedCp1251, 2.5) + std::string(9982, 'x')}),
    [](const auto& info) { return std::string(info.param.title); });

TEST(StationClient, a_station_closing_mid_reply_gives_what_arrived_and_the_next_fetch_reconnects) {
    FakeStation fake([](Peer& peer, int connection) {
        if (!peer.read_request()) {
            return;
        }
        if (connection == 0) {
            const std::string first = record(kRequestedCp1251, 3.5);
            // Announces two records, sends one and a half, then hangs up.
            const std::string both = first + record(kMetan, 0.2);
            peer.write(reply(both).substr(0, 5 + first.size() + 4));
        } else {
            peer.write(reply(record(kRequestedCp1251, 7.0)));
            peer.idle_until_stopped();
        }
    });
    TDataModule1 client(fake.port());

    const auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 3.5);
    EXPECT_LT(seconds_since(start), 3.0);
    EXPECT_FALSE(client.connected());

    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 7.0);
    EXPECT_EQ(fake.connections(), 2);
}

TEST(StationClient, a_station_closing_after_a_reply_is_reconnected_on_a_later_fetch) {
    FakeStation fake([](Peer& peer, int connection) {
        if (peer.read_request()) {
            peer.write(reply(record(kRequestedCp1251, connection + 1.0)));
        }
    });
    TDataModule1 client(fake.port());
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 1.0);
    // The kept connection is dead now: this fetch may find out only by failing.
    const double second = client.fetch_station_value("127.0.0.1", kRequested);
    const double third = client.fetch_station_value("127.0.0.1", kRequested);
    EXPECT_TRUE(second == 2.0 || third == 2.0) << second << " " << third;
}

// A name that leads to two addresses, the first of which never answers: the fetch keeps to
// its connect limit, reaches the station on the second if it is there and leaves no socket
// behind.
struct AddressesCase {
    const char* name;
    bool station_second;  // else the second address never answers either
    double value;
};

void PrintTo(const AddressesCase& c, std::ostream* os) {
    *os << c.name;
}

class StationAddresses : public ::testing::TestWithParam<AddressesCase> {};

TEST_P(StationAddresses, an_address_that_never_answers_costs_only_its_share_of_the_connect_time) {
    const AddressesCase& c = GetParam();
    SilentPort silent;
    SilentPort silent_too;
    FakeStation fake(answering([](int) { return reply(record(kRequestedCp1251, 2.5)); }));
    const std::uint16_t second = c.station_second ? fake.port() : silent_too.port();
    std::vector<std::string> looked_up;
    TDataModule1 client(kStationValuePort, [&](const std::string& host, std::uint16_t port) {
        looked_up.push_back(host + ":" + std::to_string(port));
        return std::vector<StationEndpoint>{{"127.0.0.1", silent.port()}, {"127.0.0.1", second}};
    });
    const auto descriptors = test::open_descriptor_count();
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("station", kRequested), c.value);
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_EQ(client.connected(), c.station_second);
    // Our connection and the fake station's end of it; no socket of a failed attempt.
    EXPECT_EQ(test::open_descriptor_count(), descriptors + (c.station_second ? 2 : 0));
    EXPECT_EQ(looked_up, std::vector<std::string>{"station:8001"});
}

INSTANTIATE_TEST_SUITE_P(Addresses, StationAddresses,
                         ::testing::Values(AddressesCase{"silent_then_station", true, 2.5},
                                           AddressesCase{"both_silent", false, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A name service that takes its time must not hold the main thread: the fetch gives up at
// the connect limit, and a later one uses the answer.
TEST(StationClient, a_slow_name_lookup_costs_a_fetch_no_more_than_the_connect_time) {
    FakeStation fake(answering([](int) { return reply(record(kRequestedCp1251, 3.5)); }));
    std::atomic<int> lookups{0};
    TDataModule1 client(kStationValuePort, [&](const std::string&, std::uint16_t) {
        ++lookups;
        std::this_thread::sleep_for(1500ms);
        return std::vector<StationEndpoint>{{"127.0.0.1", fake.port()}};
    });
    auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("station", kRequested), 0.0);
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_FALSE(client.connected());

    std::this_thread::sleep_for(1500ms);
    start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("station", kRequested), 3.5);
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_EQ(lookups.load(), 1);
}

TEST(StationClient, no_station_listening_gives_zero_promptly) {
    TDataModule1 client(unused_port());
    const auto start = Clock::now();
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", kRequested), 0.0);
    EXPECT_LT(seconds_since(start), 3.0);
    EXPECT_FALSE(client.connected());
}

}  // namespace
}  // namespace vetra::link
