#pragma once

#include <boost/signals2/signal.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_calculator.h"
#include "analysis/gaz_list.h"
#include "control/chromatograph_link.h"
#include "control/mess_caller.h"
#include "control/remote_source.h"
#include "display/chromatogram_plot.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/file_reporter.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "link/station_sender.h"
#include "settings/global_settings.h"
#include "settings/ini_options.h"
#include "storage/history.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "storage/run_extra.h"
#include "storage/text_data_writer.h"

namespace vetra::control {

// An error the operator must see; the text is the operator's message.
class VetraError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The numbers are stored, sent by the station and used by the mode buttons.
enum WorkMode : std::int32_t {
    kManual = 0,
    kByTime = 1,
    kContinuous = 2,
    kByDepthMark = 3,
    kByTotalizer = 4,
};

inline constexpr const char* kNoAnswerMessage = "Хроматограф не ответил после запроса!";
inline constexpr const char* kLostConnectionMessage = "Внезапно потеряна связь с хроматографом!";
std::string cannot_open_port_message(const std::string& port_name);

// The lines of a published result list as the station receives them: key and concentration.
std::vector<link::ResultLine> result_lines(const std::vector<analysis::GazResult>& results);

// The hub of the program: decides when the chromatograph runs a cycle, watches the running
// cycle and tells the rest of the program what happened. Driven by a 400 ms timer on the
// main thread; never blocks and owns no thread of its own.
class VetraSystem : public settings::IniOptions {
public:
    VetraSystem(settings::GlobalSettings& settings, library::Operator& op,
                const library::Clock& clock);
    ~VetraSystem() override;

    void set_work_directory(std::string directory);
    void load_all();
    // The calibration and the history to their files, then the gas list and the controller's
    // section to the settings file in one write.
    void save_all();
    // The two halves of save_all, for a close that adds other owners' sections to the same
    // write of the settings file.
    void save_files();
    void save_sections(settings::IniFile& file);

    // One step of the cycle state machine. May throw VetraError.
    void on_timer_tick();
    // Asks for a cycle now. May throw VetraError.
    void start_analysis();
    void request_warmup();
    void set_work_mode(std::int32_t mode);

    int state() const { return state_; }
    std::int32_t work_mode() const { return work_mode_; }
    bool save_all_values() const { return save_all_values_; }
    bool save_science_values() const { return save_science_values_; }
    std::int32_t time_mode_period() const { return time_mode_period_; }
    void set_time_mode_period(std::int32_t seconds) { time_mode_period_ = seconds; }
    std::int32_t max_depth_counter() const { return max_depth_counter_; }
    // The work settings dialog's edits of the controller's own section.
    void set_max_depth_counter(std::int32_t count) { max_depth_counter_ = count; }
    void set_save_all_values(bool on) { save_all_values_ = on; }
    void set_save_science_values(bool on) { save_science_values_ = on; }
    bool start_pending() const { return start_pending_; }
    int warmup_cycles_left() const { return warmup_left_; }
    int depth_cycles_left() const { return depth_left_; }
    std::int32_t seconds_counter() const { return seconds_counter_; }
    // The station's depth while it is valid, else the rig's own depth stream's.
    float depth() const;
    double depth_for_log() const;
    std::string status_text() const;

    const std::string& base_directory() const { return base_dir_; }
    const std::string& calibration_path() const { return calibration_path_; }
    const std::string& history_path() const { return history_path_; }
    const std::string& settings_path() const { return settings_path_; }

    settings::GlobalSettings& settings() { return settings_; }
    // Every writer of the program's files reports here.
    library::FileReporter& files() { return files_; }
    ChromatographLink& link() { return link_; }
    MessCaller& calls() { return calls_; }
    library::LockObject& data_lock() { return data_lock_; }
    analysis::GazCalculator& calculation() { return calculation_; }
    storage::History& history() { return history_; }
    display::ChromatogramPlot& view() { return view_; }
    // Brings the displayed chromatogram up to date with the link's samples, the gas windows
    // and the results; only when points arrived unless forced. True when it changed.
    bool refresh_view(bool force);
    const library::Clock& clock() const { return clock_; }
    analysis::EtalonStorage& calibration() { return calibration_; }
    analysis::GazList& gases() { return gases_; }
    link::StationSender& station() { return station_; }
    storage::TextDataWriter& text_data() { return text_data_; }
    storage::ResultsTable& results_table() { return results_table_; }
    // The results table as the display shows it, for the window, printing, export and tools.
    storage::ResultsTableText& results_text() { return results_text_; }

