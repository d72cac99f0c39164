#include "link/wits_link.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <charconv>
#include <functional>
#include <span>
#include <thread>

#include "link/serial_port.h"

namespace vetra::link {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

constexpr std::chrono::seconds kRetryPause{2};
constexpr std::chrono::seconds kConnectLimit{2};

}  // namespace

std::optional<HostPort> parse_host_port(const std::string& text) {
    const auto colon = text.rfind(':');
    HostPort result;
    std::string_view port = text;
    if (colon != std::string::npos) {
        result.host = text.substr(0, colon);
        port = std::string_view(text).substr(colon + 1);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value > 65535) {
        return std::nullopt;
    }
    result.port = static_cast<std::uint16_t>(value);
    return result;
}

// --- the shared loop: an io_context run by one thread until the owner goes -----------------

namespace {

class Loop {
public:
    ~Loop() { stop(); }
    void run() {
        thread_ = std::jthread([this] { io.run(); });
    }
    void stop() {
        work_.reset();
        io.stop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    asio::io_context io;

private:
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{
        asio::make_work_guard(io)};
    std::jthread thread_;
};

// Resolves `target` and connects `socket` within kConnectLimit, then calls `done` with
// whether it is connected. Whatever `done` holds (a socket, say) lives until every handler
// here has run.
void connect_within_limit(asio::io_context& io, tcp::socket& socket, const HostPort& target,
                          std::function<void(bool)> done) {
    auto finish = std::make_shared<std::function<void(bool)>>(std::move(done));
    auto timer = std::make_shared<asio::steady_timer>(io, kConnectLimit);
    auto resolver = std::make_shared<tcp::resolver>(io);
    timer->async_wait([&socket, resolver, finish](const boost::system::error_code& e) {
        if (!e) {
            resolver->cancel();
            boost::system::error_code ignored;
            socket.close(ignored);
        }
    });
    resolver->async_resolve(
        target.host, std::to_string(target.port),
        [&socket, timer, resolver, finish](const boost::system::error_code& e,
                                           const tcp::resolver::results_type& endpoints) {
            if (e) {
                timer->cancel();
                (*finish)(false);
                return;
            }
            asio::async_connect(socket, endpoints,
                                [&socket, timer, finish](const boost::system::error_code& ce,
                                                         const tcp::endpoint&) {
                                    timer->cancel();
                                    (*finish)(!ce && socket.is_open());
                                });
        });
}

// One receiver's socket and what still has to reach it.
struct Receiver {
    explicit Receiver(tcp::socket s) : socket(std::move(s)) {}
    tcp::socket socket;
    std::string pending;
    std::string writing;
    std::array<char, 256> discard{};
    bool closed = false;
};

}  // namespace

// --- output ---------------------------------------------------------------------------------

struct WitsOutput::Impl {
    Impl(WitsOutput& owner, WitsEndpoint endpoint)
        : owner(owner), endpoint(std::move(endpoint)), retry(loop.io), acceptor(loop.io) {}

    void start() {
        asio::post(loop.io, [this] { open(); });
        loop.run();
    }

    void open() {
        switch (endpoint.transport) {
            case WitsTransport::serial:
                open_serial();
                break;
            case WitsTransport::tcp_client:
                connect();
                break;
            case WitsTransport::tcp_server:
                listen();
                break;
            case WitsTransport::off:
                break;
        }
    }

    void retry_later() {
        retry.expires_after(kRetryPause);
        retry.async_wait([this](const boost::system::error_code& e) {
            if (!e) {
                open();
            }
        });
    }

    void count_receivers() {
        int n = serial.is_open() ? 1 : 0;
        for (const auto& r : receivers) {
            n += r->closed ? 0 : 1;
        }
        owner.receivers_.store(n);
    }

    void open_serial() {
        if (!serial.open(endpoint.port_name) || !serial.apply_mode(endpoint.mode)) {
            serial.close();
            retry_later();
        }
        count_receivers();
    }

