#include "analysis/gaz_calculator.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <ostream>

#include "library/format_auto.h"

namespace vetra::analysis {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the calculation block is written in host order");

const std::string kTotalName = "сумм_газ";

template <class T>
void write_raw(std::ostream& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.write(bytes, sizeof(T));
}

}  // namespace

std::optional<std::int64_t> sample_index(float seconds, int rate) {
    const double product = seconds_in_samples(seconds, rate);
    if (!std::isfinite(product) || std::fabs(product) > 1e12) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::trunc(product));
}

float index_seconds(std::int64_t index, int rate) {
    float t = static_cast<float>(index) / static_cast<float>(rate);
    // The quotient may land one ulp short of the index, which trunc would then lose.
    for (int i = 0; i < 8 && sample_index(t, rate) < index; ++i) {
        t = std::nextafter(t, INFINITY);
    }
    for (int i = 0; i < 8 && sample_index(t, rate) > index; ++i) {
        t = std::nextafter(t, -INFINITY);
    }
    return t;
}

GazCalculator::GazCalculator(const settings::GlobalSettings& settings,
                             const std::vector<SampleRecord>& samples, GazList& gases,
                             library::LockObject& data_lock, library::Operator& op,
                             const library::Clock& clock)
    : settings_(settings),
      samples_(samples),
      gases_(gases),
      data_lock_(data_lock),
      operator_(op),
      clock_(clock) {}

void GazCalculator::set_concentration_function(std::function<double(int, double)> function) {
    concentration_ = std::move(function);
}

void GazCalculator::process(float depth, bool publish_ready) {
    {
        library::ScopedLock lock(data_lock_);
        depth_ = depth;
        const int rate = settings_.samples_per_second;
        if (rate > 0) {
            if (!zero_determined_) {
                determine_zero(rate);
            }
            for (int g = 0; g < gases_.count(); ++g) {
                if (!has_record(gases_.gas(g).name)) {
                    compute_gas(g, rate);
                }
            }
        }
    }
    if (ready_ && publish_ready) {
        publish();
    }
}

void GazCalculator::publishNow() {
    if (!ready_) {
        return;
    }
    publish();
    operator_.beep(1000, 40);
    operator_.beep(600, 40);
}

void GazCalculator::publish() {
    ready_ = false;
    {
        library::ScopedLock lock(data_lock_);
        results_time_ = clock_.now_day_number();
    }
    results_notification(results_, static_cast<float>(depth_));
}

void GazCalculator::reset() {
    results_.clear();
    zero_determined_ = false;
    ready_ = false;
}

// A sample that is not a number (a broken frame) would make the display offset useless,
// so the mean is taken over the finite samples only.
void GazCalculator::determine_zero(int rate) {
    const auto n = static_cast<std::int64_t>(samples_.size());
    const std::int64_t end = static_cast<std::int64_t>(settings_.zero_seconds) * rate;
    if (n < end) {
        return;
    }
    double sum = 0;
    std::int64_t count = 0;
    for (std::int64_t i = rate / 10; i < end; ++i) {
        if (std::isfinite(value(i))) {
            sum += value(i);
            ++count;
        }
    }
    zero_level_ = count > 0 ? sum / static_cast<double>(count) : 0.0;
    zero_determined_ = true;
}

void GazCalculator::compute_gas(int g, int rate) {
    GazOption& gas = gases_.gas(g);
    const auto n = static_cast<std::int64_t>(samples_.size());
    const auto start = sample_index(gas.work_start, rate);
    const auto end = sample_index(gas.work_end, rate);
    if (!start || !end) {
        return;
    }
    std::int64_t s = *start;
    std::int64_t e = *end;
    if (!(e - s > 5 && s >= 0 && e >= 0 && n - e >= 5 * static_cast<std::int64_t>(rate))) {
        return;
    }
    if (settings_.window_correction) {
        const float saved_start = gas.work_start;
        const float saved_end = gas.work_end;
        correct_window(gas, rate);
        const auto cs = sample_index(gas.work_start, rate);
        const auto ce = sample_index(gas.work_end, rate);
        // The baseline reads s, s + 1 and e - 2 .. e; a corrected window that would read
        // outside the buffer is dropped for the one that passed the gate.
        if (cs && ce && *cs >= 0 && *cs + 1 < n && *ce >= 2 && *ce < n) {
            s = *cs;
            e = *ce;
        } else {
            gas.work_start = saved_start;
            gas.work_end = saved_end;
        }
    }

    const double b = (value(s) + value(s + 1) + value(e - 2) + value(e - 1) + value(e)) / 5;
    current_baseline_ = b;
    // A broken frame's NaN or infinity would become the label height and the run file's
    // value: only finite samples compete, and a window without one has maximum 0.
    double peak_max = 0;
    bool found = false;
    for (std::int64_t i = s; i < e; ++i) {
        if (std::isfinite(value(i)) && (!found || value(i) > peak_max)) {
            peak_max = value(i);
            found = true;
        }
    }
    double p = 0;
    if (settings_.calc_result_from_pick) {
        p = (peak_max - b) - b;
    } else {
        double sum = 0;
        for (std::int64_t i = s; i <= e; ++i) {
            const double d = value(i) - b;
            if (d >= 0) {
                sum += d;
            }
        }
        p = sum / rate;
    }
    if (!(p >= 0) || !std::isfinite(p)) {
        p = 0;
    }
    addGasResult(g, p, peak_max);
}

