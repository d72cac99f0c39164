#include "control/chromatograph_link.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/mess_caller.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "link/wire_protocol.h"
#include "settings/global_settings.h"
#include "support/pty_pair.h"
#include "support/recording_operator.h"

namespace vetra::control {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

double seconds_since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto deadline = SteadyClock::now() + limit;
    while (!ready() && SteadyClock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    return ready();
}

std::string bytes_of(const link::ProgramFrame& frame) {
    return std::string(frame.begin(), frame.end());
}

// A model 1 data frame: plain halves of a 14-bit two's complement code.
std::string velon_frame(int tick, int code, int range, bool totalizer = false) {
    const int raw = code & 0x3FFF;
    std::string f(4, '\0');
    f[0] = static_cast<char>(0x80 | (tick & 0x7F));
    f[1] = static_cast<char>((range & 3) | (totalizer ? 4 : 0));
    f[2] = static_cast<char>((raw >> 7) & 0x7F);
    f[3] = static_cast<char>(raw & 0x7F);
    return f;
}

// Frames with ticks first..last (wrapping on the wire), one code for all.
std::string velon_frames(int first, int last, int code, int range) {
    std::string out;
    for (int t = first; t <= last; ++t) {
        out += velon_frame(t % 128, code, range);
    }
    return out;
}

const std::string kClosingFrame(4, '\xFF');

// Plays the chromatograph on the master side of a pseudo-terminal, on a thread of its own,
// so that the link's blocking start can be answered.
class ScriptedDevice {
public:
    explicit ScriptedDevice(test::PtyPair& pty) : pty_(pty) {}

    class Io {
    public:
        Io(ScriptedDevice& device, std::stop_token stop) : device_(device), stop_(stop) {}
        // Up to n bytes that the program sent, also kept for the test to inspect.
        std::string receive(std::size_t n, std::chrono::milliseconds deadline = 6s) {
            std::string got = device_.pty_.read(n, deadline);
            device_.received_ += got;
            return got;
        }
        // False once the test is ending: a reader that stopped must not block the device.
        bool send(std::string_view bytes) {
            while (!bytes.empty()) {
                if (stop_.stop_requested()) {
                    return false;
                }
                const ssize_t put = ::write(device_.pty_.master_fd(), bytes.data(), bytes.size());
                if (put > 0) {
                    bytes.remove_prefix(static_cast<std::size_t>(put));
                } else if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
                    pollfd entry{device_.pty_.master_fd(), POLLOUT, 0};
                    ::poll(&entry, 1, 20);
                } else {
                    return false;
                }
            }
            return true;
        }
        bool stopping() const { return stop_.stop_requested(); }

    private:
        ScriptedDevice& device_;
        std::stop_token stop_;
    };

    void run(std::function<void(Io&)> script) {
        thread_ = std::jthread([this, script = std::move(script)](std::stop_token stop) {
            Io io(*this, stop);
            script(io);
        });
    }
    void join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // Ends the script's sending: the line falls silent.
    void stop() { thread_.request_stop(); }
    // Valid after join().
    const std::string& received() const { return received_; }

private:
    test::PtyPair& pty_;
    std::string received_;
    std::jthread thread_;
};

// The link with everything it needs, the port on a pseudo-terminal. Model 1 at one point per
// second, full scale 2^14 x 10^2 = 1 638 400 at 1 V, so code c on range 2 is c x 125/2048 mV.
class LinkTest : public ::testing::Test {
protected:
    LinkTest() {
        settings.device_type = settings::kModelVelon;
        settings.samples_per_second = 1;
        settings.screen_seconds = 120;
        settings.adc_bits = 14;
        settings.range_factor = 10;
        settings.adc_ranges = 3;
        settings.input_voltage = 1.0;
        link = std::make_unique<ChromatographLink>(settings, data_lock, calls, op, clock);
        link->set_port_params(pty.slave_path(), 19200, 0, 0);
        link->set_program({4, 18, 70, 32, 120, 0, 0, 0});
        link->on_totalizer_missing = [this] { ++missing_calls; };
    }

