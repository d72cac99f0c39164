#include "station_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "link/mailslot.h"
#include "link/mailslot_posix.h"
#include "link/remote_control.h"
#include "link/station_client.h"
#include "link/station_sender.h"

namespace vetra::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kMaxResultsMessage = 64 * 1024;
constexpr std::size_t kMaxName = 63;
constexpr std::size_t kMaxClients = 16;

volatile std::sig_atomic_t g_stop = 0;
extern "C" void on_station_signal(int) {
    g_stop = 1;
}

Clock::time_point after(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void say(const std::string& text) {
    std::fprintf(stderr, "vetra-sim station: %s\n", text.c_str());
    std::fflush(stderr);
}

void usage(std::FILE* to) {
    std::fputs(
        "usage: vetra-sim station [--send LINE]... [--next --send LINE...]... [--wait S]\n"
        "                         [--send-only] [--value NAME=NUMBER]... [--tcp-port N]\n"
        "                         [--tcp-bind ADDR] [--no-tcp] [--timeout S]\n",
        to);
}

constexpr const char* kHelp =
    "\n"
    "Receives the results mailslot and prints each message, one line per key and an empty\n"
    "line after it. --send adds a line to a message, --next starts the next message; they\n"
    "are sent to the workstation's remote-control mailslot once the station is set up,\n"
    "each tried for --wait seconds (default: once). --send-only sends and ends. --value\n"
    "NAME=NUMBER is served on the value port (--tcp-port, default 8001, 0 for any free one;\n"
    "--tcp-bind, default 127.0.0.1). Runs until Ctrl+C, SIGTERM or --timeout. Exit status:\n"
    "0; 1 when a message found no reader; 2 for a bad option or a mailslot or port taken.\n";

struct Value {
    std::string cp1251_name;
    double value = 0.0;
};

struct Options {
    std::vector<std::vector<std::string>> messages;  // each: its lines
    double wait_seconds = 0.0;
    bool send_only = false;
    std::vector<Value> values;
    bool tcp = true;
    std::uint16_t tcp_port = link::kStationValuePort;
    std::string tcp_bind = "127.0.0.1";
    std::optional<double> timeout_seconds;
};

// Up to a year, which keeps the deadlines within the clock's range.
std::optional<double> seconds_arg(const char* text) {
    const auto v = library::parse_number(text);
    return v && *v >= 0.0 && *v <= 366.0 * 86400.0 ? v : std::nullopt;
}

std::optional<Value> value_arg(std::string_view text) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string name = library::utf8_to_cp1251(library::trim(text.substr(0, eq)));
    const auto number = library::parse_number(text.substr(eq + 1));
    // An empty name would end the station's payload; a longer one the client cannot read.
    if (name.empty() || name.size() > kMaxName || !number) {
        return std::nullopt;
    }
    return Value{name, *number};
}

bool parse_options(int argc, char** argv, Options& o) {
    std::vector<std::string> current;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool has = i + 1 < argc;
        if (a == "--send" && has) {
            current.emplace_back(argv[++i]);
        } else if (a == "--next") {
            if (current.empty()) {
                return false;  // a message of no lines is a slip of the pen
            }
            o.messages.push_back(std::exchange(current, {}));
        } else if (a == "--send-only") {
            o.send_only = true;
        } else if (a == "--no-tcp") {
            o.tcp = false;
        } else if (a == "--value" && has) {
            const auto v = value_arg(argv[++i]);
            if (!v) {
                return false;
            }
            o.values.push_back(*v);
        } else if (a == "--tcp-port" && has) {
            const auto port = library::parse_int(argv[++i]);
            if (!port || *port < 0 || *port > 65535) {
                return false;
            }
            o.tcp_port = static_cast<std::uint16_t>(*port);
        } else if (a == "--tcp-bind" && has) {
            o.tcp_bind = argv[++i];
        } else if ((a == "--wait" || a == "--timeout") && has) {
            const auto s = seconds_arg(argv[++i]);
            if (!s) {
                return false;
            }
            (a == "--wait" ? o.wait_seconds : o.timeout_seconds.emplace()) = *s;
        } else {
            return false;
        }
    }
    if (!current.empty()) {
        o.messages.push_back(std::move(current));
    } else if (!o.messages.empty()) {
        return false;  // "--next" at the end
    }
    return !(o.send_only && o.messages.empty());
}

// Station messages come from a terminal's point of view: control characters would move the
// cursor or worse, so they are shown as '?'.
std::string printable(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() &&
                        static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if (c1) {
            ++i;
            out.push_back('?');
        } else if (c < 0x20 || c == 0x7F) {
            out.push_back(c == '\t' ? '\t' : '?');
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

// One line per key, then an empty line; the text ends at its zero byte.
void print_message(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    const std::string text = library::cp1251_to_utf8(bytes);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start) {
                std::printf("%s\n",
                            printable(std::string_view(text).substr(start, i - start)).c_str());
            }
            start = i + 1;
        }
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// Lines joined with CR LF, in cp1251, with the zero byte a Windows station writes too.
bool send_message(const std::vector<std::string>& lines, double wait_seconds) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i == 0 ? "" : "\r\n") + lines[i];
    }
    std::string bytes = library::utf8_to_cp1251(text);
    bytes.push_back('\0');
    std::string shown = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        shown += ", " + lines[i];
    }
    const auto deadline = after(wait_seconds);
    while (!g_stop) {
        if (link::mailslot_write(link::kRemoteControlMailslot, bytes)) {
            say("sent: " + shown);
            return true;
        }
        if (Clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    const auto path = link::mailslot_path(link::kRemoteControlMailslot);
    say("not sent to " + (path ? path->string() : std::string("?")) +
        " (no workstation there, or its mailslot is not open to this user): " + shown);
    return false;
}

std::string le32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
            static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 24) & 0xff)};
}

