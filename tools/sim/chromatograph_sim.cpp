// vetra-sim chromatograph: the instrument's side of the serial line on a pseudo-terminal.
#include "chromatograph_sim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "chromatograph_signal.h"
#include "library/number_text.h"
#include "link/wire_protocol.h"
#include "pty_line.h"
#include "total_gas.h"

namespace vetra::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The program writes a command in one go; bytes after a longer pause start a new one.
constexpr auto kCommandGap = 100ms;
constexpr int kTicksPerPoint = 50;
// Without a script the built-in totalizer reads 0.1 % on both ranges.
constexpr double kDefaultTotalGas = 0.1;

void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "vetra-sim: %s\n", text);
}

struct Options {
    int model = 0;
    int rate = 8;
    double speed = 1;
    std::vector<Peak> peaks = default_peaks();
    double baseline = 2.0;
    double noise = 0.02;
    AdcScale adc;
    std::uint32_t seed = 1;
    std::string truth;
    std::string mixture_file;
    Mixture response = default_response();
    std::optional<double> silent_after;
    double garbage = 0;
    double totalizer_seconds = 10;
    TotalGasCurve total_gas = TotalGasCurve::constant(kDefaultTotalGas);
    bool answer_second_only = false;
    bool no_answer = false;
    bool no_closing_frame = false;
};

void usage() {
    std::fputs(
        "usage: vetra-sim chromatograph [options]\n"
        "  Opens a pseudo-terminal, prints the path of its slave side and plays the\n"
        "  chromatograph on it until killed.\n"
        "  --model 0|1            0: bit-reversed halves, cycle length in byte 6;\n"
        "                         1: plain halves, cycle length in byte 4, built-in totalizer\n"
        "  --rate R               points per second the program expects (ticks: 50 x R/s), 8\n"
        "  --speed X              run the signal X times faster than real time, 1\n"
        "  --peaks LIST           name:centre:height:width,... (s, mV above the baseline,\n"
        "                         s standard deviation); default: one per default gas\n"
        "  --baseline MV          2       --noise MV   white noise per tick, 0.02\n"
        "  --adc N:K:G:U          ADC bits, range factor, ranges, volts; 14:10:4:2.5\n"
        "  --seed N               noise and garbage seed, 1\n"
        "  --truth FILE           write name=area (mV x s above the baseline) per peak\n"
        "                         (with a mixture file: anew for every cycle)\n"
        "  --mixture-file FILE    a calibration gas: name=percent lines, read again at every\n"
        "                         program frame; peak areas = percent x response\n"
        "  --response LIST        name=area,... peak area (mV x s) per percent of each gas;\n"
        "                         default метан=100,этан=90,...,гексан=50\n"
        "  --totalizer-seconds S  length of one totalizer stream between cycles, 10\n"
        "  --total-gas SPEC       model 1: the total gas (%) its totalizer reads over time on\n"
        "                         both ranges (1 % and 10 % full scale): const:V,\n"
        "                         ramp:FROM:TO:SECONDS, sine:MEAN:AMPLITUDE:PERIOD, or a file\n"
        "                         of \"seconds percent\" lines; const:0.1\n"
        "faults:\n"
        "  --silent-after S       the first cycle stops sending after S s of signal\n"
        "  --garbage P            a junk byte (bit 7 clear) before a frame with probability P\n"
        "  --answer-second-only   answer only every second program frame\n"
        "  --no-answer            never answer\n"
        "  --no-closing-frame     end cycles without the closing frame\n",
        stderr);
}

std::optional<double> number(const char* text) {
    const auto v = library::parse_number(text);
    return v && std::isfinite(*v) ? v : std::nullopt;
}

