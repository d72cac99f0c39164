#include "control/vetra_thread.h"

#include <chrono>
#include <cmath>
#include <utility>

#include "control/chromatograph_link.h"
#include "control/sample_reducer.h"
#include "library/lock_object.h"
#include "library/thread_priority.h"

namespace vetra::control {
namespace {

constexpr int kTotalizerFull = 8191;

// Reads end early on the thread's stop request, so closing never waits for the line.
class PortSource final : public link::ByteSource {
public:
    PortSource(link::ChromatographPort& port, std::stop_token stop)
        : port_(port), stop_(std::move(stop)) {}
    link::ReadResult read(std::uint8_t* buffer, std::size_t n) override {
        return port_.read(buffer, n, stop_);
    }
    void clear_errors() override { port_.clear_errors(); }

private:
    link::ChromatographPort& port_;
    std::stop_token stop_;
};

AcquisitionSettings snapshot(const settings::GlobalSettings& s) {
    AcquisitionSettings a;
    a.decode.device_type = s.device_type;
    a.decode.adc_bits = s.adc_bits;
    a.decode.range_factor = s.range_factor;
    a.adc_ranges = s.adc_ranges;
    a.input_voltage = s.input_voltage;
    a.samples_per_second = s.samples_per_second;
    a.screen_seconds = s.screen_seconds;
    a.demo = s.demo;
    return a;
}

}  // namespace

TVetraThread::TVetraThread(ChromatographLink& link, bool totalizer_mode, std::int32_t presence,
                           std::uint32_t seed)
    : link_(link),
      totalizer_mode_(totalizer_mode),
      settings_(snapshot(link.settings())),
      presence_(presence),
      random_(seed) {}

TVetraThread::~TVetraThread() {
    thread_.request_stop();
    join();
}

void TVetraThread::start() {
    thread_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

void TVetraThread::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TVetraThread::Execute(std::stop_token stop) {
    library::raise_thread_priority();
    const double scale =
        full_scale(settings_.decode.adc_bits, settings_.decode.range_factor, settings_.adc_ranges);
    SampleReducer reducer(settings_.samples_per_second);
    demo_period_ = random_below(800) + 250;
    {
        library::ScopedLock lock(link_.data_lock());
        link_.stamp_acquisition_start();
    }

    PortSource source(link_.port(), stop);
    link::SampleFrame frame;
    bool have_frame = false;
    while (!stop.stop_requested()) {
        if (settings_.demo) {
            if (demo_index_ % 100 == 0) {
                // Outside the lock: the main thread must not wait for our pacing.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            library::ScopedLock lock(link_.data_lock());
            const bool last = next_demo_frame(frame);
            link_.count_frame();
            process(frame, reducer, scale);
            if (last) {
                break;
            }
            continue;
        }
        link::DecodeSettings decode = settings_.decode;
        decode.totalizer_use = link_.settings().totalizer_use.load();
        const link::FrameResult r = link::read_sample_frame(source, decode, stop);
        if (r.status == link::kFrameStopped) {
            break;
        }
        if (r.status == -99 || r.status == -96) {
            result_.store(r.status);
            break;
        }
        library::ScopedLock lock(link_.data_lock());
        if (r.status == -98) {
            if (!have_frame) {
                continue;  // nothing complete yet to repeat
            }
        } else {
            frame = r.decoded.frame;
            have_frame = true;
            link_.count_frame();
            if (r.decoded.is_sample) {
                link_.publish_display(r.decoded.adc_code, r.decoded.range);
            }
        }
        process(frame, reducer, scale);
    }
    link_.post_end(this);
}

int TVetraThread::random_below(int n) {
    return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(random_);
}

bool TVetraThread::next_demo_frame(link::SampleFrame& frame) {
    const std::int64_t i = demo_index_;
    const std::int64_t rate = settings_.samples_per_second;
    if (i % 1000 == 0) {
        demo_amplitude_ = random_below(2000) + 2000;
    }
    frame.tick = static_cast<std::uint8_t>(i % 128);
    if (rate > 0 && i % (200 * rate) == 0) {
        if (demo_toggle_ == 4) {
            frame.kind = 4;
            demo_total_ = random_below(10) == 0 ? random_below(kTotalizerFull) : random_below(819);
            demo_toggle_ = 5;
        } else {
            frame.kind = 5;
            demo_toggle_ = 4;
        }
        frame.value = demo_total_;
    } else {
        frame.kind = 0;
        frame.value = (std::sin(static_cast<double>(i) / demo_period_) + 1.0) * demo_amplitude_;
    }
    demo_index_ = i + 1;
    return demo_index_ >= 6000 * std::max<std::int64_t>(rate, 1);
}

void TVetraThread::process(const link::SampleFrame& frame, SampleReducer& reducer, double scale) {
    const bool velon = settings_.decode.device_type == settings::kModelVelon;
    const bool totalizer_kind = frame.kind == 4 || frame.kind == 5;
    if (totalizer_kind && velon && presence_.load() != 2) {
        presence_.store(1);
        if (!link_.settings().totalizer_use.load()) {
            return;
        }
        link_.totalizer_scaling(frame.kind == 5 ? 2 : 1, frame.value * 10.0 / kTotalizerFull);
        return;
    }
    const double mv = frame.value * 1000.0 * settings_.input_voltage / scale;
    reducer.add(frame.tick, mv, [&](const SampleReducer::Point& p) {
        if (!totalizer_mode_ && p.seconds <= settings_.screen_seconds) {
            link_.post_block(analysis::SampleRecord{0, p.value, p.seconds, 0});
        }
    });
    link_.publish_elapsed(reducer.seconds());
    if (velon && presence_.load() != 1 && totalizer_mode_ &&
        reducer.total_ticks() >
            (std::int64_t{SampleReducer::kTicksPerPoint} * settings_.samples_per_second) / 2) {
        presence_.store(2);
    }
}

}  // namespace vetra::control