// The kind byte, the payload length and the records: name, zero byte, little-endian double.
std::string value_reply(const std::vector<Value>& values) {
    std::string payload;
    for (const auto& v : values) {
        payload += v.cp1251_name;
        payload.push_back('\0');
        const auto bits = std::bit_cast<std::uint64_t>(v.value);
        for (int i = 0; i < 8; ++i) {
            payload.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
        }
    }
    return '\x01' + le32(static_cast<std::int32_t>(payload.size())) + payload;
}

int listen_tcp(const std::string& address, std::uint16_t port, std::uint16_t& bound) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    socklen_t len = sizeof addr;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    bound = ntohs(addr.sin_port);
    return fd;
}

struct Client {
    int fd = -1;
    std::string peer;
    std::string pending;  // request bytes not yet a whole request
    long requests = 0;
};

class Station {
public:
    Station(const std::vector<Value>& values, link::MailslotServer* mailslot, int listen_fd)
        : mailslot_(mailslot), listen_fd_(listen_fd), reply_(value_reply(values)) {}
    ~Station() {
        for (auto& c : clients_) {
            ::close(c.fd);
        }
    }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    void serve(Clock::time_point end) {
        while (!g_stop && Clock::now() < end) {
            std::vector<pollfd> fds;
            fds.push_back(
                {mailslot_ ? static_cast<int>(mailslot_->native_handle()) : -1, POLLIN, 0});
            fds.push_back({listen_fd_, POLLIN, 0});
            for (const auto& c : clients_) {
                fds.push_back({c.fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 100) <= 0) {
                continue;
            }
            if (fds[0].revents != 0) {
                while (const auto message = mailslot_->read_next()) {
                    print_message(*message);
                }
            }
            if (fds[1].revents != 0) {
                accept_client();
            }
            for (std::size_t i = fds.size(); i-- > 2;) {
                if (fds[i].revents != 0 && !serve_client(clients_[i - 2])) {
                    drop_client(i - 2);
                }
            }
        }
    }

private:
    void accept_client() {
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        const int fd =
            ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (clients_.size() >= kMaxClients) {
            ::close(fd);
            return;
        }
        // A workstation that stops reading must not stall the station.
        const timeval limit{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        char text[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
        Client client;
        client.fd = fd;
        client.peer = std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
        clients_.push_back(std::move(client));
        say("value connection from " + clients_.back().peer);
    }

    // Answers every whole 5-byte request; false when the connection is over.
    bool serve_client(Client& c) {
        char buffer[512];
        const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            return false;
        }
        if (got < 0) {
            return true;
        }
        c.pending.append(buffer, static_cast<std::size_t>(got));
        while (c.pending.size() >= 5) {
            c.pending.erase(0, 5);
            ++c.requests;
            const ssize_t sent = ::send(c.fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            if (sent != static_cast<ssize_t>(reply_.size())) {
                return false;
            }
        }
        return true;
    }

    void drop_client(std::size_t i) {
        say("value client " + clients_[i].peer + " left after " +
            std::to_string(clients_[i].requests) + " requests");
        ::close(clients_[i].fd);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    }

    link::MailslotServer* mailslot_;
    int listen_fd_;
    std::string reply_;
    std::vector<Client> clients_;
};

}  // namespace

int run_station(int argc, char** argv) {
    if (argc == 1 && std::string_view(argv[0]) == "--help") {
        usage(stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    Options o;
    if (!parse_options(argc, argv, o)) {
        usage(stderr);
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = on_station_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::optional<link::MailslotServer> mailslot;
    int listen_fd = -1;
    if (!o.send_only) {
        mailslot.emplace(link::kStationMailslot, kMaxResultsMessage);
        const auto path = link::mailslot_path(link::kStationMailslot);
        const std::string where = path ? path->string() : std::string("?");
        if (!mailslot->is_valid()) {
            say("cannot own the results mailslot " + where + " (is another station running?)");
            return 2;
        }
        say("receiving results at " + where);
        if (o.tcp) {
            std::uint16_t bound = 0;
            listen_fd = listen_tcp(o.tcp_bind, o.tcp_port, bound);
            if (listen_fd < 0) {
                say("cannot serve values on " + o.tcp_bind + ":" + std::to_string(o.tcp_port));
                return 2;
            }
            say("serving values on " + o.tcp_bind + ":" + std::to_string(bound));
        }
    }

    bool all_sent = true;
    for (const auto& message : o.messages) {
        all_sent = send_message(message, o.wait_seconds) && all_sent;
    }
    if (!o.send_only) {
        Station station(o.values, &*mailslot, listen_fd);
        station.serve(o.timeout_seconds ? after(*o.timeout_seconds) : Clock::time_point::max());
    }
    if (listen_fd >= 0) {
        ::close(listen_fd);
    }
    return all_sent ? 0 : 1;
}

}  // namespace vetra::sim