    void connect() {
        const auto target = parse_host_port(endpoint.address);
        if (!target || target->host.empty()) {
            return;  // nothing sensible to connect to; the settings must change first
        }
        auto socket = std::make_shared<tcp::socket>(loop.io);
        connect_within_limit(loop.io, *socket, *target, [this, socket](bool connected) {
            if (connected) {
                add_receiver(std::move(*socket));
            } else {
                retry_later();
            }
        });
    }

    void listen() {
        const auto target = parse_host_port(endpoint.address);
        if (!target) {
            return;
        }
        boost::system::error_code e;
        const auto address = target->host.empty() ? asio::ip::address_v4::any()
                                                  : asio::ip::make_address(target->host, e);
        if (!e) {
            acceptor.open(tcp::v4(), e);
        }
        if (!e) {
            acceptor.set_option(tcp::acceptor::reuse_address(true), e);
            acceptor.bind({address, target->port}, e);
        }
        if (!e) {
            acceptor.listen(asio::socket_base::max_listen_connections, e);
        }
        if (e) {
            boost::system::error_code ignored;
            acceptor.close(ignored);
            retry_later();
            return;
        }
        owner.listening_port_.store(acceptor.local_endpoint(e).port());
        accept();
    }

    void accept() {
        acceptor.async_accept([this](const boost::system::error_code& e, tcp::socket socket) {
            if (e) {
                return;  // the acceptor was closed
            }
            if (static_cast<int>(receivers.size()) < kMaxReceivers) {
                add_receiver(std::move(socket));
            }
            accept();
        });
    }

    void add_receiver(tcp::socket socket) {
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        receivers.push_back(std::make_shared<Receiver>(std::move(socket)));
        watch(receivers.back());
        count_receivers();
    }

    // Receivers send nothing we want, but reading is how a hang-up is noticed.
    void watch(const std::shared_ptr<Receiver>& r) {
        r->socket.async_read_some(asio::buffer(r->discard),
                                  [this, r](const boost::system::error_code& e, std::size_t) {
                                      if (e) {
                                          drop(*r);
                                      } else {
                                          watch(r);
                                      }
                                  });
    }

    void drop(Receiver& r) {
        if (r.closed) {
            return;
        }
        r.closed = true;
        boost::system::error_code ignored;
        r.socket.close(ignored);
        std::erase_if(receivers, [](const auto& each) { return each->closed; });
        count_receivers();
        if (endpoint.transport == WitsTransport::tcp_client && receivers.empty()) {
            retry_later();
        }
    }

    void deliver(const std::string& packet) {
        if (serial.is_open()) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(packet.data());
            if (!serial.write(std::span(bytes, packet.size()))) {
                serial.close();
                count_receivers();
                retry_later();
            }
        }
        for (const auto& r : std::vector(receivers)) {
            if (r->closed || r->pending.size() + packet.size() > kMaxBacklogBytes) {
                continue;  // a receiver this far behind loses packets, never memory
            }
            r->pending += packet;
            write(r);
        }
    }

    void write(const std::shared_ptr<Receiver>& r) {
        if (!r->writing.empty() || r->pending.empty() || r->closed) {
            return;
        }
        r->writing.swap(r->pending);
        asio::async_write(r->socket, asio::buffer(r->writing),
                          [this, r](const boost::system::error_code& e, std::size_t) {
                              r->writing.clear();
                              if (e) {
                                  drop(*r);
                              } else {
                                  write(r);
                              }
                          });
    }

    WitsOutput& owner;
    WitsEndpoint endpoint;
    Loop loop;
    asio::steady_timer retry;
    tcp::acceptor acceptor;
    SerialPort serial;
    std::vector<std::shared_ptr<Receiver>> receivers;
    std::atomic<int> queued{0};
};

WitsOutput::WitsOutput(WitsEndpoint endpoint)
    : impl_(std::make_unique<Impl>(*this, std::move(endpoint))) {
    impl_->start();
}

WitsOutput::~WitsOutput() {
    impl_->loop.stop();
}