    // Runs the main thread's queue until the link is idle again.
    bool drive_until_idle(std::chrono::milliseconds limit = 10s) {
        const auto deadline = SteadyClock::now() + limit;
        while (!link->idle()) {
            if (SteadyClock::now() > deadline) {
                return false;
            }
            calls.wait_and_run(20ms);
        }
        return true;
    }
    bool drive_until_samples(int count, std::chrono::milliseconds limit = 10s) {
        const auto deadline = SteadyClock::now() + limit;
        while (link->sample_count() < count) {
            if (SteadyClock::now() > deadline) {
                return false;
            }
            calls.wait_and_run(20ms);
        }
        return true;
    }
    void drain_queue() {
        for (int i = 0; i < 5; ++i) {
            calls.wait_and_run(10ms);
        }
    }
    std::vector<double> values() const {
        std::vector<double> out;
        for (const analysis::SampleRecord& r : link->samples()) {
            out.push_back(r.value);
        }
        return out;
    }
    std::vector<std::int32_t> seconds() const {
        std::vector<std::int32_t> out;
        for (const analysis::SampleRecord& r : link->samples()) {
            out.push_back(r.seconds);
        }
        return out;
    }

    settings::GlobalSettings settings;
    library::LockObject data_lock;
    MessCaller calls;
    test::RecordingOperator op;
    library::ManualClock clock;
    test::PtyPair pty;
    std::unique_ptr<ChromatographLink> link;
    int missing_calls = 0;
    struct Pair {
        std::int32_t code;
        std::int32_t range;
    };
    ScriptedDevice device{pty};  // last: its thread ends before anything it uses
};

constexpr std::size_t kFrameSize = 9;

TEST_F(LinkTest, the_device_receives_the_program_frame_on_the_named_port) {
    settings.device_type = settings::kModelTd5;
    link->set_program({2, 23, 30, 35, 55, 70, 120, 0});
    device.run([](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() == kFrameSize) {
            io.send("OK");
            io.send(kClosingFrame);
        }
    });
    ASSERT_TRUE(link->start_cycle());
    EXPECT_FALSE(link->idle());
    EXPECT_FALSE(link->totalizer_mode());
    ASSERT_TRUE(drive_until_idle());
    device.join();
    EXPECT_EQ(device.received(), std::string("\x02\x17\x1E\x23\x37\x46\x78\x00\xB1", 9));
    EXPECT_EQ(link->status(), -96);
    EXPECT_FALSE(link->port().is_open());
}

// --- the start handshake ---------------------------------------------------------------

struct HandshakeCase {
    const char* name;
    std::string first_reply;   // to the first program frame
    bool expects_second;       // the device waits for a second frame and answers "OK"
    bool reply_is_the_stream;  // the device answers with data frames instead of "OK"
};

