#include "chromatograph_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/wire_protocol.h"

namespace vetra::sim {
namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) {
    g_stop = 1;
}

struct Peak {
    std::string name;
    double centre = 0, height = 0, sigma = 1;
};

struct Options {
    int model = 0;
    double rate = 8, speed = 1;
    std::vector<Peak> peaks;
    std::string truth;
    double silent_after = -1, garbage = 0, totalizer_seconds = 5;
    bool answer_second_only = false, no_answer = false, no_closing = false;
    unsigned seed = 1;
};

using Clock = std::chrono::steady_clock;

class Device {
public:
    Device(int fd, const Options& o) : fd_(fd), o_(o), rng_(o.seed) {}

    // Collects one burst: bytes until ~30 ms of quiet. Empty when nothing came.
    std::vector<std::uint8_t> read_burst(int first_wait_ms) {
        std::vector<std::uint8_t> bytes;
        int wait = first_wait_ms;
        while (!g_stop) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, wait) <= 0)
                break;
            std::uint8_t buf[256];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buf, buf + n);
            wait = 30;
        }
        return bytes;
    }

    void serve() {
        bool pending_totalizer = false;
        while (!g_stop) {
            auto burst = pending_totalizer ? std::vector<std::uint8_t>{} : read_burst(200);
            if (pending_totalizer) {
                pending_totalizer = false;
                burst = run_totalizer();
                if (burst.empty())
                    continue;
            }
            if (burst.empty())
                continue;
            handle(burst, pending_totalizer);
        }
    }