// Returns false (after saying why) on a bad command line.
bool parse_options(int argc, char** argv, Options& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--answer-second-only") {
            o.answer_second_only = true;
            continue;
        }
        if (a == "--no-answer") {
            o.no_answer = true;
            continue;
        }
        if (a == "--no-closing-frame") {
            o.no_closing_frame = true;
            continue;
        }
        if (i + 1 >= argc) {
            log("unknown option or missing value: %s", argv[i]);
            return false;
        }
        const char* value = argv[++i];
        const auto v = number(value);
        bool ok = true;
        if (a == "--model") {
            ok = v && (*v == 0 || *v == 1);
            o.model = ok ? static_cast<int>(*v) : 0;
        } else if (a == "--rate") {
            ok = v && *v >= 1 && *v <= 1000 && *v == std::trunc(*v);
            o.rate = ok ? static_cast<int>(*v) : 0;
        } else if (a == "--speed") {
            ok = v && *v > 0 && *v <= 1000;
            o.speed = ok ? *v : 0;
        } else if (a == "--baseline") {
            ok = v.has_value();
            o.baseline = v.value_or(0);
        } else if (a == "--noise") {
            ok = v && *v >= 0;
            o.noise = v.value_or(0);
        } else if (a == "--seed") {
            ok = v && *v >= 0 && *v == std::trunc(*v);
            o.seed = ok ? static_cast<std::uint32_t>(*v) : 0;
        } else if (a == "--silent-after") {
            ok = v && *v >= 0;
            o.silent_after = v;
        } else if (a == "--garbage") {
            ok = v && *v >= 0 && *v <= 1;
            o.garbage = v.value_or(0);
        } else if (a == "--totalizer-seconds") {
            ok = v && *v > 0;
            o.totalizer_seconds = v.value_or(0);
        } else if (a == "--total-gas") {
            const auto curve = TotalGasCurve::parse(value);
            ok = curve.has_value();
            o.total_gas = curve.value_or(TotalGasCurve::constant(0));
        } else if (a == "--truth") {
            o.truth = value;
        } else if (a == "--mixture-file") {
            o.mixture_file = value;
        } else if (a == "--response") {
            const auto response = parse_response(value);
            ok = response.has_value();
            o.response = response.value_or(Mixture{});
        } else if (a == "--peaks") {
            const auto peaks = parse_peaks(value);
            ok = peaks.has_value();
            o.peaks = peaks.value_or(std::vector<Peak>{});
        } else if (a == "--adc") {
            const auto adc = parse_adc(value);
            ok = adc.has_value();
            o.adc = adc.value_or(AdcScale{});
        } else {
            log("unknown option: %s", argv[i - 1]);
            return false;
        }
        if (!ok) {
            log("bad value for %s: %s", argv[i - 1], value);
            return false;
        }
    }
    return true;
}

class Chromatograph {
public:
    Chromatograph(PtyLine& line, const Options& o)
        : line_(line),
          o_(o),
          // Until the first program frame reads the mixture file, no gas is fed.
          signal_(o.baseline, o.noise,
                  o.mixture_file.empty() ? o.peaks : mixture_peaks(o.peaks, {}, o.response),
                  o.seed),
          junk_random_(o.seed ^ 0x5EEDu) {}

    [[noreturn]] void serve() {
        for (;;) {
            receive(200);
            while (auto command = next_command()) {
                handle(*command);
            }
        }
    }

private:
    enum class StreamEnd { done, silenced, detached, stalled, interrupted };

    // Collects the program's bytes into 9-byte commands.
    void receive(int timeout_ms) {
        std::uint8_t buffer[256];
        std::size_t got;
        while ((got = line_.read(buffer, sizeof buffer, timeout_ms)) > 0) {
            const auto now = Clock::now();
            if (!input_.empty() && now - last_input_ > kCommandGap) {
                log("dropped %zu stray bytes", input_.size());
                input_.clear();
            }
            last_input_ = now;
            input_.insert(input_.end(), buffer, buffer + got);
            timeout_ms = 0;
        }
    }

    std::optional<link::ProgramFrame> next_command() {
        if (input_.size() < 9) {
            return std::nullopt;
        }
        link::ProgramFrame command{};
        std::copy_n(input_.begin(), 9, command.begin());
        input_.erase(input_.begin(), input_.begin() + 9);
        return command;
    }

