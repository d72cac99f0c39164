#include "link/station_client.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <boost/asio.hpp>

#include "library/cp1251.h"
#include "library/number_text.h"

namespace vetra::link {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

constexpr std::size_t kMaxName = 63;

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

struct TDataModule1::Impl {
    asio::io_context io;
    tcp::socket socket{io};
    std::string host;

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

    bool connect(const std::string& to, std::uint16_t port) {
        if (socket.is_open() && host == to) {
            return true;
        }
        close();
        host = to;
        boost::system::error_code ec;
        tcp::resolver resolver(io);
        const auto endpoints = resolver.resolve(to, std::to_string(port), ec);
        if (ec) {
            return false;
        }
        bool done = false;
        boost::system::error_code result;
        asio::async_connect(socket, endpoints,
                            [&](const boost::system::error_code& e, const tcp::endpoint&) {
                                result = e;
                                done = true;
                            });
        if (!run_for(kConnectTimeout, done) || result) {
            close();
            return false;
        }
        return true;
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

TDataModule1::TDataModule1(std::uint16_t port) : impl_(std::make_unique<Impl>()), port_(port) {}

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
