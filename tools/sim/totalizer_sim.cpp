// vetra-sim totalizer: the separate gas totalizer of model 0 on its own line.
#include "totalizer_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "library/number_text.h"
#include "pty_line.h"
#include "total_gas.h"

namespace vetra::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
    TotalGasCurve total_gas = TotalGasCurve::constant(0.1);
    double interval_ms = 250;
    double coeff = 0.1;
    double speed = 1;
    std::optional<int> tcp_port;
    std::string tcp_bind = "127.0.0.1";
    double bad_sum = 0;
    double garbage = 0;
    std::optional<double> silent_after;
    std::uint32_t seed = 1;
    bool verbose = false;
};

void say(const std::string& text) {
    std::fprintf(stderr, "vetra-sim totalizer: %s\n", text.c_str());
    std::fflush(stderr);
}

void usage() {
    std::fputs(
        "usage: vetra-sim totalizer [options]\n"
        "  Plays the separate gas totalizer: \"MMV\" packets on a pseudo-terminal (its path\n"
        "  is printed) or, with --tcp-port, on a TCP port (\"host:port\" is printed).\n"
        "  --total-gas SPEC   percent over time: const:V, ramp:FROM:TO:SECONDS,\n"
        "                     sine:MEAN:AMPLITUDE:PERIOD or a file of \"seconds percent\"\n"
        "                     lines; const:0.1\n"
        "  --interval MS      between packets, 250\n"
        "  --coeff C          the program's \"coeff\" the readings are made for, 0.1\n"
        "  --speed X          run the script X times faster, 1\n"
        "  --tcp-port N       serve TCP on N (0: any free port) instead of a pseudo-terminal\n"
        "  --tcp-bind ADDR    127.0.0.1\n"
        "  --seed N           fault seed, 1\n"
        "  --verbose          report every packet\n"
        "faults:\n"
        "  --bad-sum P        a packet's check sum is wrong with probability P\n"
        "  --garbage P        junk bytes before a packet with probability P\n"
        "  --silent-after S   send nothing after S seconds\n",
        stderr);
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (i + 1 >= argc) {
            say("unknown option or missing value: " + std::string(a));
            return false;
        }
        const char* value = argv[++i];
        const auto v = library::parse_number(value);
        const bool finite = v && std::isfinite(*v);
        bool ok = true;
        if (a == "--total-gas") {
            const auto curve = TotalGasCurve::parse(value);
            ok = curve.has_value();
            o.total_gas = curve.value_or(o.total_gas);
        } else if (a == "--interval") {
            ok = finite && *v >= 1 && *v <= 60000;
            o.interval_ms = v.value_or(0);
        } else if (a == "--coeff") {
            ok = finite && *v > 0;
            o.coeff = v.value_or(0);
        } else if (a == "--speed") {
            ok = finite && *v > 0 && *v <= 1000;
            o.speed = v.value_or(0);
        } else if (a == "--tcp-port") {
            ok = finite && *v >= 0 && *v <= 65535 && *v == std::trunc(*v);
            o.tcp_port = static_cast<int>(v.value_or(0));
        } else if (a == "--tcp-bind") {
            o.tcp_bind = value;
        } else if (a == "--bad-sum" || a == "--garbage") {
            ok = finite && *v >= 0 && *v <= 1;
            (a == "--bad-sum" ? o.bad_sum : o.garbage) = v.value_or(0);
        } else if (a == "--silent-after") {
            ok = finite && *v >= 0;
            o.silent_after = v;
        } else if (a == "--seed") {
            ok = finite && *v >= 0 && *v == std::trunc(*v);
            o.seed = static_cast<std::uint32_t>(v.value_or(0));
        } else {
            say("unknown option: " + std::string(a));
            return false;
        }
        if (!ok) {
            say("bad value for " + std::string(a) + ": " + value);
            return false;
        }
    }
    return true;
}

