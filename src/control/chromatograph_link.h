#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/sample_record.h"
#include "analysis/totalizer_log.h"
#include "control/mess_caller.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "link/chromatograph_port.h"
#include "settings/global_settings.h"

namespace vetra::control {

class TVetraThread;

// The controller's link to the chromatograph: its port, the cycle program, the acquisition
// thread and the chromatogram it delivers, and the values shown while a cycle runs.
// Everything but the values guarded by the data lock belongs to the main thread.
class ChromatographLink {
public:
    ChromatographLink(settings::GlobalSettings& settings, library::LockObject& data_lock,
                      MessCaller& calls, library::Operator& op, const library::Clock& clock);
    ~ChromatographLink();
    ChromatographLink(const ChromatographLink&) = delete;
    ChromatographLink& operator=(const ChromatographLink&) = delete;

    link::ChromatographPort& port() { return port_; }
    void set_port_params(std::string name, int speed, int parity_index, int stop_index);
    void set_program(const std::array<std::int32_t, 8>& program) { program_ = program; }
    const std::array<std::int32_t, 8>& program() const { return program_; }

    // Sends the cycle program and starts a cycle acquisition; false with status -97 or -99.
    [[nodiscard]] bool start_cycle();
    // Model 1: asks for totalizer readings between cycles and starts reading them.
    [[nodiscard]] bool start_totalizer_stream();

    bool idle() const { return idle_; }
    bool totalizer_mode() const { return totalizer_mode_; }
    int status() const { return port_.status(); }

    // Tells a running acquisition to stop and waits for it (program exit). Its end is
    // handled at once, as if its end call had arrived.
    void stop_acquisition();

    // Main thread, queued by the acquisition thread.
    void deliver_block(const analysis::SampleRecord& record);
    void on_acquisition_end(const TVetraThread* thread);

    int sample_count() const { return static_cast<int>(samples_.size()); }
    const analysis::SampleRecord& sample_at(int index) const {
        return samples_[static_cast<std::size_t>(index)];
    }
    const std::vector<analysis::SampleRecord>& samples() const { return samples_; }
    // Appends to `points` the samples it does not hold yet, less the display offset.
    void copy_new_samples(std::vector<double>& points) const;
    // The same, with each point's seconds appended to `seconds` alongside.
    void copy_new_samples(std::vector<double>& points, std::vector<std::int32_t>& seconds) const;
    void set_display_offset(double offset) { display_offset_ = offset; }
    double display_offset() const { return display_offset_; }
    void reserve_samples(std::size_t count) { samples_.reserve(count); }

    // The last sample frame's ADC code and range, always of the same frame: the reader needs
    // no lock and never sees a code beside another frame's range.
    struct AdcDisplay {
        std::int32_t code = 0;
        std::int32_t range = 0;
    };
    AdcDisplay adc_display() const;
    std::int32_t last_adc_code() const { return adc_display().code; }
    std::int32_t last_range() const { return adc_display().range; }
    // Shared with the acquisition thread; the writers hold the data lock.
    std::int32_t elapsed_seconds() const { return elapsed_seconds_.load(); }
    // Whole frames read from the line (or made up in the demonstration), for the status:
    // the main thread notes when it last grew.
    std::uint64_t frame_count() const { return frame_count_.load(std::memory_order_relaxed); }
    void count_frame() { frame_count_.fetch_add(1, std::memory_order_relaxed); }
    library::DayNumber acquisition_start_time() const;
    // The current totalizer value; both take the data lock.
    double current_average() const;
    void set_current_average(double value);

    // Called when the built-in totalizer was expected but never answered: the controller
    // leaves the totalizer mode. Without it the settings are only saved.
    std::function<void()> on_totalizer_missing;

