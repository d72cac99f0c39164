#include "app/workstation.h"

#include "analysis/gaz_list.h"
#include "control/vetra_system.h"
#include "display/chromatogram_plot.h"
#include "library/atomic_file.h"
#include "library/file_reporter.h"
#include "library/operator.h"
#include "library/utf8_path.h"
#include "link/remote_control.h"
#include "link/tsumm_thread.h"
#include "link/wits0.h"
#include "link/wits_link.h"
#include "settings/global_settings.h"
#include "storage/reprocess_trail.h"
#include "storage/results_table.h"
#include "storage/run_file.h"
#include "storage/totalizer_file.h"

namespace vetra::app {
namespace {

// The totalizer thread beeps; the beep is made on the main thread, where the operator lives.
class QueuedOperator final : public library::Operator {
public:
    QueuedOperator(library::Operator& op, control::MessCaller& calls) : op_(op), calls_(calls) {}
    void beep(int frequency_hz, int duration_ms) override {
        calls_.post([&op = op_, frequency_hz, duration_ms] { op.beep(frequency_hz, duration_ms); });
    }
    void show_message(const std::string& text, const std::string& caption,
                      library::MessageIcon icon) override {
        calls_.post([&op = op_, text, caption, icon] { op.show_message(text, caption, icon); });
    }
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }

private:
    library::Operator& op_;
    control::MessCaller& calls_;
};

// The totalizer log's save as the reporter wants it: nothing when it went well.
std::error_code save_log(const analysis::TotalizerLog& log, const std::filesystem::path& path) {
    std::error_code error;
    if (!log.empty() &&
        !library::write_file_atomically(path, storage::encode_totalizer_log(log), &error) &&
        !error) {
        error = std::make_error_code(std::errc::io_error);
    }
    return error;
}

// Temporary files of saves that a crash or a kill cut short; a save of another process
// running on the same directory keeps its own.
void remove_stale_temporaries(const std::string& program_dir,
                              const std::filesystem::path& data_dir) {
    const std::filesystem::path dir = library::path_from_utf8(program_dir);
    (void)library::remove_stale_temporaries(dir);
    (void)library::remove_stale_temporaries(data_dir);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir / storage::kRunFolder, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec)) {
            (void)library::remove_stale_temporaries(it->path());
        }
    }
}

constexpr std::chrono::seconds kShowBeepInterval{15};

}  // namespace

Workstation::Workstation(control::VetraSystem& system, settings::GlobalSettings& settings,
                         library::Operator& op, WorkstationOptions options)
    : system_(system),
      settings_(settings),
      operator_(op),
      options_(std::move(options)),
      event_log_(system.clock()) {}

Workstation::~Workstation() {
    if (summ_thread_) {
        summ_thread_->stop();
    }
    wait_for_log_save();
    system_.rig_depth = nullptr;
    system_.sample_depth = nullptr;
}

void Workstation::start_up() {
    const std::string& dir = options_.program_dir;
    system_.set_work_directory(dir);
    system_.load_all();
    settings::load_settings_at_startup(settings_, dir);
    settings_.set_session_values(options_.demo, options_.port);
    event_log_.set_reporter(&files());
    event_log_.attach(dir + storage::kEventLogFileName);
    // The status line keeps each failing file and gives the journal its one line a spell.
    journal_files_ =
        files().spell_began.connect([this](const std::string& file, const std::string& error) {
            status_.file_failed(file, error);
        });
    journal_recoveries_ = files().spell_ended.connect(
        [this](const std::string& file) { status_.file_recovered(file); });
    // Saves made during the session (a mode switch, a dialog's OK) say when they fail too.
    settings_.set_reporter(&files());
    rig_.set_reporter(&files());
    event_log_.add("Запуск программы");
    report_window_overlap();

    const auto points = static_cast<std::size_t>(
        display::screen_points(settings_.samples_per_second, settings_.screen_seconds));
    system_.link().reserve_samples(points);
    system_.view().points.reserve(points);
    system_.view().results = &system_.calculation().results();

    data_dir_ = settings::create_data_directory(settings_, dir);
    remove_stale_temporaries(dir, data_dir_);
    // A table that cannot be opened stays closed and empty; the cycles run all the same.
    (void)system_.results_table().open(data_dir_ / storage::kTableFileName);
    // A re-processing a crash interrupted is completed before anything reads the rows.
    storage::ReprocessTrail trail(data_dir_ / storage::kTrailFileName);
    if (storage::recover_reprocessing(system_.results_table(), trail, system_.clock()) > 0) {
        event_log_.add("Завершён прерванный пересчёт");
    }
    log_path_ = data_dir_ / storage::kTotalizerLogFileName;
    system_.link().set_channel_count(1);
    system_.link().load_totalizer_log(log_path_);
    last_save_ = std::chrono::steady_clock::now();

    rig_.load(settings_.settings_path);
    lag_.load(settings_.settings_path);
    well_depth_.set_reporter(&files());
    well_depth_.journal = [this](const std::string& line) { event_log_.add(line); };
    well_depth_.open(data_dir_);
    system_.sample_depth = [this](float depth, library::DayNumber injection) {
        return well_depth_.sample_depth(depth, injection);
    };
    // After the table's own listener, so the row is there to be matched.
    depth_rows_ = system_.calculation().results_notification.connect(
        [this](const std::vector<analysis::GazResult>& results, float depth) {
            well_depth_.row_added(system_.results_table(), results, depth, system_.depth(),
                                  system_.link().acquisition_start_time());
        });
    shows_found_ = well_depth_.show_found.connect([this](const analysis::GasShow& show) {
        ++unacknowledged_shows_;
        last_show_line_ = analysis::show_journal_line(show);
        last_show_beep_ = std::chrono::steady_clock::now();
        operator_.beep(880, 300);
    });
    // The built-in totalizer's per-second readings go to the rig's network as well.
    system_.link().send_totalizer = [this](double value) {
        system_.station().send_totalizer(value);
        send_wits_total_gas(value);
    };
    auto remote = std::make_unique<link::RemoteControl>();
    status_.set_remote_control(remote.get());
    status_.set_station_client(&station_client_);
    system_.set_remote_source(std::move(remote));
    system_.fetch_station_value = [this](const std::string& name) {
        return station_client_.fetch_station_value(settings_.reg_computer_name, name);
    };
}