    void handle(const link::ProgramFrame& command) {
        if (link::frame_checksum(command.data(), 8) != command[8]) {
            log("bad checksum in %02X %02X %02X %02X %02X %02X %02X %02X %02X: ignored", command[0],
                command[1], command[2], command[3], command[4], command[5], command[6], command[7],
                command[8]);
            return;
        }
        if (command == link::totalizer_stream_command()) {
            handle_totalizer_command();
            return;
        }
        ++program_frames_;
        log("program frame %ld: %d %d %d %d %d %d %d %d", program_frames_, command[0], command[1],
            command[2], command[3], command[4], command[5], command[6], command[7]);
        if (o_.no_answer || (o_.answer_second_only && program_frames_ % 2 == 1)) {
            log("not answered");
            return;
        }
        // Whatever a previous reader left behind must not reach this one.
        line_.drop_unread();
        if (line_.write("OK") != PtyLine::Write::done) {
            log("the program does not read: no cycle");
            return;
        }
        if (!o_.mixture_file.empty()) {
            feed_mixture();
        }
        run_cycle(o_.model == 0 ? command[6] : command[4]);
    }

    // The operator may change the gas fed between cycles, so the file is read at every
    // program frame; an unreadable one keeps the mixture of the previous cycle.
    void feed_mixture() {
        std::ifstream in(o_.mixture_file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        const std::optional<Mixture> mixture =
            in.is_open() ? parse_mixture(text.str()) : std::nullopt;
        if (!mixture) {
            log("mixture file %s unreadable: the previous mixture stays", o_.mixture_file.c_str());
            return;
        }
        const auto peaks = mixture_peaks(o_.peaks, *mixture, o_.response);
        signal_.set_peaks(peaks);
        std::string fed;
        for (const auto& [name, percent] : *mixture) {
            fed += " " + name + "=" + std::to_string(percent);
        }
        log("mixture:%s", fed.c_str());
        if (!o_.truth.empty()) {
            std::ofstream out(o_.truth, std::ios::binary | std::ios::trunc);
            out << truth_text(peaks);
        }
    }

    void handle_totalizer_command() {
        if (o_.model != 1 || o_.no_answer) {
            log("totalizer command ignored");
            return;
        }
        log("totalizer stream for %g s", o_.totalizer_seconds);
        const long readings = std::lround(o_.totalizer_seconds * o_.rate);
        // The script runs on the simulator's own time, scaled by --speed, across streams.
        const StreamEnd end =
            stream(2 * readings, 2.0 * o_.rate, -1, [this](std::vector<std::uint8_t>& out, long i) {
                const int channel = static_cast<int>(i % 2);
                const double t =
                    std::chrono::duration<double>(Clock::now() - started_).count() * o_.speed;
                const auto [low, high] = builtin_codes(o_.total_gas.at(t));
                const Frame f = totalizer_frame(static_cast<std::uint8_t>(i & 0x7F), channel,
                                                channel == 0 ? low : high);
                out.insert(out.end(), f.begin(), f.end());
            });
        if (end == StreamEnd::done) {
            (void)line_.write(kClosingFrame.data(), kClosingFrame.size());
        } else if (end == StreamEnd::interrupted) {
            log("totalizer stream ended by a command");
        } else {
            log("totalizer stream abandoned: the program is gone");
            line_.drop_unread();
        }
    }

    void run_cycle(int seconds) {
        ++cycles_;
        const long ticks_per_second = static_cast<long>(kTicksPerPoint) * o_.rate;
        // Tick 0 is the origin of the program's time axis, so every point of the cycle
        // comes complete: seconds x R points.
        const long frames = seconds * ticks_per_second + 1;
        long silent_from = -1;
        if (cycles_ == 1 && o_.silent_after) {
            silent_from = std::lround(*o_.silent_after * static_cast<double>(ticks_per_second));
        }
        log("cycle %ld: %d s, %ld frames", cycles_, seconds, frames);
        const auto started = Clock::now();
        const double fps = static_cast<double>(ticks_per_second);
        const StreamEnd end =
            stream(frames, fps, silent_from, [&](std::vector<std::uint8_t>& out, long i) {
                const double t = static_cast<double>(i) / fps;
                const Frame f = sample_frame(o_.model, static_cast<std::uint8_t>(i & 0x7F),
                                             to_adc(signal_.sample(t), o_.adc), o_.adc.bits);
                out.insert(out.end(), f.begin(), f.end());
            });
        const double wall = std::chrono::duration<double>(Clock::now() - started).count();
        switch (end) {
            case StreamEnd::silenced:
                log("cycle %ld: silent after %ld frames", cycles_, silent_from);
                return;
            case StreamEnd::detached:
                log("cycle %ld: the program closed the port; cycle abandoned", cycles_);
                line_.drop_unread();
                return;
            case StreamEnd::stalled:
                log("cycle %ld: the program stopped reading; cycle abandoned", cycles_);
                line_.drop_unread();
                return;
            case StreamEnd::interrupted:
                // A program that sends a new frame has started over (restarted, say).
                log("cycle %ld: abandoned for a new command", cycles_);
                return;
            default:
                break;
        }
        log("cycle %ld: %ld frames in %.3f s (%.0f frames/s)", cycles_, frames, wall,
            wall > 0 ? static_cast<double>(frames) / wall : 0.0);
        if (o_.no_closing_frame) {
            log("cycle %ld: no closing frame", cycles_);
        } else {
            (void)line_.write(kClosingFrame.data(), kClosingFrame.size());
        }
    }

    // Sends `count` frames made by `make`, paced at `fps` frames per second of signal and
    // `o_.speed` seconds of signal per second, with junk between them on request. Stops
    // early at frame `silent_from` (unless negative) and when a whole command has come.
    template <class Make>
    StreamEnd stream(long count, double fps, long silent_from, Make make) {
        const auto started = Clock::now();
        const double pace = fps * o_.speed;  // frames per wall-clock second
        std::bernoulli_distribution junk(o_.garbage);
        std::uniform_int_distribution<int> junk_byte(0, 0x7F);
        std::vector<std::uint8_t> out;
        long i = 0;
        while (i < count) {
            const double wall = std::chrono::duration<double>(Clock::now() - started).count();
            long due = std::min(count, static_cast<long>(wall * pace) + 1);
            if (silent_from >= 0 && due >= silent_from) {
                due = silent_from;
            }
            out.clear();
            for (; i < due; ++i) {
                if (o_.garbage > 0 && junk(junk_random_)) {
                    out.push_back(static_cast<std::uint8_t>(junk_byte(junk_random_)));
                }
                make(out, i);
            }
            if (!line_.program_attached()) {
                return StreamEnd::detached;
            }
            if (!out.empty()) {
                switch (line_.write(out.data(), out.size())) {
                    case PtyLine::Write::done:
                        break;
                    case PtyLine::Write::detached:
                        return StreamEnd::detached;
                    default:
                        return StreamEnd::stalled;
                }
            }
            if (i == silent_from) {
                return StreamEnd::silenced;
            }
            receive(0);
            if (input_.size() >= 9) {
                return StreamEnd::interrupted;
            }
            // Wake for the next frame, but not more than once a millisecond, so that fast
            // runs go out in batches.
            const auto next = started + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(i / pace));
            const auto now = Clock::now();
            std::this_thread::sleep_until(std::clamp(next, now + 1ms, now + 5ms));
        }
        return StreamEnd::done;
    }