class Handshake : public LinkTest, public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(Handshake, is_accepted_and_the_cycle_runs) {
    const HandshakeCase c = GetParam();
    // 100 ticks of code 1024 on range 2 (62.5 mV); no byte of it is an 'O'.
    const std::string stream = velon_frames(1, 100, 1024, 2) + kClosingFrame;
    device.run([c, stream](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() != kFrameSize) {
            return;
        }
        if (c.reply_is_the_stream) {
            io.send(stream);
            return;
        }
        io.send(c.first_reply);
        if (c.expects_second) {
            if (io.receive(kFrameSize).size() != kFrameSize) {
                return;
            }
            io.send("OK");
        }
        io.send(stream);
    });
    ASSERT_TRUE(link->start_cycle());
    ASSERT_TRUE(drive_until_idle());
    device.join();
    const std::string frame = bytes_of(link::program_frame(link->program()));
    EXPECT_EQ(device.received() + pty.read(64, 50ms), c.expects_second ? frame + frame : frame);
    EXPECT_EQ(link->status(), -96);
    // The 5-byte read takes most of the first frame; a whole block is still made of the rest.
    EXPECT_EQ(values(), (std::vector<double>{62.5, 62.5}));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Handshake,
    ::testing::Values(HandshakeCase{"ok_at_once", "OK", false, false},
                      HandshakeCase{"ok_after_nine_stray_bytes", "123456789OK", false, false},
                      HandshakeCase{"frames_instead_of_ok", "", false, true},
                      HandshakeCase{"ten_stray_bytes_need_the_second_attempt", "0123456789OK", true,
                                    false},
                      HandshakeCase{"only_the_second_frame_is_answered", "", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, no_answer_to_two_frames_fails_with_minus_99_and_closes_the_port) {
    device.run([](ScriptedDevice::Io& io) {
        io.receive(kFrameSize);
        io.receive(kFrameSize);
    });
    EXPECT_FALSE(link->start_cycle());
    device.join();
    EXPECT_EQ(link->status(), -99);
    EXPECT_FALSE(link->port().is_open());
    EXPECT_TRUE(link->idle());
    const std::string frame = bytes_of(link::program_frame(link->program()));
    EXPECT_EQ(device.received(), frame + frame);
}

struct MissingPortCase {
    const char* name;
    bool totalizer_stream;
};

class MissingPort : public LinkTest, public ::testing::WithParamInterface<MissingPortCase> {};

TEST_P(MissingPort, fails_with_minus_97_and_stays_idle) {
    link->set_port_params("/dev/vetra-no-such-port", 19200, 0, 0);
    const bool started =
        GetParam().totalizer_stream ? link->start_totalizer_stream() : link->start_cycle();
    EXPECT_FALSE(started);
    EXPECT_EQ(link->status(), -97);
    EXPECT_FALSE(link->port().is_open());
    EXPECT_TRUE(link->idle());
    EXPECT_FALSE(link->totalizer_mode());
}

INSTANTIATE_TEST_SUITE_P(StartOperations, MissingPort,
                         ::testing::Values(MissingPortCase{"start_cycle", false},
                                           MissingPortCase{"start_totalizer_stream", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- a cycle ---------------------------------------------------------------------------

TEST_F(LinkTest, a_short_cycle_delivers_one_point_per_fifty_ticks_then_ends_on_the_closing_frame) {
    // Five blocks of 50 ticks, each of its own code; ticks wrap twice on the way.
    const std::vector<int> codes{1024, 2048, -2048, 4096, 5120};
    std::string stream;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        const int first = static_cast<int>(k) * 50 + 1;
        stream += velon_frames(first, first + 49, codes[k], 2);
    }
    stream += kClosingFrame;
    device.run([stream](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() == kFrameSize) {
            io.send("OK");
            io.send(stream);
        }
    });
    ASSERT_TRUE(link->start_cycle());
    ASSERT_TRUE(drive_until_idle());
    // The end is queued behind every point, so the buffer is complete once the link is idle.
    const int count_at_end = link->sample_count();
    drain_queue();
    EXPECT_EQ(count_at_end, 5);
    EXPECT_EQ(link->sample_count(), 5);
    EXPECT_EQ(values(), (std::vector<double>{62.5, 125.0, -125.0, 250.0, 312.5}));
    EXPECT_EQ(seconds(), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(link->status(), -96);
    EXPECT_EQ(link->elapsed_seconds(), 5);
    // The last sample frame is what the display shows.
    EXPECT_EQ(link->last_adc_code(), 5120);
    EXPECT_EQ(link->last_range(), 2);
    EXPECT_FALSE(link->port().is_open());

    link->set_display_offset(62.5);
    std::vector<double> view{0.0, 0.0};
    link->copy_new_samples(view);
    EXPECT_EQ(view, (std::vector<double>{0.0, 0.0, -187.5, 187.5, 250.0}));
    link->copy_new_samples(view);
    EXPECT_EQ(view.size(), 5u);
}

TEST_F(LinkTest, a_new_cycle_empties_the_sample_buffer) {
    for (int run = 0; run < 2; ++run) {
        device.run([](ScriptedDevice::Io& io) {
            if (io.receive(kFrameSize).size() == kFrameSize) {
                io.send("OK");
                io.send(velon_frames(1, 100, 2048, 2) + kClosingFrame);
            }
        });
        ASSERT_TRUE(link->start_cycle());
        ASSERT_TRUE(drive_until_idle());
        device.join();
        EXPECT_EQ(values(), (std::vector<double>{125.0, 125.0})) << "run " << run;
    }
}

TEST_F(LinkTest, points_beyond_the_window_are_not_kept_but_the_cycle_reads_on) {
    settings.screen_seconds = 2;
    device.run([](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() == kFrameSize) {
            io.send("OK");
            io.send(velon_frames(1, 300, 1024, 2) + kClosingFrame);
        }
    });
    ASSERT_TRUE(link->start_cycle());
    ASSERT_TRUE(drive_until_idle());
    EXPECT_EQ(seconds(), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(link->elapsed_seconds(), 6);
    EXPECT_EQ(link->status(), -96);
}

TEST_F(LinkTest, a_device_that_goes_silent_ends_the_cycle_with_minus_99_after_about_a_second) {
    device.run([](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() == kFrameSize) {
            io.send("OK");
            io.send(velon_frames(1, 100, 1024, 2));
        }
    });
    ASSERT_TRUE(link->start_cycle());
    ASSERT_TRUE(drive_until_samples(2));
    const auto silent_since = SteadyClock::now();
    ASSERT_TRUE(drive_until_idle());
    const double waited = seconds_since(silent_since);
    EXPECT_GT(waited, 0.5);
    EXPECT_LT(waited, 2.5);
    EXPECT_EQ(link->status(), -99);
    EXPECT_EQ(link->sample_count(), 2);
    EXPECT_FALSE(link->port().is_open());
}

TEST_F(LinkTest, a_line_hung_up_by_the_device_ends_the_cycle_with_minus_99) {
    device.run([](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() == kFrameSize) {
            io.send("OK");
            io.send(velon_frames(1, 100, 1024, 2));
        }
    });
    ASSERT_TRUE(link->start_cycle());
    ASSERT_TRUE(drive_until_samples(2));
    device.join();
    pty.close_master();
    const auto hung_up = SteadyClock::now();
    ASSERT_TRUE(drive_until_idle());
    EXPECT_LT(seconds_since(hung_up), 2.5);
    EXPECT_EQ(link->status(), -99);
    EXPECT_EQ(link->sample_count(), 2);
    EXPECT_FALSE(link->port().is_open());
}

enum class Line { frames, noise, silence };

struct DestroyCase {
    const char* name;
    bool totalizer_stream;
    Line line;
};

void PrintTo(const DestroyCase& c, std::ostream* os) {
    *os << c.name;
}

class DestroyWhileRunning : public LinkTest, public ::testing::WithParamInterface<DestroyCase> {};

// Whatever the line does, closing the program must not wait on it.
TEST_P(DestroyWhileRunning, stops_and_joins_the_thread_promptly) {
    const DestroyCase c = GetParam();
    settings.totalizer_use = true;
    settings.screen_seconds = 1'000'000;  // a second per frame here: keep every point
    std::atomic<bool> streaming{false};
    device.run([c, &streaming](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() != kFrameSize) {
            return;
        }
        if (!c.totalizer_stream && !io.send("OK")) {
            return;
        }
        streaming = true;
        for (int tick = 0; !io.stopping();) {
            if (c.line == Line::silence) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            if (c.line == Line::noise) {
                // Bytes that never start a frame, well within the silence time-out.
                if (!io.send("\x01\x7F")) {
                    return;
                }
                std::this_thread::sleep_for(100ms);
                continue;
            }
            // Ticks 50 apart: every frame completes a point, so the thread is queueing
            // calls all the time the link goes away.
            std::string burst;
            for (int k = 0; k < 64; ++k) {
                tick = (tick + 50) % 128;
                burst += velon_frame(tick, 1024, 2);
            }
            if (!io.send(burst)) {
                return;
            }
        }
    });
    ASSERT_TRUE(c.totalizer_stream ? link->start_totalizer_stream() : link->start_cycle());
    EXPECT_EQ(link->totalizer_mode(), c.totalizer_stream);
    if (c.line == Line::frames) {
        const auto deadline = SteadyClock::now() + 5s;
        while (link->elapsed_seconds() < 2 && SteadyClock::now() < deadline) {
            calls.wait_and_run(10ms);
        }
        ASSERT_GE(link->elapsed_seconds(), 2);
        if (c.totalizer_stream) {
            EXPECT_EQ(link->sample_count(), 0);  // the totalizer stream delivers no points
        }
    } else {
        ASSERT_TRUE(wait_until([&] { return streaming.load(); }, 5s));
        std::this_thread::sleep_for(300ms);  // the thread is deep in its hunt by now
    }
    const auto start = SteadyClock::now();
    auto closing = std::async(std::launch::async, [this] { link.reset(); });
    const bool prompt = closing.wait_for(500ms) == std::future_status::ready;
    // A reader that missed the request ends once the line falls silent.
    device.stop();
    closing.wait();
    EXPECT_TRUE(prompt) << "took " << seconds_since(start) << " s";
    // Calls the thread queued for the link that has gone do nothing.
    drain_queue();
}