// Makes the byte stream: packets at the interval, with the faults asked for.
class Instrument {
public:
    explicit Instrument(const Options& o) : o_(o), random_(o.seed) {}

    // The bytes due now (empty when it is not time yet or the line is silent).
    std::string next() {
        const double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
        if (o_.silent_after && elapsed >= *o_.silent_after) {
            if (!silence_reported_) {
                say("silent from now on");
                silence_reported_ = true;
            }
            return {};
        }
        if (Clock::now() < due_) {
            return {};
        }
        due_ += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(o_.interval_ms));
        std::string out;
        if (o_.garbage > 0 && std::bernoulli_distribution(o_.garbage)(random_)) {
            const int n = std::uniform_int_distribution<int>(1, 12)(random_);
            for (int i = 0; i < n; ++i) {
                out.push_back(
                    static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random_)));
            }
        }
        const bool bad = o_.bad_sum > 0 && std::bernoulli_distribution(o_.bad_sum)(random_);
        const double percent = o_.total_gas.at(elapsed * o_.speed);
        const auto p = totalizer_packet(percent, counter_++, o_.coeff, bad);
        out.append(p.begin(), p.end());
        if (o_.verbose) {
            char text[96];
            std::snprintf(text, sizeof text, "packet %u: %.4f %%%s",
                          static_cast<unsigned>(counter_ - 1), percent,
                          bad ? " (bad check sum)" : "");
            say(text);
        }
        return out;
    }

private:
    const Options& o_;
    std::mt19937 random_;
    Clock::time_point started_ = Clock::now();
    Clock::time_point due_ = Clock::now();
    std::uint8_t counter_ = 0;
    bool silence_reported_ = false;
};

[[noreturn]] void serve_pty(PtyLine& line, Instrument& instrument) {
    for (;;) {
        const std::string bytes = instrument.next();
        // A packet sent while the program has the port closed is lost, as on a real line.
        if (!bytes.empty() && line.program_attached()) {
            (void)line.write(bytes);
        }
        std::uint8_t ignored[64];
        (void)line.read(ignored, sizeof ignored, 5);  // the program sends nothing; drain it
    }
}

int listen_on(const Options& o, int& bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(*o.tcp_port));
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd < 0 || ::inet_pton(AF_INET, o.tcp_bind.c_str(), &addr.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    bound = ntohs(addr.sin_port);
    return fd;
}

// One program at a time; when it goes, the next one that connects gets the stream.
[[noreturn]] void serve_tcp(int listen_fd, Instrument& instrument) {
    int client = -1;
    for (;;) {
        if (client < 0) {
            client = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                say("a program connected");
            }
            continue;
        }
        const std::string bytes = instrument.next();
        if (!bytes.empty() && ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
            say("the program went away");
            ::close(client);
            client = -1;
            continue;
        }
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0) {
            char drain[64];
            if (::recv(client, drain, sizeof drain, 0) <= 0) {
                say("the program went away");
                ::close(client);
                client = -1;
            }
        }
    }
}

}  // namespace

int run_totalizer(int argc, char** argv) {
    if (argc >= 1 && (std::string_view(argv[0]) == "--help" || std::string_view(argv[0]) == "-h")) {
        usage();
        return 0;
    }
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    Instrument instrument(o);
    if (o.tcp_port) {
        int bound = 0;
        const int fd = listen_on(o, bound);
        if (fd < 0) {
            say("cannot listen on " + o.tcp_bind + ":" + std::to_string(*o.tcp_port) + ": " +
                std::strerror(errno));
            return 2;
        }
        std::printf("%s:%d\n", o.tcp_bind.c_str(), bound);
        std::fflush(stdout);
        serve_tcp(fd, instrument);
    }
    PtyLine line;
    if (!line.open()) {
        say(std::string("no pseudo-terminal: ") + std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", line.slave_path().c_str());
    std::fflush(stdout);
    serve_pty(line, instrument);
}

}  // namespace vetra::sim