    PtyLine& line_;
    const Options& o_;
    SignalSource signal_;
    std::mt19937 junk_random_;
    std::vector<std::uint8_t> input_;
    Clock::time_point last_input_{};
    long program_frames_ = 0;
    long cycles_ = 0;
    Clock::time_point started_ = Clock::now();
};

}  // namespace

int run_chromatograph(int argc, char** argv) {
    Options o;
    if (argc >= 1 && (std::string_view(argv[0]) == "--help" || std::string_view(argv[0]) == "-h")) {
        usage();
        return 0;
    }
    if (!parse_options(argc, argv, o)) {
        usage();
        return 2;
    }
    if (!o.truth.empty()) {
        std::ofstream out(o.truth, std::ios::binary | std::ios::trunc);
        out << truth_text(o.peaks);
        if (!out.flush()) {
            log("cannot write %s", o.truth.c_str());
            return 1;
        }
    }
    PtyLine line;
    if (!line.open()) {
        log("no pseudo-terminal: %s", std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", line.slave_path().c_str());
    std::fflush(stdout);
    log("model %d, %d points/s, speed %g, %zu peaks on %s", o.model, o.rate, o.speed,
        o.peaks.size(), line.slave_path().c_str());
    Chromatograph device(line, o);
    device.serve();
}

}  // namespace vetra::sim
