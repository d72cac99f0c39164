// vetra-sim rig: a drilling scenario on one clock: the rig's WITS feed on TCP and the
// chromatograph on its pseudo-terminal, fed the gas of the mud at the trap.
#include "rig_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/gaz_list.h"
#include "chromatograph_sim.h"
#include "library/datetime.h"
#include "library/number_text.h"
#include "link/wits0.h"
#include "rig_scenario.h"

namespace vetra::sim {
namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void on_rig_signal(int) {
    g_stop = 1;
}

constexpr const char* kUsage =
    "usage: vetra-sim rig --scenario FILE [--speed X] [--truth FILE] [--wits-port N]\n"
    "                     [--model 0|1] [--mixture FILE]\n"
    "Plays the scenario X times faster than real time (1). The chromatograph's pseudo-terminal\n"
    "path is printed on stdout; the rig's WITS record 1 (0105 date, 0106 time, 0108 bit depth,\n"
    "0110 hole depth, 0123 pump stroke rate, 0137 pump stroke count) goes once a second to every\n"
    "connection on 127.0.0.1:N (0: any free port; the port is printed on stderr). --truth\n"
    "writes \"top bottom class\" per show, connection and trip. The mixture file (default in\n"
    "the temporary folder) is what the chromatograph reads at each cycle's start.\n";

// The total gas of the mud as the gases of the default gas list.
std::string mixture_text(double total) {
    static const double kShares[] = {0.8, 0.12, 0.05};
    std::string out;
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t i = 0; i < gases.size(); ++i) {
        const double share =
            i < 3 ? kShares[i]
                  : 0.03 / static_cast<double>(std::max<std::size_t>(1, gases.size() - 3));
        out += gases[i].name + "=" + library::fixed_to_text(total * share, 5, '.') + "\n";
    }
    return out;
}

bool write_replacing(const std::filesystem::path& path, const std::string& text) {
    const auto temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    return !ec;
}

std::string rig_packet(const RigState& s) {
    const auto now = library::local_time_of(std::chrono::system_clock::now());
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "%02d%02d%02d", now.year % 100, now.month, now.day);
    std::snprintf(time, sizeof time, "%02d%02d%02d", now.hour, now.minute, now.second);
    return link::wits_packet({{1, 5, date},
                              {1, 6, time},
                              {1, 8, link::wits_number(s.bit, 2)},
                              {1, 10, link::wits_number(s.hole, 2)},
                              {1, 23, link::wits_number(s.stroke_rate, 1)},
                              {1, 37, link::wits_number(s.strokes, 0)}});
}

int listen_on(int port, int& actual) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    actual = ntohs(address.sin_port);
    return fd;
}

}  // namespace

int run_rig(int argc, char** argv) {
    std::string scenario_path;
    std::string truth_path;
    std::string mixture_path = (std::filesystem::temp_directory_path() /
                                ("vetra-rig-" + std::to_string(::getpid()) + ".mix"))
                                   .string();
    double speed = 1;
    int port = 5005;
    std::string model = "0";
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const char* v = argv[++i];
        if (a == "--scenario") {
            scenario_path = v;
        } else if (a == "--truth") {
            truth_path = v;
        } else if (a == "--mixture") {
            mixture_path = v;
        } else if (a == "--model" && (std::string_view(v) == "0" || std::string_view(v) == "1")) {
            model = v;
        } else if (a == "--speed" && library::parse_number(v) && *library::parse_number(v) > 0 &&
                   *library::parse_number(v) <= 1000) {
            speed = *library::parse_number(v);
        } else if (a == "--wits-port" && library::parse_int(v) && *library::parse_int(v) >= 0 &&
                   *library::parse_int(v) <= 65535) {
            port = *library::parse_int(v);
        } else {
            std::fprintf(stderr, "vetra-sim rig: bad option %s %s\n", argv[i - 1], v);
            return 2;
        }
    }
    std::ifstream in(scenario_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    const auto scenario = in.is_open() ? parse_scenario(text.str(), error) : std::nullopt;
    if (!scenario) {
        std::fprintf(stderr, "vetra-sim rig: scenario %s: %s\n", scenario_path.c_str(),
                     in.is_open() ? error.c_str() : "cannot be read");
        return 2;
    }
    RigModel rig(*scenario);
    if (!truth_path.empty() && !write_replacing(truth_path, rig.truth())) {
        std::fprintf(stderr, "vetra-sim rig: cannot write %s\n", truth_path.c_str());
        return 1;
    }
    double fed = rig.state().surface_gas;
    if (!write_replacing(mixture_path, mixture_text(fed))) {
        std::fprintf(stderr, "vetra-sim rig: cannot write %s\n", mixture_path.c_str());
        return 1;
    }
    int actual = 0;
    const int listener = listen_on(port, actual);
    if (listener < 0) {
        std::fprintf(stderr, "vetra-sim rig: cannot listen on 127.0.0.1:%d\n", port);
        return 2;
    }
    std::fprintf(stderr, "vetra-sim rig: WITS on 127.0.0.1:%d\n", actual);
    std::fflush(stderr);
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_rig_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    // The chromatograph serves on its own thread with the same speed; it prints its path.
    const std::string speed_text = library::fixed_to_text(speed, 3, '.');
    std::vector<std::string> args{"--mixture-file", mixture_path, "--speed",
                                  speed_text,       "--model",    model};
    std::vector<char*> chromatograph_argv;
    for (auto& s : args) {
        chromatograph_argv.push_back(s.data());
    }
    std::thread([&chromatograph_argv] {
        std::_Exit(run_chromatograph(static_cast<int>(chromatograph_argv.size()),
                                     chromatograph_argv.data()));
    }).detach();

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto next_packet = started;
    std::vector<int> clients;
    bool told_done = false;
    while (!g_stop) {
        // Scenario seconds due by now.
        const double due = std::chrono::duration<double>(Clock::now() - started).count() * speed;
        while (rig.state().seconds + 1 <= due) {
            rig.step();
        }
        if (std::fabs(rig.state().surface_gas - fed) > 1e-9) {
            fed = rig.state().surface_gas;
            (void)write_replacing(mixture_path, mixture_text(fed));
        }
        if (rig.state().done && !told_done) {
            told_done = true;
            std::fprintf(stderr, "vetra-sim rig: drilled to %.2f m, its gas is up\n",
                         rig.state().hole);
            std::fflush(stderr);
        }
        if (Clock::now() >= next_packet) {
            next_packet += std::chrono::seconds(1);
            const std::string packet = rig_packet(rig.state());
            for (int& fd : clients) {
                if (::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL) < 0) {
                    ::close(fd);
                    fd = -1;
                }
            }
            std::erase(clients, -1);
        }
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd >= 0) {
                clients.push_back(fd);
            }
        }
    }
    for (const int fd : clients) {
        ::close(fd);
    }
    ::close(listener);
    std::error_code ec;
    std::filesystem::remove(mixture_path, ec);
    std::_Exit(0);
}

}  // namespace vetra::sim
