#include "link/station_client.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio.hpp>

#include "library/cp1251.h"
#include "library/number_text.h"

namespace vetra::link {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxName = 63;
constexpr auto kConnectTimeout = TDataModule1::kConnectTimeout;

}  // namespace

double find_station_value(std::string_view payload, std::string_view name) {
    double value = 0.0;
    std::size_t pos = 0;
    while (pos < payload.size()) {
        const std::size_t limit = std::min(payload.size(), pos + kMaxName + 1);
        std::size_t zero = pos;
        while (zero < limit && payload[zero] != '\0') {
            ++zero;
        }
        if (zero >= limit || zero == pos) {
            break;  // no terminator within 64 bytes, or an empty name
        }
        const std::string record_name(payload.substr(pos, zero - pos));
        pos = zero + 1;
        if (payload.size() - pos < sizeof(double)) {
            break;
        }
        double record_value = 0.0;
        std::memcpy(&record_value, payload.data() + pos, sizeof record_value);
        pos += sizeof(double);
        if (library::to_lower(library::cp1251_to_utf8(record_name)) == name) {
            value = record_value;
        }
    }
    return value;
}

namespace {

// Runs the name lookup on a thread of its own, so that a slow name service costs a fetch no
// more than its connect time. An answer that comes too late is kept for the next fetch.
class BackgroundLookup {
public:
    explicit BackgroundLookup(HostLookup lookup) : lookup_(std::move(lookup)) {}
    // Joins a lookup still running, which may take the name service's own time-out.
    ~BackgroundLookup() = default;

    // The endpoints of `host`, or nothing when the lookup has not answered by `deadline`.
    std::optional<std::vector<StationEndpoint>> endpoints(const std::string& host,
                                                          std::uint16_t port,
                                                          Clock::time_point deadline) {
        boost::system::error_code ec;
        asio::ip::make_address(host, ec);
        if (!ec) {
            return std::vector<StationEndpoint>{{host, port}};  // nothing to look up
        }
        std::unique_lock lock(mutex_);
        if (!busy_ && !(ready_ && host_ == host && port_ == port)) {
            start(host, port);
        }
        changed_.wait_until(lock, deadline, [&] { return ready_; });
        if (!ready_ || host_ != host || port_ != port) {
            return std::nullopt;
        }
        ready_ = false;  // the next connection asks afresh: the station may have moved
        return std::move(result_);
    }

private:
    // Under the lock, with no lookup running.
    void start(const std::string& host, std::uint16_t port) {
        if (thread_.joinable()) {
            thread_.join();  // finished: it cleared busy_ as its last act under the lock
        }
        host_ = host;
        port_ = port;
        busy_ = true;
        ready_ = false;
        thread_ = std::jthread([this, host, port] {
            std::vector<StationEndpoint> found = lookup_(host, port);
            std::lock_guard done(mutex_);
            result_ = std::move(found);
            busy_ = false;
            ready_ = true;
            changed_.notify_all();
        });
    }

    HostLookup lookup_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string host_;
    std::uint16_t port_ = 0;
    bool busy_ = false;
    bool ready_ = false;
    std::vector<StationEndpoint> result_;
    std::jthread thread_;  // last: joined before the members it uses go
};

}  // namespace

std::vector<StationEndpoint> system_host_lookup(const std::string& host, std::uint16_t port) {
    asio::io_context io;
    tcp::resolver resolver(io);
    boost::system::error_code ec;
    const auto results = resolver.resolve(host, std::to_string(port), ec);
    std::vector<StationEndpoint> out;
    if (!ec) {
        for (const auto& entry : results) {
            out.push_back({entry.endpoint().address().to_string(), entry.endpoint().port()});
        }
    }
    return out;
}

struct TDataModule1::Impl {
    explicit Impl(HostLookup lookup) : lookup(std::move(lookup)) {}

    asio::io_context io;
    tcp::socket socket{io};
    std::string host;
    BackgroundLookup lookup;

    void close() {
        boost::system::error_code ec;
        socket.close(ec);
    }

    // Runs the queued operation for at most `limit`; cancels it when time is up.
    bool run_for(std::chrono::milliseconds limit, const bool& done) {
        io.restart();
        io.run_for(limit);
        if (!done) {
            boost::system::error_code ec;
            socket.cancel(ec);
            io.restart();
            io.run();  // let the cancelled handler finish
        }
        return done;
    }

