// The built-in totalizer of model 1: two-range scaling with automatic zero, the per-second
// average that is the current totalizer value, and its three-day log.
#include <cmath>

#include "control/chromatograph_link.h"
#include "storage/totalizer_file.h"

namespace vetra::control {
namespace {

constexpr const char* kTotalizerMissing =
    "Газосумматор не найден! Использование внутреннего газосумматора не возможно!";

}  // namespace

void ChromatographLink::totalizer_scaling(int channel, double reading) {
    settings::GlobalSettings& s = settings_;
    const bool zeroing = s.zero_setting_running.load();
    if (channel == 2) {
        if (zeroing) {
            if (reading > -s.totalizer_null10.load()) {
                s.totalizer_null10.store(static_cast<float>(-reading));
            }
            return;
        }
        if (reading > s.totalizer_porog) {
            totalizer_value((reading + s.totalizer_null10.load()) * s.summ_max10 * 0.1, false);
            s.totalizer_high_range.store(true);
        } else {
            s.totalizer_high_range.store(false);
        }
        return;
    }
    if (zeroing) {
        if (reading > -s.totalizer_null.load()) {
            s.totalizer_null.store(static_cast<float>(-reading));
        }
        return;
    }
    // While the high range reads, the saturated low range says nothing.
    if (!s.totalizer_high_range.load()) {
        totalizer_value((reading + s.totalizer_null.load()) * s.summ_max1 * 0.1, false);
    }
}

void ChromatographLink::totalizer_value(double x, bool absent) {
    library::ScopedLock lock(data_lock_);
    totalizer_time_ = clock_.now_whole_seconds();
    if (!std::isfinite(x) || x < 0.0) {
        x = 0.0;
    }
    const auto post = [this](library::DayNumber time, double average, bool notice) {
        calls_.post([weak = std::weak_ptr(alive_), time, average, notice] {
            if (const auto self = weak.lock()) {
                (*self)->on_totalizer_average(time, average, notice);
            }
        });
    };
    if (!delivery_seconds_.new_second(clock_.tick_count_ms())) {
        totalizer_sum_ += x;
        ++totalizer_count_;
        // The notice must reach the operator even within a second of the last average.
        if (absent) {
            post(totalizer_time_, current_average_, true);
        }
        return;
    }
    // The reading that opens a new second belongs to no sum.
    current_average_ = totalizer_count_ > 0 ? totalizer_sum_ / totalizer_count_ : x;
    totalizer_sum_ = 0.0;
    totalizer_count_ = 0;
    post(totalizer_time_, current_average_, absent);
}

void ChromatographLink::on_totalizer_average(library::DayNumber time, double average, bool absent) {
    if (absent) {
        operator_.show_message(kTotalizerMissing, "  ОШИБКА", library::MessageIcon::error);
        if (totalizer_panels_changed) {
            totalizer_panels_changed();
        }
        return;
    }
    if (send_totalizer) {
        send_totalizer(average);
    }
    const double depth = depth_for_log ? depth_for_log() : 0.0;
    if (time == 0.0 && average == 0.0 && depth == 0.0) {
        return;
    }
    totalizer_log_.append(time, static_cast<float>(average), static_cast<float>(depth));
}

void ChromatographLink::take_external_reading(double value) {
    set_current_average(value);
    if (!external_log_seconds_.new_second(clock_.tick_count_ms())) {
        return;
    }
    const library::DayNumber now = clock_.now_whole_seconds();
    const double depth = depth_for_log ? depth_for_log() : 0.0;
    totalizer_log_.append(now, static_cast<float>(value), static_cast<float>(depth));
}

void ChromatographLink::start_zero_setting() {
    settings_.totalizer_null.store(0.0f);
    settings_.totalizer_null10.store(0.0f);
    settings_.totalizer_high_range.store(false);
    settings_.zero_setting_running.store(true);
}

void ChromatographLink::finish_zero_setting() {
    settings_.zero_setting_running.store(false);
}

bool ChromatographLink::save_totalizer_log(const std::filesystem::path& path) const {
    return storage::save_totalizer_file(totalizer_log_, path);
}

void ChromatographLink::load_totalizer_log(const std::filesystem::path& path) {
    (void)storage::load_totalizer_file(totalizer_log_, path);
}

}  // namespace vetra::control