INSTANTIATE_TEST_SUITE_P(
    StartOperations, DestroyWhileRunning,
    ::testing::Values(DestroyCase{"cycle", false, Line::frames},
                      DestroyCase{"totalizer_stream", true, Line::frames},
                      DestroyCase{"cycle_on_a_noisy_line", false, Line::noise},
                      DestroyCase{"totalizer_stream_on_a_noisy_line", true, Line::noise},
                      DestroyCase{"cycle_on_a_silent_line", false, Line::silence}),
    [](const auto& info) { return std::string(info.param.name); });

// The window reads the display values while the acquisition thread writes them: a code
// must never be shown with the range of another frame.
TEST_F(LinkTest, the_adc_code_and_range_are_read_as_one_pair) {
    const Pair first{1, 0};
    const Pair second{-8192, 3};
    std::atomic<bool> done{false};
    std::jthread writer([&] {
        for (int i = 0; !done.load(); ++i) {
            const Pair p = i % 2 == 0 ? first : second;
            link->publish_display(p.code, p.range);
        }
    });
    int torn = 0;
    for (int i = 0; i < 2'000'000; ++i) {
        const auto shown = link->adc_display();
        const bool whole = (shown.code == first.code && shown.range == first.range) ||
                           (shown.code == second.code && shown.range == second.range) ||
                           (shown.code == 0 && shown.range == 0);
        torn += whole ? 0 : 1;
    }
    done = true;
    EXPECT_EQ(torn, 0);
}