    // The lookup and the connection together end by the connect time-out. Each address
    // gets an even share of what is left, so one that never answers cannot starve the next;
    // an attempt that fails or runs out of time leaves no socket open.
    bool connect(const std::string& to, std::uint16_t port) {
        if (socket.is_open() && host == to) {
            return true;
        }
        close();
        host = to;
        const auto deadline = Clock::now() + kConnectTimeout;
        const auto endpoints = lookup.endpoints(to, port, deadline);
        if (!endpoints) {
            return false;
        }
        for (std::size_t i = 0; i < endpoints->size(); ++i) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                break;
            }
            boost::system::error_code ec;
            const auto address = asio::ip::make_address((*endpoints)[i].address, ec);
            if (ec) {
                continue;
            }
            bool done = false;
            boost::system::error_code result;
            socket.async_connect(tcp::endpoint(address, (*endpoints)[i].port),
                                 [&](const boost::system::error_code& e) {
                                     result = e;
                                     done = true;
                                 });
            io.restart();
            io.run_for(std::chrono::duration_cast<std::chrono::nanoseconds>(
                left / static_cast<long>(endpoints->size() - i)));
            if (!done) {
                close();  // ends the attempt at once
                io.restart();
                io.run();
            }
            if (!result) {
                return true;
            }
            close();
        }
        return false;
    }

    // One read of the protocol: up to n bytes, for at most the read time-out in all, so
    // that a station trickling a byte now and then cannot hold the main thread. Returns the
    // count; `failed` tells that the connection broke.
    std::size_t read(char* buffer, std::size_t n, bool& failed) {
        std::size_t got = 0;
        bool done = false;
        boost::system::error_code result;
        asio::async_read(socket, asio::buffer(buffer, n),
                         [&](const boost::system::error_code& e, std::size_t count) {
                             result = e;
                             got = count;
                             done = true;
                         });
        run_for(kReadTimeout, done);  // a cancelled read still reports what it got
        if (result && result != asio::error::operation_aborted) {
            failed = true;
        }
        return got;
    }

    // The request is tiny, but a station that never reads must not block us either.
    bool write(const char* data, std::size_t n) {
        bool done = false;
        boost::system::error_code result;
        asio::async_write(socket, asio::buffer(data, n),
                          [&](const boost::system::error_code& e, std::size_t) {
                              result = e;
                              done = true;
                          });
        return run_for(kReadTimeout, done) && !result;
    }
};

std::uint16_t station_value_port() {
    const char* text = std::getenv("VETRA_STATION_PORT");
    const auto port = text != nullptr ? library::parse_int(text) : std::nullopt;
    return port && *port > 0 && *port <= 65535 ? static_cast<std::uint16_t>(*port)
                                               : kStationValuePort;
}

TDataModule1::TDataModule1(std::uint16_t port, HostLookup lookup)
    : impl_(std::make_unique<Impl>(std::move(lookup))), port_(port) {}

TDataModule1::~TDataModule1() = default;

bool TDataModule1::connected() const {
    return impl_->socket.is_open();
}

double TDataModule1::fetch_station_value(const std::string& host, std::string_view name) {
    // No station is no reading: 0 never exceeds a threshold.
    last_value_ = 0.0;
    if (!impl_->connect(host, port_)) {
        return 0.0;
    }
    const char request[5] = {1, 0, 0, 0, 0};
    if (!impl_->write(request, sizeof request)) {
        impl_->close();
        return 0.0;
    }
    bool failed = false;
    char kind = 0;
    char length_bytes[4] = {0, 0, 0, 0};
    const bool head_whole = impl_->read(&kind, 1, failed) == 1 &&
                            impl_->read(length_bytes, sizeof length_bytes, failed) == 4;
    std::int32_t length = 0;
    std::memcpy(&length, length_bytes, sizeof length);
    // A header cut short leaves the stream out of step: whatever comes late would be read
    // as the next reply.
    if (!head_whole || length > kMaxStationReply || length < 0) {
        impl_->close();
        return 0.0;
    }
    std::vector<char> payload(static_cast<std::size_t>(length));
    const std::size_t got = impl_->read(payload.data(), payload.size(), failed);
    last_value_ = find_station_value(std::string_view(payload.data(), got), name);
    // A reply cut short leaves the stream out of step too; the next fetch starts afresh.
    if (failed || got < payload.size()) {
        impl_->close();
    }
    return last_value_;
}

}  // namespace vetra::link
