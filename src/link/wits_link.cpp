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
#include "link/tcp_keepalive.h"

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

std::string wits_address_problem(WitsTransport transport, const std::string& address) {
    const auto target = parse_host_port(address);
    if (transport == WitsTransport::tcp_client) {
        const bool blank = target && target->host.find_first_of(" \t") != std::string::npos;
        if (!target || target->host.empty() || blank || target->port == 0) {
            return "Адрес WITS должен иметь вид узел:порт (порт 1-65535), например "
                   "192.168.0.10:5005";
        }
    } else if (transport == WitsTransport::tcp_server) {
        boost::system::error_code e;
        if (target && !target->host.empty()) {
            (void)asio::ip::make_address_v4(target->host, e);
        }
        if (!target || e) {
            return "Для приёма подключений WITS укажите порт (1-65535) или IPv4-адрес:порт, "
                   "например 0.0.0.0:5005";
        }
    }
    return {};
}

std::string wits_status_text(const WitsLinkStatus& status, bool output) {
    const std::string head = output ? "WITS передача: " : "WITS глубина: ";
    const bool serial = status.transport == WitsTransport::serial;
    switch (status.state) {
        case WitsLinkState::off:
            return head + "выключена";
        case WitsLinkState::address_invalid:
            return head + "неверный адрес \"" + status.where + "\"";
        case WitsLinkState::port_unavailable:
            return head + "порт " + status.where + " недоступен";
        case WitsLinkState::no_receiver:
            return head + (output ? "нет приёмника " : "нет связи с ") + status.where;
        case WitsLinkState::listening:
            return head + "слушает порт " + status.where +
                   (status.receivers > 0 ? ", приёмников: " + std::to_string(status.receivers)
                                         : ", приёмников нет") +
                   (status.dropped > 0
                        ? ", отключено не принимавших данные: " + std::to_string(status.dropped)
                        : "");
        case WitsLinkState::connected:
            return head +
                   (serial ? "порт " + status.where + " открыт" : "подключено к " + status.where);
        case WitsLinkState::silent:
            return head + (serial ? "нет данных из порта " : "нет данных от ") + status.where +
                   ", связь открывается заново";
        case WitsLinkState::stalled:
            return head + "приёмник " + status.where + " не принимает данные, отключён";
    }
    return head;
}

