#include "control/chromatograph_link.h"

#include "control/vetra_thread.h"
#include "link/wire_protocol.h"

namespace vetra::control {
ChromatographLink::ChromatographLink(settings::GlobalSettings& settings,
                                     library::LockObject& data_lock, MessCaller& calls,
                                     library::Operator& op, const library::Clock& clock)
    : settings_(settings),
      data_lock_(data_lock),
      calls_(calls),
      operator_(op),
      clock_(clock),
      port_(op) {}

ChromatographLink::~ChromatographLink() {
    if (thread_) {
        thread_->request_stop();
        thread_->join();
    }
    // Only after the join: the thread reads alive_ whenever it queues a call.
    alive_.reset();
    port_.close_port();
}

void ChromatographLink::set_port_params(std::string name, int speed, int parity_index,
                                        int stop_index) {
    port_.set_port_params(std::move(name), speed, parity_index, stop_index);
}

bool ChromatographLink::send_program_and_wait() {
    const link::ProgramFrame frame = link::program_frame(program_);
    for (int attempt = 0; attempt < 2; ++attempt) {
        port_.write_frame(frame);
        if (port_.wait_for_text("OK")) {
            return true;
        }
        // A device that is already streaming answers with frames instead of "OK".
        std::uint8_t buffer[5];
        std::size_t count = 0;
        if (port_.raw_read(buffer, sizeof buffer, count) && count == sizeof buffer) {
            return true;
        }
    }
    return false;
}

bool ChromatographLink::open_for_start() {
    port_.set_status(analysis::kStatusNoError);
    if (!port_.is_open() && !port_.open_port()) {
        port_.set_status(analysis::kStatusCannotOpen);
        return false;
    }
    return true;
}

bool ChromatographLink::start_cycle() {
    if (!settings_.demo) {
        if (!open_for_start()) {
            return false;
        }
        if (!send_program_and_wait()) {
            port_.set_status(analysis::kStatusNoAnswer);
            port_.close_port();
            return false;
        }
    }
    samples_.clear();
    if (!thread_) {
        start_thread(false);
    }
    idle_ = false;
    return true;
}

bool ChromatographLink::start_totalizer_stream() {
    if (!settings_.demo) {
        if (!open_for_start()) {
            return false;
        }
        port_.write_frame(link::totalizer_stream_command());
    }
    if (!thread_) {
        start_thread(true);
    }
    idle_ = false;
    totalizer_mode_ = true;
    return true;
}

void ChromatographLink::start_thread(bool totalizer_mode) {
    ++run_;
    thread_ = std::make_unique<TVetraThread>(
        *this, totalizer_mode, settings_.totalizer_present.load(), clock_.tick_count_ms());
    thread_->start();
}

void ChromatographLink::stop_acquisition() {
    if (!thread_) {
        return;
    }
    thread_->request_stop();
    thread_->join();
    on_acquisition_end(thread_.get());
}

void ChromatographLink::post_block(const analysis::SampleRecord& record) {
    calls_.post([weak = std::weak_ptr(alive_), run = run_, record] {
        if (const auto self = weak.lock(); self && (*self)->run_ == run) {
            (*self)->deliver_block(record);
        }
    });
}

void ChromatographLink::post_end(const TVetraThread* thread) {
    calls_.post([weak = std::weak_ptr(alive_), run = run_, thread] {
        if (const auto self = weak.lock(); self && (*self)->run_ == run) {
            (*self)->on_acquisition_end(thread);
        }
    });
}

void ChromatographLink::deliver_block(const analysis::SampleRecord& record) {
    samples_.push_back(record);
}

void ChromatographLink::on_acquisition_end(const TVetraThread* thread) {
    if (!thread_ || thread_.get() != thread) {
        return;  // a run that was already closed
    }
    thread_->join();
    const std::int32_t presence = thread_->presence();
    port_.set_status(thread_->result());
    thread_.reset();
    port_.close_port();
    totalizer_mode_ = false;
    idle_ = true;

    if (settings_.device_type == settings::kModelVelon && settings_.totalizer_present.load() != 2 &&
        presence == 2 && settings_.totalizer_use.load()) {
        settings_.totalizer_use.store(false);
        if (on_totalizer_missing) {
            on_totalizer_missing();
        } else {
            settings_.save();
        }
        totalizer_value(0.0, true);
    }
    settings_.totalizer_present.store(presence);
}

void ChromatographLink::copy_new_samples(std::vector<double>& points) const {
    for (std::size_t i = points.size(); i < samples_.size(); ++i) {
        points.push_back(samples_[i].value - display_offset_);
    }
}

void ChromatographLink::copy_new_samples(std::vector<double>& points,
                                         std::vector<std::int32_t>& seconds) const {
    seconds.resize(points.size());
    for (std::size_t i = points.size(); i < samples_.size(); ++i) {
        points.push_back(samples_[i].value - display_offset_);
        seconds.push_back(samples_[i].seconds);
    }
}

library::DayNumber ChromatographLink::acquisition_start_time() const {
    library::ScopedLock lock(data_lock_);
    return acquisition_start_;
}

double ChromatographLink::current_average() const {
    library::ScopedLock lock(data_lock_);
    return current_average_;
}

void ChromatographLink::set_current_average(double value) {
    library::ScopedLock lock(data_lock_);
    current_average_ = value;
}

void ChromatographLink::stamp_acquisition_start() {
    acquisition_start_ = clock_.now_day_number();
}

void ChromatographLink::publish_display(std::int32_t adc_code, std::int32_t range) {
    adc_display_.store(static_cast<std::uint64_t>(static_cast<std::uint32_t>(range)) << 32 |
                       static_cast<std::uint32_t>(adc_code));
}

ChromatographLink::AdcDisplay ChromatographLink::adc_display() const {
    const std::uint64_t both = adc_display_.load();
    return {static_cast<std::int32_t>(static_cast<std::uint32_t>(both)),
            static_cast<std::int32_t>(static_cast<std::uint32_t>(both >> 32))};
}

}  // namespace vetra::control