    // The station's remote-control messages; none until one is set.
    void set_remote_source(std::unique_ptr<RemoteSource> source) { remote_ = std::move(source); }
    // Fetches a named value from the station for the totalizer mode; none until one is set.
    std::function<double(const std::string&)> fetch_station_value;
    // The rig's own depth (its WITS stream), asked only while the station sends none.
    std::function<std::optional<double>()> rig_depth;
    // The depth a cycle's results get from the depth now and the cycle's start (when its gas
    // was injected); the depth now when none is set.
    std::function<float(float depth, library::DayNumber injection)> sample_depth;
    float analysis_depth() const;

    std::function<void()> mode_changed;
    boost::signals2::signal<void()> cycle_started;
    boost::signals2::signal<void()> windows_changed;
    boost::signals2::signal<void(int)> cycle_finished;
    // A start the chromatograph refused (status -97 or -99), raised before the error is
    // thrown; and a running cycle whose line fell silent. The status line and the journal
    // listen.
    boost::signals2::signal<void(int)> start_failed;
    boost::signals2::signal<void()> connection_lost;
    // A remote-control message with a mode or period the controller refused, as the journal
    // line that says so; the mode and period stay as they were.
    boost::signals2::signal<void(const std::string&)> remote_refused;

    static constexpr std::int32_t kMaxDepthCounter = 10;

protected:
    void register_bindings(settings::BindingList& list) override;
    void after_load(const settings::IniFile& file) override;

private:
    void running_step();
    void idle_step();
    void warmup_start();
    void give_port_params();
    void remote_poll();
    void take_remote_period(std::string& refusal);
    bool take_remote_mode(std::string& refusal);
    void seconds_count();
    void start_depth_series();
    bool calculating() const;
    bool totalizer_reading(double& reading);
    void on_totalizer_missing();
    void process_calculation();
    void note_published();
    void write_run_files(int status);

    settings::GlobalSettings& settings_;
    library::Operator& operator_;
    const library::Clock& clock_;

    library::FileReporter files_;  // before every writer that reports to it
    storage::TextDataWriter text_data_;
    int state_ = 1;
    std::int32_t seconds_counter_ = 0;
    int warmup_left_ = 0;
    int depth_left_ = 0;
    std::int32_t max_depth_counter_ = 3;
    std::string base_dir_;
    std::string calibration_path_;
    std::string history_path_;
    std::string settings_path_;
    float depth_ = 0.0f;
    library::DayNumber depth_time_ = 0.0;
    std::int32_t work_mode_ = kManual;
    std::int32_t time_mode_period_ = 0;
    bool save_all_values_ = true;
    bool save_science_values_ = false;
    bool start_pending_ = false;
    MessCaller calls_;
    library::LockObject data_lock_;
    ChromatographLink link_;
    analysis::GazCalculator calculation_;
    storage::History history_;
    display::ChromatogramPlot view_;
    analysis::EtalonStorage calibration_;
    analysis::GazList gases_;
    std::unique_ptr<RemoteSource> remote_;
    link::StationSender station_{data_lock_};
    storage::ResultsTable results_table_;
    storage::ResultsTableText results_text_{results_table_};
    int last_second_ = -1;
    // What the run file's companion keeps for an exact re-run of this cycle.
    double cycle_offset_ = 0.0;
    std::vector<std::int64_t> computed_at_;
    std::uint32_t published_stamp_ = 0;
    library::DayNumber published_time_ = 0;
    std::optional<storage::RunExtra> last_extra_;
    std::filesystem::path last_extra_path_;
};

}  // namespace vetra::control