    // --- The built-in totalizer (chromatograph_link_totalizer.cpp) ---
    // Acquisition thread, under the data lock: one reading of channel 1 (low range) or 2
    // (high range), 0..10, turned into percent and averaged.
    void totalizer_scaling(int channel, double reading);
    // Averages readings over each second and hands each average to the main thread. With
    // `absent` it is the notice that the built-in totalizer never answered.
    void totalizer_value(double x, bool absent);
    // Main thread: the station hears the average and the log keeps it.
    void on_totalizer_average(library::DayNumber time, double average, bool absent);
    // Main thread, model 0: the external reader's value becomes the current average, and the
    // first one of each second joins the log, so its chart and file are kept as for model 1.
    void take_external_reading(double value);
    // The zero-shift measurement of the work settings dialog: the offsets restart from 0
    // and take the negated largest reading until it is finished.
    void start_zero_setting();
    void finish_zero_setting();

    analysis::TotalizerLog& totalizer_log() { return totalizer_log_; }
    const analysis::TotalizerLog& totalizer_log() const { return totalizer_log_; }
    std::int32_t channel_count() const { return totalizer_log_.channel_count(); }
    // Empties the log.
    void set_channel_count(std::int32_t count) { totalizer_log_.reset(count); }
    [[nodiscard]] bool save_totalizer_log(const std::filesystem::path& path) const;
    void load_totalizer_log(const std::filesystem::path& path);

    // Wired by the controller: the station sender and the depth the log records.
    std::function<void(double)> send_totalizer;
    std::function<double()> depth_for_log;
    // Called after the absence notice, so the window can update its totalizer panels.
    std::function<void()> totalizer_panels_changed;

    // For the acquisition thread.
    settings::GlobalSettings& settings() { return settings_; }
    library::LockObject& data_lock() { return data_lock_; }
    MessCaller& calls() { return calls_; }
    const library::Clock& clock() const { return clock_; }
    void publish_display(std::int32_t adc_code, std::int32_t range);
    void publish_elapsed(std::int32_t seconds) { elapsed_seconds_.store(seconds); }
    void stamp_acquisition_start();
    // Queue a point, or the end of the run, for the main thread. Calls that arrive after the
    // link has gone, or after it moved on to another run, do nothing.
    void post_block(const analysis::SampleRecord& record);
    void post_end(const TVetraThread* thread);

private:
    void start_thread(bool totalizer_mode);
    bool open_for_start();  // false with status -97
    bool send_program_and_wait();

    settings::GlobalSettings& settings_;
    library::LockObject& data_lock_;
    MessCaller& calls_;
    library::Operator& operator_;
    const library::Clock& clock_;

    link::ChromatographPort port_;
    std::array<std::int32_t, 8> program_{};
    std::vector<analysis::SampleRecord> samples_;
    double display_offset_ = 0.0;
    std::unique_ptr<TVetraThread> thread_;
    bool idle_ = true;
    bool totalizer_mode_ = false;
    // Numbers the acquisition runs, so that calls queued by a run that was stopped early
    // cannot reach the next one (its thread may even sit at the same address). Written
    // before a thread starts and after it has been joined, so the thread reads it safely.
    std::uint64_t run_ = 0;

    std::atomic<std::uint64_t> adc_display_{0};  // code in the low half, range in the high
    std::atomic<std::int32_t> elapsed_seconds_{0};
    std::atomic<std::uint64_t> frame_count_{0};
    library::DayNumber acquisition_start_ = 0.0;  // under the data lock
    double current_average_ = 0.0;                // under the data lock
    // Per-second averaging, under the data lock.
    double totalizer_sum_ = 0.0;
    std::int32_t totalizer_count_ = 0;
    library::DayNumber totalizer_time_ = 0.0;
    // Seconds on the tick clock: when local time goes back, averages still come every second
    // (stamped with the local time).
    library::TickSeconds delivery_seconds_;
    library::TickSeconds external_log_seconds_;  // main thread
    analysis::TotalizerLog totalizer_log_;       // main thread
    // Queued calls hold a weak reference to this; it dies with the link.
    std::shared_ptr<ChromatographLink*> alive_ = std::make_shared<ChromatographLink*>(this);
};

}  // namespace vetra::control
