#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>

#include "link/wire_protocol.h"

namespace vetra::control {

class ChromatographLink;

// What a run reads from the settings; taken when the thread starts, because the operator
// may edit the settings while it runs. "use" is read live (it is atomic).
struct AcquisitionSettings {
    link::DecodeSettings decode;
    std::int32_t adc_ranges = 4;
    double input_voltage = 2.5;
    std::int32_t samples_per_second = 8;
    std::int32_t screen_seconds = 120;
    bool demo = false;
};

// The acquisition thread: reads the chromatograph's frames (or makes them up in
// demonstration mode), reduces them to chromatogram points and hands each point to the main
// thread through the link's call queue. Its last act is to queue the link's end handler, so
// the main thread sees the end only after every point. Joined by the link, never detached.
class TVetraThread {
public:
    TVetraThread(ChromatographLink& link, bool totalizer_mode, std::int32_t presence,
                 std::uint32_t seed);
    ~TVetraThread();

    void start();
    void request_stop() { thread_.request_stop(); }
    void join();

    // Valid once the thread has ended.
    int result() const { return result_.load(); }
    std::int32_t presence() const { return presence_.load(); }
    bool totalizer_mode() const { return totalizer_mode_; }

private:
    void Execute(std::stop_token stop);
    // Makes up the next demonstration frame; true for the last frame of the run.
    bool next_demo_frame(link::SampleFrame& frame);
    int random_below(int n);  // uniform in 0..n-1, 0 when n is 0
    void process(const link::SampleFrame& frame, class SampleReducer& reducer, double scale);

    ChromatographLink& link_;
    const bool totalizer_mode_;
    AcquisitionSettings settings_;
    std::atomic<std::int32_t> presence_;
    std::atomic<int> result_{-100};
    std::mt19937 random_;

    // Demonstration source.
    std::int64_t demo_index_ = 0;
    int demo_period_ = 250;
    int demo_amplitude_ = 2000;
    int demo_toggle_ = 4;
    int demo_total_ = 0;
    bool demo_finished_ = false;

    std::jthread thread_;
};

}  // namespace vetra::control