// Moves the working window onto the edges of the peak found around the configured window.
// Any walk that would read past either end of the buffer abandons the correction.
void GazCalculator::correct_window(GazOption& gas, int rate) const {
    const auto n = static_cast<std::int64_t>(samples_.size());
    const auto start = sample_index(gas.start, rate);
    const auto end = sample_index(gas.end, rate);
    if (!start || !end) {
        return;
    }
    std::int64_t a = *start;
    std::int64_t c = *end;
    if (a < 0 || c < 0 || a >= n || c >= n) {
        return;
    }
    double largest = -1e40;
    double smallest = 1e40;
    for (std::int64_t i = a; i <= c; ++i) {
        largest = value(i) > largest ? value(i) : largest;
        smallest = value(i) < smallest ? value(i) : smallest;
    }
    if (!(largest - smallest >= 0.01)) {
        return;
    }
    const double d = 0.002 * (largest - smallest);
    const std::int64_t limit = 4 * static_cast<std::int64_t>(rate);
    const int half = rate / 2;

    if (a + half >= n) {
        return;
    }
    if (value(a) < value(a + half)) {
        std::int64_t k = 1;
        for (; k <= limit; ++k) {
            if (a < 1) {
                return;
            }
            if (value(a) - value(a - 1) <= d) {
                break;
            }
            if (--a < rate) {
                return;
            }
        }
        if (k >= limit) {
            return;
        }
    } else {
        for (std::int64_t k = 1; k <= limit; ++k) {
            if (a + 1 >= n) {
                return;
            }
            if (value(a + 1) - value(a) >= d) {
                break;
            }
            ++a;
        }
    }

    if (c - half < 0) {
        return;
    }
    if (value(c - half) > value(c)) {
        for (std::int64_t k = 1; k <= limit; ++k) {
            if (c + 1 >= n) {
                return;
            }
            if (value(c) - value(c + 1) <= d) {
                break;
            }
            ++c;
        }
    } else {
        std::int64_t k = 1;
        for (; k <= limit; ++k) {
            if (c < 1) {
                return;
            }
            if (value(c - 1) - value(c) >= d) {
                break;
            }
            --c;
        }
        if (k >= limit) {
            return;
        }
    }
    gas.work_start = index_seconds(a, rate);
    gas.work_end = index_seconds(c, rate);
}

bool GazCalculator::has_record(const std::string& name) const {
    for (const auto& r : results_) {
        if (r.name == name) {
            return true;
        }
    }
    return false;
}

const GazResult* GazCalculator::gas_record(const std::string& name) const {
    for (const auto& r : results_) {
        if (!r.derived && r.name == name) {
            return &r;
        }
    }
    return nullptr;
}

void GazCalculator::addGasResult(int g, double P, double M) {
    if (g < 0 || g >= gases_.count()) {
        return;
    }
    const GazOption& gas = gases_.gas(g);
    double c = concentration_ ? concentration_(g, P) : 0.0;
    if (!std::isfinite(c) || c < settings_.min_gaz_value) {
        c = 0;
    }
    if (c > 100) {
        c = 100;
    }
    GazResult r;
    r.colour = gas.colour;
    r.name = gas.name;
    r.description = gas.name + ": площадь = " + library::formatAuto(P) +
                    ", конц. = " + library::formatAuto(c) + "%";
    r.key = gas.name + "_абс";
    r.value_text = " " + library::formatAuto(c) + "% ";
    r.code = gas.code;
    r.concentration = c;
    r.area = P;
    r.peak_max = M;
    results_.push_back(std::move(r));
    if (static_cast<int>(results_.size()) == gases_.count()) {
        complete_list();
    }
}

// Each relative value is paired with the record of the same gas, not with record i: when a
// later gas's window ends first, the records do not come in list order.
void GazCalculator::complete_list() {
    double total = 0;
    for (const auto& r : results_) {
        total += r.concentration;
    }
    if (total > 100) {
        total = 100;
    }
    std::vector<double> shares;
    for (int i = 0; i < gases_.count(); ++i) {
        const GazResult* record = gas_record(gases_.gas(i).name);
        const double c = record ? record->concentration : 0.0;
        shares.push_back(std::fabs(total) > 1e-20 ? c / total * 100 : 0.0);
    }

    GazResult sum;
    sum.name = kTotalName;
    sum.description = kTotalName + " = " + library::formatAuto(total) + "%";
    sum.key = kTotalName;
    sum.code = "GS";
    sum.concentration = total;
    sum.derived = true;
    results_.push_back(std::move(sum));

    for (int i = 0; i < gases_.count(); ++i) {
        const GazOption& gas = gases_.gas(i);
        GazResult r;
        r.colour = gas.colour;
        r.name = gas.name + "_отн";
        r.description =
            r.name + " = " + library::formatAuto(shares[static_cast<std::size_t>(i)]) + "%";
        r.key = r.name;
        r.code = gas.code + "r";
        r.concentration = shares[static_cast<std::size_t>(i)];
        r.derived = true;
        results_.push_back(std::move(r));
    }
    ready_ = true;
}

void GazCalculator::writeCalcBlock(std::ostream& out) const {
    out.write("CALC", 5);  // with its terminating zero byte
    const std::int32_t count = gases_.count();
    write_raw(out, count);
    for (int i = 0; i < count; ++i) {
        const GazResult* record = gas_record(gases_.gas(i).name);
        write_raw(out, record ? record->concentration : 0.0);
        write_raw(out, record ? record->area : 0.0);
        write_raw(out, record ? record->peak_max : 0.0);
    }
}

}  // namespace vetra::analysis