namespace {

// Before the link's thread has tried anything: an unusable address is known at once.
WitsLinkStatus first_status(const WitsEndpoint& endpoint) {
    WitsLinkStatus s{WitsLinkState::off, endpoint.transport, {}, 0};
    switch (endpoint.transport) {
        case WitsTransport::off:
            break;
        case WitsTransport::serial:
            s.state = WitsLinkState::port_unavailable;
            s.where = endpoint.port_name;
            break;
        case WitsTransport::tcp_client:
        case WitsTransport::tcp_server:
            s.where = endpoint.address;
            s.state = wits_address_problem(endpoint.transport, endpoint.address).empty()
                          ? (endpoint.transport == WitsTransport::tcp_client
                                 ? WitsLinkState::no_receiver
                                 : WitsLinkState::port_unavailable)
                          : WitsLinkState::address_invalid;
            break;
    }
    return s;
}

}  // namespace

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
    explicit Receiver(tcp::socket s) : socket(std::move(s)), write_timer(socket.get_executor()) {}
    tcp::socket socket;
    asio::steady_timer write_timer;
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

    void set_status(WitsLinkState state, std::string where) {
        const std::lock_guard lock(owner.status_mutex_);
        owner.status_.state = state;
        owner.status_.where = std::move(where);
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
            set_status(WitsLinkState::port_unavailable, endpoint.port_name);
            retry_later();
        } else {
            set_status(WitsLinkState::connected, endpoint.port_name);
        }
        count_receivers();
    }

    void connect() {
        const auto target = parse_host_port(endpoint.address);
        if (!wits_address_problem(endpoint.transport, endpoint.address).empty()) {
            // Nothing sensible to connect to; the settings must change first.
            set_status(WitsLinkState::address_invalid, endpoint.address);
            return;
        }
        auto socket = std::make_shared<tcp::socket>(loop.io);
        connect_within_limit(loop.io, *socket, *target, [this, socket](bool connected) {
            if (connected) {
                set_status(WitsLinkState::connected, endpoint.address);
                add_receiver(std::move(*socket));
            } else {
                set_status(WitsLinkState::no_receiver, endpoint.address);
                retry_later();
            }
        });
    }

    void listen() {
        const auto target = parse_host_port(endpoint.address);
        if (!wits_address_problem(endpoint.transport, endpoint.address).empty()) {
            set_status(WitsLinkState::address_invalid, endpoint.address);
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
            set_status(WitsLinkState::port_unavailable, endpoint.address);
            retry_later();
            return;
        }
        owner.listening_port_.store(acceptor.local_endpoint(e).port());
        set_status(WitsLinkState::listening, std::to_string(owner.listening_port_.load()));
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
        (void)enable_keepalive(socket);
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

    // `stalled`: it stopped taking data, which the state tells until the next try.
    void drop(Receiver& r, bool stalled = false) {
        if (r.closed) {
            return;
        }
        r.closed = true;
        boost::system::error_code ignored;
        r.socket.close(ignored);
        r.write_timer.cancel();
        std::erase_if(receivers, [](const auto& each) { return each->closed; });
        count_receivers();
        if (stalled) {
            const std::lock_guard lock(owner.status_mutex_);
            ++owner.status_.dropped;
        }
        if (endpoint.transport == WitsTransport::tcp_client && receivers.empty()) {
            set_status(stalled ? WitsLinkState::stalled : WitsLinkState::no_receiver,
                       endpoint.address);
            retry_later();
        }
    }

    void deliver(const std::string& packet) {
        if (serial.is_open()) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(packet.data());
            if (!serial.write(std::span(bytes, packet.size()))) {
                serial.close();
                set_status(WitsLinkState::port_unavailable, endpoint.port_name);
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
        // A receiver that is connected but no longer reads would hold this write for ever.
        r->write_timer.expires_after(endpoint.write_limit);
        r->write_timer.async_wait([this, r](const boost::system::error_code& e) {
            // A late expiry may meet a write that has just started anew.
            if (!e && !r->writing.empty() &&
                r->write_timer.expiry() <= asio::steady_timer::clock_type::now()) {
                drop(*r, true);
            }
        });
        asio::async_write(r->socket, asio::buffer(r->writing),
                          [this, r](const boost::system::error_code& e, std::size_t) {
                              r->writing.clear();
                              r->write_timer.cancel();
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
    : impl_(std::make_unique<Impl>(*this, endpoint)), status_(first_status(endpoint)) {
    impl_->start();
}

WitsLinkStatus WitsOutput::status() const {
    const std::lock_guard lock(status_mutex_);
    WitsLinkStatus s = status_;
    s.receivers = receivers_.load();
    return s;
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
        : owner(owner),
          endpoint(std::move(endpoint)),
          parser_handler([&owner](const WitsItem& item) { owner.take(item); }),
          parser(parser_handler),
          retry(loop.io),
          idle(loop.io),
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
        auto last_byte = std::chrono::steady_clock::now();
        const auto pause = [&stop] {
            for (int i = 0; i < 20 && !stop.stop_requested(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        };
        while (!stop.stop_requested()) {
            if (!port.is_open()) {
                if (!port.open(endpoint.port_name) || !port.apply_mode(endpoint.mode) ||
                    !port.set_timeouts(0, 0, 100)) {
                    port.close();
                    owner.set_status(WitsLinkState::port_unavailable, endpoint.port_name);
                    pause();
                } else {
                    owner.set_status(WitsLinkState::connected, endpoint.port_name);
                    last_byte = std::chrono::steady_clock::now();
                }
                continue;
            }
            const auto got = port.read(buffer.data(), buffer.size());
            if (!got.ok) {
                port.close();
                owner.set_status(WitsLinkState::port_unavailable, endpoint.port_name);
                continue;
            }
            const auto now = std::chrono::steady_clock::now();
            if (got.count > 0) {
                last_byte = now;
            } else if (endpoint.idle_limit.count() > 0 && now - last_byte >= endpoint.idle_limit) {
                // A converter that lost its rig side keeps the port open and says nothing.
                port.close();
                owner.set_status(WitsLinkState::silent, endpoint.port_name);
                pause();
                continue;
            }
            parser.feed(std::span<const std::uint8_t>(buffer.data(), got.count));
        }
    }

    void retry_later(WitsLinkState state = WitsLinkState::no_receiver) {
        idle.cancel();
        owner.set_status(state, endpoint.address);
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
        if (!wits_address_problem(endpoint.transport, endpoint.address).empty()) {
            owner.set_status(WitsLinkState::address_invalid, endpoint.address);
            return;
        }
        // A new parser for a new connection: half a packet from the old one means nothing.
        parser = WitsParser(parser_handler);
        socket = tcp::socket(loop.io);
        connect_within_limit(loop.io, socket, *target, [this](bool connected) {
            if (connected) {
                (void)enable_keepalive(socket);
                timed_out = false;
                owner.set_status(WitsLinkState::connected, endpoint.address);
                read();
            } else {
                retry_later();
            }
        });
    }

    // A peer that lost power sends no FIN: without a limit the read would wait for ever.
    void watch_idle() {
        if (endpoint.idle_limit.count() <= 0) {
            return;
        }
        idle.expires_after(endpoint.idle_limit);
        idle.async_wait([this](const boost::system::error_code& e) {
            // A late expiry may meet a read that has just been given bytes.
            if (e || idle.expiry() > asio::steady_timer::clock_type::now()) {
                return;
            }
            timed_out = true;
            boost::system::error_code ignored;
            socket.close(ignored);  // the read ends with an error and the retry follows
        });
    }

    void read() {
        watch_idle();
        socket.async_read_some(
            asio::buffer(buffer), [this](const boost::system::error_code& e, std::size_t n) {
                if (e) {
                    retry_later(timed_out ? WitsLinkState::silent : WitsLinkState::no_receiver);
                    return;
                }
                parser.feed(std::span<const std::uint8_t>(
                    reinterpret_cast<const std::uint8_t*>(buffer.data()), n));
                read();
            });
    }

    WitsInput& owner;
    WitsEndpoint endpoint;
    WitsParser::ItemHandler parser_handler;
    WitsParser parser;
    Loop loop;
    asio::steady_timer retry;
    asio::steady_timer idle;
    bool timed_out = false;  // the idle limit closed the socket, not the peer
    tcp::socket socket;
    std::array<char, 512> buffer{};
    std::jthread serial_thread;
};

WitsInput::WitsInput(WitsEndpoint endpoint, WitsDepthItem item)
    : item_(item), status_(first_status(endpoint)), impl_(std::make_unique<Impl>(*this, endpoint)) {
    impl_->start();
}

WitsLinkStatus WitsInput::status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

void WitsInput::set_status(WitsLinkState state, std::string where) {
    const std::lock_guard lock(mutex_);
    status_.state = state;
    status_.where = std::move(where);
}

WitsInput::~WitsInput() {
    impl_->stop();
}

void WitsInput::take(const WitsItem& item) {
    rig_values_.take(item);
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