void WitsOutput::send(std::string packet) {
    if (impl_->queued.load() >= kMaxQueuedPackets) {
        return;
    }
    ++impl_->queued;
    asio::post(impl_->loop.io, [impl = impl_.get(), packet = std::move(packet)] {
        --impl->queued;
        impl->deliver(packet);
    });
}

// --- input ----------------------------------------------------------------------------------

struct WitsInput::Impl {
    Impl(WitsInput& owner, WitsEndpoint endpoint)
        : endpoint(std::move(endpoint)),
          parser_handler([&owner](const WitsItem& item) { owner.take(item); }),
          parser(parser_handler),
          retry(loop.io),
          socket(loop.io) {}

    void start() {
        if (endpoint.transport == WitsTransport::serial) {
            serial_thread = std::jthread([this](std::stop_token stop) { read_serial(stop); });
        } else if (endpoint.transport == WitsTransport::tcp_client) {
            asio::post(loop.io, [this] { connect(); });
            loop.run();
        }
    }

    void stop() {
        if (serial_thread.joinable()) {
            serial_thread.request_stop();
            serial_thread.join();
        }
        loop.stop();
    }

    // Short reads, so a stop is seen within about 100 ms whatever the line does.
    void read_serial(const std::stop_token& stop) {
        SerialPort port;
        std::array<std::uint8_t, 256> buffer{};
        while (!stop.stop_requested()) {
            if (!port.is_open()) {
                if (!port.open(endpoint.port_name) || !port.apply_mode(endpoint.mode) ||
                    !port.set_timeouts(0, 0, 100)) {
                    port.close();
                    for (int i = 0; i < 20 && !stop.stop_requested(); ++i) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    }
                }
                continue;
            }
            const auto got = port.read(buffer.data(), buffer.size());
            if (!got.ok) {
                port.close();
                continue;
            }
            parser.feed(std::span<const std::uint8_t>(buffer.data(), got.count));
        }
    }

    void retry_later() {
        boost::system::error_code ignored;
        socket.close(ignored);
        retry.expires_after(kRetryPause);
        retry.async_wait([this](const boost::system::error_code& e) {
            if (!e) {
                connect();
            }
        });
    }

    void connect() {
        const auto target = parse_host_port(endpoint.address);
        if (!target || target->host.empty()) {
            return;
        }
        // A new parser for a new connection: half a packet from the old one means nothing.
        parser = WitsParser(parser_handler);
        socket = tcp::socket(loop.io);
        connect_within_limit(loop.io, socket, *target, [this](bool connected) {
            if (connected) {
                read();
            } else {
                retry_later();
            }
        });
    }

    void read() {
        socket.async_read_some(asio::buffer(buffer),
                               [this](const boost::system::error_code& e, std::size_t n) {
                                   if (e) {
                                       retry_later();
                                       return;
                                   }
                                   parser.feed(std::span<const std::uint8_t>(
                                       reinterpret_cast<const std::uint8_t*>(buffer.data()), n));
                                   read();
                               });
    }

    WitsEndpoint endpoint;
    WitsParser::ItemHandler parser_handler;
    WitsParser parser;
    Loop loop;
    asio::steady_timer retry;
    tcp::socket socket;
    std::array<char, 512> buffer{};
    std::jthread serial_thread;
};

WitsInput::WitsInput(WitsEndpoint endpoint, WitsDepthItem item)
    : item_(item), impl_(std::make_unique<Impl>(*this, std::move(endpoint))) {
    impl_->start();
}

WitsInput::~WitsInput() {
    impl_->stop();
}

void WitsInput::take(const WitsItem& item) {
    if (item.record * 100 + item.item != static_cast<int>(item_)) {
        return;
    }
    if (const auto depth = wits_depth_value(item.value)) {
        const std::lock_guard lock(mutex_);
        depth_ = *depth;
        depth_time_ = std::chrono::steady_clock::now();
    }
}

std::optional<double> WitsInput::depth(std::chrono::steady_clock::time_point now) const {
    const std::lock_guard lock(mutex_);
    if (!depth_ || now - depth_time_ >= kValidity) {
        return std::nullopt;
    }
    return depth_;
}

}  // namespace vetra::link