private:
    void handle(const std::vector<std::uint8_t>& burst, bool& totalizer) {
        if (burst.size() != 9) {
            std::fprintf(stderr, "vetra-sim: ignored %zu bytes\n", burst.size());
            return;
        }
        if (link::frame_checksum(burst.data(), 8) != burst[8]) {
            std::fputs("vetra-sim: bad checksum\n", stderr);
            return;
        }
        auto cmd = link::totalizer_stream_command();
        if (std::equal(cmd.begin(), cmd.end(), burst.begin())) {
            totalizer = true;
            return;
        }
        ++program_frames_;
        if (o_.no_answer)
            return;
        if (o_.answer_second_only && program_frames_ % 2 == 1)
            return;
        write_all("OK", 2);
        double duration = o_.model == 0 ? burst[6] : burst[4];
        run_cycle(duration);
    }

    void write_all(const void* data, std::size_t n) {
        auto p = static_cast<const std::uint8_t*>(data);
        while (n > 0 && !g_stop) {
            ssize_t w = ::write(fd_, p, n);
            if (w < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                return;
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
    }

    double signal_mv(double t) {
        std::normal_distribution<double> noise(0.0, 0.02);
        double v = 2.0 + noise(rng_);
        for (const auto& pk : o_.peaks) {
            double z = (t - pk.centre) / pk.sigma;
            v += pk.height * std::exp(-0.5 * z * z);
        }
        return v;
    }

    void push_frame(std::vector<std::uint8_t>& out, long tick, std::uint8_t b, int code) {
        auto c = static_cast<std::uint8_t>((code >> 7) & 0x7F);
        auto d = static_cast<std::uint8_t>(code & 0x7F);
        if (o_.model == 0) {
            c = link::reverse7(c);
            d = link::reverse7(d);
        }
        if (o_.garbage > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < o_.garbage) {
            out.push_back(static_cast<std::uint8_t>(rng_() & 0x7F));
        }
        out.push_back(static_cast<std::uint8_t>(0x80 | (tick & 0x7F)));
        out.push_back(b);
        out.push_back(c);
        out.push_back(d);
    }

    // Streams frames paced to signal time / speed; stops early when `stop_on_input` and a
    // burst arrives, which it returns.
    template <class Make>
    std::vector<std::uint8_t> stream(double seconds, double frames_per_second, bool stop_on_input,
                                     double silent_after, Make make) {
        auto total = static_cast<long>(seconds * frames_per_second);
        auto start = Clock::now();
        long i = 0;
        std::vector<std::uint8_t> out;
        while (i < total && !g_stop) {
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count() * o_.speed;
            auto due = std::min(total, static_cast<long>(elapsed * frames_per_second) + 1);
            out.clear();
            for (; i < due; ++i) {
                double t = static_cast<double>(i) / frames_per_second;
                if (silent_after >= 0 && t >= silent_after)
                    return {};
                make(out, i, t);
            }
            write_all(out.data(), out.size());
            if (stop_on_input) {
                pollfd p{fd_, POLLIN, 0};
                if (poll(&p, 1, 0) > 0)
                    return read_burst(0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        return {};
    }

    void run_cycle(double duration) {
        const double full = 16384.0 * 1000.0;  // 2^14 * 10^(4-1)
        double silent = cycles_ == 0 ? o_.silent_after : -1;
        ++cycles_;
        double tps = 50.0 * o_.rate;

        stream(duration, tps, false, silent, [&](std::vector<std::uint8_t>& out, long i, double t) {
            double code = signal_mv(t) * full / 2500.0;
            int r = 0;
            while (r < 3 && std::abs(std::lround(code / std::pow(10.0, r))) > 8191)
                ++r;
            long v = std::lround(code / std::pow(10.0, r));
            v = std::clamp(v, -8192L, 8191L);
            push_frame(out, i, static_cast<std::uint8_t>(r), static_cast<int>(v) & 0x3FFF);
        });
        const bool silenced = silent >= 0 && silent < duration;
        if (!silenced && !o_.no_closing && !g_stop)
            write_all("\xFF\xFF\xFF\xFF", 4);
    }

    std::vector<std::uint8_t> run_totalizer() {
        auto burst =
            stream(o_.totalizer_seconds, 20.0, true, -1,
                   [&](std::vector<std::uint8_t>& out, long i, double) {
                       int ch = static_cast<int>(i % 2);
                       push_frame(out, i, static_cast<std::uint8_t>(0x04 | ch), ch == 0 ? 819 : 80);
                   });
        if (burst.empty() && !g_stop)
            write_all("\xFF\xFF\xFF\xFF", 4);
        return burst;
    }

    int fd_;
    const Options& o_;
    std::mt19937 rng_;
    long program_frames_ = 0;
    long cycles_ = 0;
};

std::vector<Peak> default_peaks() {
    struct W {
        const char* name;
        double start, end;
    };
    const W windows[] = {{"метан", 10, 15}, {"этан", 17, 20},   {"пропан", 34, 40},
                         {"бутан", 48, 54}, {"пентан", 60, 65}, {"гексан", 70, 75}};
    std::vector<Peak> peaks;
    int index = 0;
    for (const auto& w : windows) {
        peaks.push_back(
            {w.name, (w.start + w.end) / 2, 100.0 * (1 + index) / 2, (w.end - w.start) / 8});
        ++index;
    }
    return peaks;
}

bool parse_peaks(const std::string& text, std::vector<Peak>& peaks) {
    peaks.clear();
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find(',', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(pos, end - pos);
        auto c1 = item.find(':');
        if (c1 == std::string::npos)
            return false;
        Peak p;
        p.name = item.substr(0, c1);
        if (std::sscanf(item.c_str() + c1 + 1, "%lf:%lf:%lf", &p.centre, &p.height, &p.sigma) !=
                3 ||
            p.sigma <= 0)
            return false;
        peaks.push_back(p);
        pos = end + 1;
    }
    return !peaks.empty();
}

}  // namespace

int run_chromatograph(int argc, char** argv) {
    Options o;
    o.peaks = default_peaks();
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        bool has = i + 1 < argc;
        if (a == "--answer-second-only")
            o.answer_second_only = true;
        else if (a == "--no-answer")
            o.no_answer = true;
        else if (a == "--no-closing-frame")
            o.no_closing = true;
        else if (has && a == "--model")
            o.model = std::atoi(argv[++i]) == 1 ? 1 : 0;
        else if (has && a == "--rate")
            o.rate = std::atof(argv[++i]);
        else if (has && a == "--speed")
            o.speed = std::atof(argv[++i]);
        else if (has && a == "--truth")
            o.truth = argv[++i];
        else if (has && a == "--silent-after")
            o.silent_after = std::atof(argv[++i]);
        else if (has && a == "--garbage")
            o.garbage = std::atof(argv[++i]);
        else if (has && a == "--totalizer-seconds")
            o.totalizer_seconds = std::atof(argv[++i]);
        else if (has && a == "--seed")
            o.seed = static_cast<unsigned>(std::atol(argv[++i]));
        else if (has && a == "--peaks") {
            if (!parse_peaks(argv[++i], o.peaks)) {
                std::fputs("vetra-sim: bad --peaks\n", stderr);
                return 2;
            }
        } else {
            std::fprintf(stderr, "vetra-sim: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (o.rate <= 0 || o.speed <= 0) {
        std::fputs("vetra-sim: --rate and --speed must be positive\n", stderr);
        return 2;
    }
    if (!o.truth.empty()) {
        std::ofstream out(o.truth);
        for (const auto& p : o.peaks) {
            char line[128];
            std::snprintf(line, sizeof line, "%.10g",
                          p.height * p.sigma * std::sqrt(2 * std::numbers::pi));
            out << p.name << '=' << line << '\n';
        }
    }
    int master = -1, slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::perror("vetra-sim: openpty");
        return 1;
    }
    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("%s\n", name);
    std::fflush(stdout);
    // The kept slave descriptor spares the master a hang-up while the port is reopened.
    Device device(master, o);
    device.serve();
    ::close(master);
    ::close(slave);
    return 0;
}

}  // namespace vetra::sim
