#include "link/device_link.h"

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <charconv>
#include <chrono>
#include <optional>
#include <thread>

#include "library/stop_pause.h"

namespace vetra::link {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr std::chrono::milliseconds kReconnectPause{1000};
// Resolving and connecting are bounded too, so that a host that never answers cannot hold
// the reader thread.
constexpr std::chrono::milliseconds kConnectTimeout{5000};
constexpr std::chrono::milliseconds kStreamTimeout{3000};
constexpr std::chrono::milliseconds kSerialErrorPause{500};
constexpr int kTcpOpenBeepHz = 500;
constexpr int kTcpOpenBeepMs = 200;

// Filled by completion handlers; shared with them so that a handler that runs after its
// caller gave up writes into something that still exists.
struct Completion {
    bool done = false;
    bool abandoned = false;
    bool connecting = false;
    boost::system::error_code error;
    std::size_t bytes = 0;
};

}  // namespace

struct DeviceLink::Tcp {
    TcpAddress address;
    asio::io_context io;
    tcp::resolver resolver{io};
    std::optional<tcp::socket> socket;
    bool connected = false;
    std::stop_token stop;

    // Runs handlers until `state` completes, the limit passes or a stop is requested. A
    // resolve given up on earlier may still be pending and may complete on the way; that is
    // harmless, and it is why this does not simply run the io_context for the whole limit.
    bool run_until_done(const Completion& state, std::chrono::milliseconds limit) {
        io.restart();
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!state.done && !stop.stop_requested()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                break;
            }
            const auto slice = std::min(deadline, now + std::chrono::milliseconds(20));
            if (io.run_one_until(slice) == 0 && io.stopped()) {
                break;
            }
        }
        return state.done;
    }

    // After a cancel the aborted handler is already due, so this ends at once.
    void drain(const Completion& state) {
        io.restart();
        while (!state.done && io.run_one() > 0) {
        }
    }

    // A resolve that was given up on must not start a connect on a newer socket.
    void on_resolved(const std::shared_ptr<Completion>& state,
                     const boost::system::error_code& error,
                     const tcp::resolver::results_type& endpoints) {
        if (state->abandoned) {
            return;
        }
        if (error) {
            state->error = error;
            state->done = true;
            return;
        }
        state->connecting = true;
        asio::async_connect(*socket, endpoints,
                            [state](const boost::system::error_code& e, const auto&) {
                                state->error = e;
                                state->done = true;
                            });
    }

    bool connect() {
        if (connected) {
            return true;
        }
        socket.reset();
        if (!library::pause_unless_stopped(kReconnectPause, stop)) {
            return false;
        }
        socket.emplace(io);
        auto state = std::make_shared<Completion>();
        resolver.async_resolve(address.host, std::to_string(address.port),
                               [this, state](const auto& error, const auto& endpoints) {
                                   on_resolved(state, error, endpoints);
                               });
        if (!run_until_done(*state, kConnectTimeout)) {
            state->abandoned = true;
            resolver.cancel();
            if (state->connecting) {
                boost::system::error_code ignored;
                socket->close(ignored);
                drain(*state);
            }
            return false;
        }
        if (state->error) {
            return false;
        }
        connected = true;
        return true;
    }

    // One stream read of up to n bytes; nullopt when nothing came within the stream time-out.
    std::optional<std::size_t> read_some(std::uint8_t* buffer, std::size_t n,
                                         boost::system::error_code& error) {
        auto state = std::make_shared<Completion>();
        socket->async_read_some(asio::buffer(buffer, n),
                                [state](const boost::system::error_code& e, std::size_t bytes) {
                                    state->error = e;
                                    state->bytes = bytes;
                                    state->done = true;
                                });
        const bool timed_out = !run_until_done(*state, kStreamTimeout);
        if (timed_out) {
            boost::system::error_code ignored;
            socket->cancel(ignored);
            drain(*state);
        }
        if (state->bytes > 0) {
            return state->bytes;
        }
        if (timed_out && state->error == asio::error::operation_aborted) {
            return std::nullopt;
        }
        error = state->error ? state->error : asio::error::eof;
        return 0;
    }
};

bool is_tcp_name(std::string_view name) {
    return name.find(':') != std::string_view::npos;
}

