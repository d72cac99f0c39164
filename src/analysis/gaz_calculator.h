#pragma once

#include <boost/signals2/signal.hpp>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "analysis/gaz_list.h"
#include "analysis/gaz_result.h"
#include "analysis/sample_record.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "settings/global_settings.h"

namespace vetra::analysis {

// Works on the growing sample buffer of one analysis: the zero level once, then each gas
// five seconds after its window has passed (baseline, peak maximum, area or height, with
// the optional window correction), each turned into a concentration; publishes the result
// list when every gas has one.
//
// Every sample read stays inside the buffer: a gas waits until all the samples it needs
// exist, and a correction that would look outside the buffer is abandoned.
class GazCalculator {
public:
    GazCalculator(const settings::GlobalSettings& settings,
                  const std::vector<SampleRecord>& samples, GazList& gases,
                  library::LockObject& data_lock, library::Operator& op,
                  const library::Clock& clock);

    GazCalculator(const GazCalculator&) = delete;
    GazCalculator& operator=(const GazCalculator&) = delete;

    // (gas index, peak value) -> concentration %; without one every concentration is 0.
    void set_concentration_function(std::function<double(int, double)> function);

    // Does what the samples so far allow, under the data lock; publishes when the list is
    // complete and `publish` is true. Never waits.
    void process(float depth, bool publish);
    // Publishes ready results with an audible acknowledgement; nothing without them.
    void publishNow();
    void reset();

    // Appends the gas record for peak value P and maximum M, and completes the list after
    // the last gas.
    void addGasResult(int gas, double P, double M);

    // The run file's calculation block: "CALC\0", the gas count, then per gas its
    // concentration, area and peak maximum (zeros for a gas without a record yet).
    void writeCalcBlock(std::ostream& out) const;

    double zeroLevel() const { return zero_level_; }
    double current_baseline() const { return current_baseline_; }
    double depth() const { return depth_; }
    bool ready() const { return ready_; }
    const std::vector<GazResult>& results() const { return results_; }
    library::DayNumber resultsTime() const { return results_time_; }

    // Listeners get the result list and the depth; they may take the data lock.
    boost::signals2::signal<void(const std::vector<GazResult>&, float)> results_notification;

private:
    void determine_zero(int rate);
    void compute_gas(int gas, int rate);
    void correct_window(GazOption& gas, int rate) const;
    bool has_record(const std::string& name) const;
    const GazResult* gas_record(const std::string& name) const;
    void complete_list();
    void publish();
    double value(std::int64_t i) const { return samples_[static_cast<std::size_t>(i)].value; }

    const settings::GlobalSettings& settings_;
    const std::vector<SampleRecord>& samples_;
    GazList& gases_;
    library::LockObject& data_lock_;
    library::Operator& operator_;
    const library::Clock& clock_;

    double zero_level_ = 0;
    double current_baseline_ = 0;
    double depth_ = 0;
    bool zero_determined_ = false;
    bool ready_ = false;
    std::vector<GazResult> results_;
    library::DayNumber results_time_ = 0;
    std::function<double(int, double)> concentration_;
};

// Sample index of a time: trunc(seconds x rate); nullopt for a time no buffer can reach.
std::optional<std::int64_t> sample_index(float seconds, int rate);
// The time whose sample index is exactly `index`, so a corrected edge reads back the same.
float index_seconds(std::int64_t index, int rate);

}  // namespace vetra::analysis