// --- totalizer presence ----------------------------------------------------------------

struct PresenceCase {
    const char* name;
    std::int32_t present_before;
    std::string stream;  // after the totalizer-stream command, before the closing frame
    std::int32_t present_after;
    bool use_after;
    int notices;
};

class Presence : public LinkTest, public ::testing::WithParamInterface<PresenceCase> {};

TEST_P(Presence, follows_what_the_totalizer_stream_brings) {
    const PresenceCase& c = GetParam();
    settings.totalizer_use = true;
    settings.totalizer_present = c.present_before;
    device.run([stream = c.stream](ScriptedDevice::Io& io) {
        if (io.receive(kFrameSize).size() == kFrameSize) {
            io.send(stream + kClosingFrame);
        }
    });
    ASSERT_TRUE(link->start_totalizer_stream());
    ASSERT_TRUE(drive_until_idle());
    drain_queue();
    device.join();
    EXPECT_EQ(device.received(), bytes_of(link::totalizer_stream_command()));
    EXPECT_EQ(link->status(), -96);
    EXPECT_FALSE(link->totalizer_mode());
    EXPECT_EQ(link->sample_count(), 0);
    EXPECT_EQ(settings.totalizer_present.load(), c.present_after);
    EXPECT_EQ(settings.totalizer_use.load(), c.use_after);
    EXPECT_EQ(missing_calls, c.notices);
    ASSERT_EQ(op.messages.size(), static_cast<std::size_t>(c.notices));
    if (c.notices > 0) {
        EXPECT_EQ(op.messages[0].text,
                  "Газосумматор не найден! Использование внутреннего газосумматора не "
                  "возможно!");
        EXPECT_EQ(op.messages[0].caption, "  ОШИБКА");
    }
}

// 25 x R ticks with R = 1.
INSTANTIATE_TEST_SUITE_P(
    Streams, Presence,
    ::testing::Values(PresenceCase{"more_than_25_ticks_of_samples_mean_absent", 0,
                                   velon_frames(1, 26, 100, 0), 2, false, 1},
                      PresenceCase{"25_ticks_of_samples_are_not_yet_enough", 0,
                                   velon_frames(1, 25, 100, 0), 0, true, 0},
                      PresenceCase{"a_totalizer_frame_means_present", 0,
                                   velon_frame(0, 500, 0, true) + velon_frames(1, 60, 100, 0), 1,
                                   true, 0},
                      PresenceCase{"a_late_totalizer_frame_does_not_undo_absence", 0,
                                   velon_frames(1, 30, 100, 0) + velon_frame(31, 500, 1, true), 2,
                                   false, 1},
                      PresenceCase{"an_absence_already_known_is_not_reported_again", 2,
                                   velon_frames(1, 60, 100, 0), 2, true, 0},
                      PresenceCase{"a_known_presence_is_kept_without_totalizer_frames", 1,
                                   velon_frames(1, 60, 100, 0), 1, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vetra::control