// A settings file edited by hand may hold windows the dialogs refuse. The list is kept as
// stored (the calibration pairs with it by position), and the operator is told which two
// gases to set apart, in the journal too.
void Workstation::report_window_overlap() {
    const analysis::GazList& gases = system_.gases();
    if (const auto overlap = analysis::find_window_overlap(gases.gases())) {
        const std::string text =
            analysis::window_overlap_message(gases.gas(overlap->first), gases.gas(overlap->second));
        event_log_.add(text);
        operator_.show_message(text, "  Внимание!", library::MessageIcon::warning);
    }
}

void Workstation::start_devices() {
    thread_operator_ = std::make_unique<QueuedOperator>(operator_, system_.calls());
    summ_thread_ = std::make_unique<link::TSummThread>(
        settings_, system_.data_lock(), *thread_operator_,
        [&station = system_.station()](double value) { station.send_totalizer(value); });
    summ_thread_->start();
    status_.set_totalizer_reader(summ_thread_.get());
    restart_wits();
}

void Workstation::restart_wits() {
    wits_results_.disconnect();
    system_.rig_depth = nullptr;
    wits_in_.reset();
    wits_out_.reset();
    if (rig_.wits_out != 0) {
        wits_out_ = std::make_unique<link::WitsOutput>(
            link::WitsEndpoint{static_cast<link::WitsTransport>(rig_.wits_out), rig_.wits_out_port,
                               rig_.wits_out_mode, rig_.wits_out_address});
        wits_results_ = system_.calculation().results_notification.connect(
            [this](const std::vector<analysis::GazResult>& results, float depth) {
                std::vector<link::WitsGas> gases;
                for (const auto& r : results) {
                    if (!r.derived) {
                        gases.push_back({r.code, r.concentration});
                    }
                }
                const auto time = library::from_day_number(system_.calculation().resultsTime());
                wits_out_->send(link::wits_cycle_packet(time, depth, gases));
            });
    }
    if (rig_.wits_in != 0) {
        wits_in_ = std::make_unique<link::WitsInput>(
            link::WitsEndpoint{static_cast<link::WitsTransport>(rig_.wits_in), rig_.wits_in_port,
                               rig_.wits_in_mode, rig_.wits_in_address,
                               std::chrono::seconds(rig_.wits_in_idle_limit)},
            static_cast<link::WitsDepthItem>(rig_.wits_in_depth_item));
        system_.rig_depth = [this] { return wits_in_->depth(); };
    }
}

link::WitsLinkStatus Workstation::wits_out_status() const {
    return wits_out_ ? wits_out_->status() : link::WitsLinkStatus{};
}

link::WitsLinkStatus Workstation::wits_in_status() const {
    return wits_in_ ? wits_in_->status() : link::WitsLinkStatus{};
}

std::vector<std::string> Workstation::wits_status_lines() const {
    std::vector<std::string> lines;
    if (wits_out_) {
        lines.push_back(link::wits_status_text(wits_out_->status(), true));
    }
    if (wits_in_) {
        lines.push_back(link::wits_status_text(wits_in_->status(), false));
    }
    return lines;
}

void Workstation::send_wits_total_gas(double percent) {
    if (wits_out_) {
        wits_out_->send(link::wits_total_gas_packet(
            library::local_time_of(std::chrono::system_clock::now()), system_.depth(), percent));
    }
}

library::FileReporter& Workstation::files() {
    return system_.files();
}