TcpAddress parse_tcp_name(std::string_view name) {
    auto colon = name.find(':');
    TcpAddress address{std::string(name.substr(0, colon)), kDefaultTcpPort};
    if (colon == std::string_view::npos) {
        return address;
    }
    std::string_view rest = name.substr(colon + 1);
    std::uint16_t port = 0;
    const char* end = rest.data() + rest.size();
    auto [ptr, ec] = std::from_chars(rest.data(), end, port);
    if (!rest.empty() && ec == std::errc{} && ptr == end) {
        address.port = port;
    }
    return address;
}

std::string DeviceLink::mode_string(int speed, int parity_key) {
    std::string_view letter;
    switch (parity_key) {
        case 2:
            letter = "e";
            break;
        case 3:
            letter = "m";
            break;
        case 0:
            letter = "n";
            break;
        case 1:
            letter = "o";
            break;
        case 4:
            letter = "s";
            break;
        default:
            break;
    }
    return std::to_string(speed) + "," + std::string(letter) + ",8,1";
}

DeviceLink::DeviceLink(library::Operator& op) : operator_(op) {}

DeviceLink::~DeviceLink() {
    close();
}

bool DeviceLink::open(std::string_view name) {
    if (is_open()) {
        return false;
    }
    if (is_tcp_name(name)) {
        operator_.beep(kTcpOpenBeepHz, kTcpOpenBeepMs);
        tcp_ = std::make_unique<Tcp>();
        tcp_->stop = stop_;
        tcp_->address = parse_tcp_name(name);
        tcp_->connect();
        name_ = name;
        return true;
    }
    if (!serial_.open(windows_device_name(name))) {
        return false;
    }
    name_ = name;
    return true;
}

bool DeviceLink::configure(int speed, int parity_key, int timeout_ms, int input_queue,
                           bool hardware_flow) {
    if (!serial_.is_open()) {
        return true;
    }
    speed_ = speed;
    parity_key_ = parity_key;
    auto mode = parse_mode(mode_string(speed, parity_key));
    if (!mode) {
        return false;
    }
    (void)serial_.apply(*mode);
    serial_.set_hardware_flow(hardware_flow);
    bool accepted = serial_.set_timeouts(timeout_ms, 0, timeout_ms);
    if (input_queue != -1) {
        serial_.set_queue_sizes(static_cast<std::size_t>(std::max(input_queue, 0)), 256);
    }
    return accepted;
}

bool DeviceLink::close() {
    if (!is_open()) {
        return false;
    }
    tcp_.reset();
    serial_.close();
    return true;
}

bool DeviceLink::is_open() const {
    return serial_.is_open() || tcp_ != nullptr;
}

bool DeviceLink::is_connected() const {
    return tcp_ && tcp_->connected;
}

void DeviceLink::reopen() {
    close();
    if (open(name_)) {
        configure(speed_, parity_key_, read_timeout_ms_, -1, false);
    }
}

bool DeviceLink::read(std::uint8_t* buffer, std::size_t n, std::size_t& count) {
    count = 0;
    if (!is_open()) {
        return false;
    }
    return tcp_ ? read_tcp(buffer, n, count) : read_serial(buffer, n, count);
}

bool DeviceLink::read_serial(std::uint8_t* buffer, std::size_t n, std::size_t& count) {
    ReadResult got = serial_.read(buffer, n);
    count = got.count;
    if (got.ok) {
        if (got.count < n) {
            short_read_ = true;
        }
        return true;
    }
    // A vanished adapter often comes back under the same name.
    if (library::pause_unless_stopped(kSerialErrorPause, stop_)) {
        reopen();
    }
    return false;
}

bool DeviceLink::read_tcp(std::uint8_t* buffer, std::size_t n, std::size_t& count) {
    if (!tcp_->connect()) {
        return false;
    }
    while (count < n) {
        boost::system::error_code error;
        auto got = tcp_->read_some(buffer + count, n - count, error);
        if (!got) {
            short_read_ = true;
            return false;
        }
        if (error) {
            tcp_->connected = false;
            return false;
        }
        count += *got;
    }
    return true;
}

bool DeviceLink::expect_marker(std::string_view text) {
    if (!is_open()) {
        return false;
    }
    for (char expected : text) {
        std::uint8_t byte = 0;
        std::size_t count = 0;
        if (!read(&byte, 1, count)) {
            return false;
        }
        if (count == 0) {
            short_read_ = true;
            return false;
        }
        if (byte != static_cast<std::uint8_t>(expected)) {
            return false;
        }
    }
    return true;
}

}  // namespace vetra::link
