#include "wits_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/datetime.h"
#include "library/number_text.h"
#include "link/wits0.h"

namespace vetra::sim {
namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void on_wits_signal(int) {
    g_stop = 1;
}

constexpr const char* kUsage =
    "usage: vetra-sim wits [--port N] [--bind ADDR] [--depth M] [--item 0110|0108]\n"
    "                      [--timeout S]\n";
constexpr const char* kHelp =
    "Listens on ADDR:N (default 127.0.0.1:5005; --port 0 takes any free port, printed on\n"
    "stderr) for WITS level 0 connections. Every item line a connection sends is printed on\n"
    "stdout as RRII=value, flushed at once. With --depth, every connection is sent a record 1\n"
    "packet with that depth under item 0110 (hole depth, default) or 0108 (bit depth) once a\n"
    "second. Runs until Ctrl+C, SIGTERM or --timeout S. Exit status 0; 2 for a bad option or\n"
    "a port that is taken.\n";

struct Options {
    int port = 5005;
    std::string bind = "127.0.0.1";
    std::optional<double> depth;
    int item = 110;
    std::optional<double> timeout;
};

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool has = i + 1 < argc;
        if (a == "--port" && has) {
            const auto v = library::parse_int(argv[++i]);
            if (!v || *v < 0 || *v > 65535) {
                return std::nullopt;
            }
            o.port = *v;
        } else if (a == "--bind" && has) {
            o.bind = argv[++i];
        } else if (a == "--depth" && has) {
            o.depth = library::parse_number(argv[++i]);
            if (!o.depth) {
                return std::nullopt;
            }
        } else if (a == "--item" && has) {
            const std::string_view v = argv[++i];
            if (v != "0110" && v != "0108") {
                return std::nullopt;
            }
            o.item = v == "0110" ? 110 : 108;
        } else if (a == "--timeout" && has) {
            o.timeout = library::parse_number(argv[++i]);
            if (!o.timeout) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    return o;
}

struct Client {
    int fd = -1;
    std::unique_ptr<link::WitsParser> parser;
};

std::string depth_packet(double depth, int item) {
    const auto now = library::local_time_of(std::chrono::system_clock::now());
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "%02d%02d%02d", now.year % 100, now.month, now.day);
    std::snprintf(time, sizeof time, "%02d%02d%02d", now.hour, now.minute, now.second);
    return link::wits_packet(
        {{1, 5, date}, {1, 6, time}, {1, item % 100, link::wits_number(depth, 2)}});
}

}  // namespace

int run_wits(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    const auto options = parse(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_wits_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options->port));
    if (::inet_pton(AF_INET, options->bind.c_str(), &address.sin_addr) != 1 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0) {
        std::fprintf(stderr, "vetra-sim wits: cannot listen on %s:%d\n", options->bind.c_str(),
                     options->port);
        return 2;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::fprintf(stderr, "vetra-sim wits: listening on %s:%d\n", options->bind.c_str(),
                 ntohs(address.sin_port));
    std::fflush(stderr);

    using Clock = std::chrono::steady_clock;
    const auto end = options->timeout
                         ? Clock::now() + std::chrono::milliseconds(
                                              static_cast<long long>(*options->timeout * 1000))
                         : Clock::time_point::max();
    auto next_depth = Clock::now();
    std::vector<Client> clients;
    while (!g_stop && Clock::now() < end) {
        if (options->depth && Clock::now() >= next_depth) {
            next_depth += std::chrono::seconds(1);
            const std::string packet = depth_packet(*options->depth, options->item);
            for (auto& c : clients) {
                (void)!::send(c.fd, packet.data(), packet.size(), MSG_NOSIGNAL);
            }
        }
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const auto& c : clients) {
            fds.push_back({c.fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd >= 0) {
                auto parser = std::make_unique<link::WitsParser>([](const link::WitsItem& i) {
                    std::printf("%02d%02d=%s\n", i.record, i.item, i.value.c_str());
                    std::fflush(stdout);
                });
                clients.push_back({fd, std::move(parser)});
                std::fprintf(stderr, "vetra-sim wits: a workstation connected\n");
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            char buffer[1024];
            const auto n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            auto& client = clients[i - 1];
            if (n <= 0) {
                ::close(client.fd);
                client.fd = -1;
            } else {
                client.parser->feed(std::string_view(buffer, static_cast<std::size_t>(n)));
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    }
    for (const auto& c : clients) {
        ::close(c.fd);
    }
    ::close(listener);
    return 0;
}

}  // namespace vetra::sim