// The history takes a record a second; it ignores the ticks between.
void Workstation::record_depth() {
    control::RigReading rig;
    if (wits_in_) {
        const auto v = wits_in_->rig_values();
        rig = {v.bit_depth, v.hole_depth, v.stroke_rate, v.strokes_total};
    }
    well_depth_.record(system_.clock().now_day_number(), system_.depth(), rig);
}

void Workstation::on_tick() {
    record_depth();
    // The sound repeats until the operator acknowledges the show; nothing waits for it.
    if (unacknowledged_shows_ > 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_show_beep_ >= kShowBeepInterval) {
            last_show_beep_ = now;
            operator_.beep(880, 300);
        }
    }
    status_.update();
    update_wits_status();
    if (summ_thread_ && settings_.totalizer_use.load() &&
        settings_.device_type == settings::kModelTd5) {
        // Only new packets are logged: a line without an instrument leaves no zeros behind.
        const std::uint64_t packets = summ_thread_->packets();
        if (packets != packets_seen_) {
            packets_seen_ = packets;
            system_.link().take_external_reading(summ_thread_->current_value());
            send_wits_total_gas(summ_thread_->current_value());
        } else {
            system_.link().set_current_average(summ_thread_->current_value());
        }
    }
    if (!log_save_running()) {
        take_log_save_result();
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - last_save_ < save_interval_ || log_save_running()) {
        return;
    }
    last_save_ = now;
    if (system_.link().totalizer_log().empty()) {
        return;
    }
    // A copy of a full log is a few megabytes of memcpy; encoding and the disk are left to
    // the worker, so the tick goes on at once. Its outcome is reported at a later tick.
    background_save_ = std::async(
        std::launch::async,
        [log = system_.link().totalizer_log(), path = log_path_] { return save_log(log, path); });
}

// The links' own states, in the status line's words (without the "WITS ...: " head the
// field puts in front).
void Workstation::update_wits_status() {
    const auto show = [this](WitsDirection direction, const link::WitsLinkStatus& status,
                             bool output) {
        using link::WitsLinkState;
        const Health health = status.state == WitsLinkState::off         ? Health::off
                              : status.state == WitsLinkState::connected ? Health::ok
                              : status.state == WitsLinkState::listening
                                  ? (status.receivers > 0 ? Health::ok : Health::waiting)
                              : status.state == WitsLinkState::no_receiver ? Health::waiting
                                                                           : Health::fault;
        std::string text = link::wits_status_text(status, output);
        text.erase(0, text.find(": ") == std::string::npos ? 0 : text.find(": ") + 2);
        status_.set_wits_state(direction, health, health == Health::off ? std::string{} : text);
    };
    show(WitsDirection::output, wits_out_status(), true);
    show(WitsDirection::input, wits_in_status(), false);
}

bool Workstation::log_save_running() const {
    return background_save_.valid() &&
           background_save_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void Workstation::wait_for_log_save() {
    take_log_save_result();
}

void Workstation::take_log_save_result() {
    if (background_save_.valid()) {
        report_log_save(background_save_.get());
    }
}

void Workstation::report_log_save(std::error_code error) {
    files().report(library::utf8_from_path(log_path_), !error, error);
}

bool Workstation::shut_down(std::string& error,
                            const std::function<void(settings::IniFile&)>& more_sections) {
    if (shut_down_) {
        return true;
    }
    shut_down_ = true;
    system_.station().send_closing();
    wits_results_.disconnect();
    system_.rig_depth = nullptr;
    system_.sample_depth = nullptr;
    depth_rows_.disconnect();
    wits_in_.reset();
    wits_out_.reset();
    // A totalizer stream may still be reading between cycles.
    system_.link().stop_acquisition();
    wait_for_log_save();
    if (!log_path_.empty()) {
        report_log_save(save_log(system_.link().totalizer_log(), log_path_));
    }
    if (summ_thread_) {
        summ_thread_->stop();
    }
    system_.save_files();
    settings_.first_start = false;
    settings::IniFile file;
    std::error_code cause = std::make_error_code(std::errc::io_error);
    // A file that cannot be read is not replaced by one that lacks its other sections.
    bool saved = file.open(settings_.settings_path);
    if (saved) {
        system_.save_sections(file);
        settings_.save(file);
        rig_.save(file);
        lag_.save(file);
        if (more_sections) {
            more_sections(file);
        }
        saved = file.save(&cause);
    }
    files().report(settings_.settings_path, saved, cause);
    if (!saved) {
        error = "Не удалось сохранить настройки: " + settings_.settings_path;
        return false;
    }
    return true;
}

void Workstation::finish() {
    if (finished_ || event_log_.path().empty()) {
        return;
    }
    finished_ = true;
    event_log_.add("Закрытие программы");
    event_log_.add("");  // sessions stay apart in the file
    (void)event_log_.save();
}

}  // namespace vetra::app
