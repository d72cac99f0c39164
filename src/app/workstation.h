#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/signals2/connection.hpp>
#include <functional>
#include <system_error>

#include "app/workstation_status.h"
#include "control/well_depth.h"
#include "link/station_client.h"
#include "link/wits_link.h"
#include "settings/lag_settings.h"
#include "settings/rig_settings.h"
#include "storage/event_log.h"

namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
class IniFile;
}  // namespace vetra::settings
namespace vetra::library {
class Operator;
class FileReporter;
}  // namespace vetra::library
namespace vetra::link {
class TSummThread;
}  // namespace vetra::link

namespace vetra::app {

struct WorkstationOptions {
    std::string program_dir;          // with a trailing separator
    bool demo = false;                // demonstration mode for this session only
    std::optional<std::string> port;  // the chromatograph's port for this session only
};

// What the window and vetra-console both do at start-up and at an orderly close that needs
// no screen, in the window's order, so a headless workstation leaves the same files. The
// window adds its own steps (placement, pages, wizard) around these.
class Workstation {
public:
    Workstation(control::VetraSystem& system, settings::GlobalSettings& settings,
                library::Operator& op, WorkstationOptions options);
    ~Workstation();
    Workstation(const Workstation&) = delete;
    Workstation& operator=(const Workstation&) = delete;

    // Controller files, the global settings, the sample buffer, the data directory and the
    // station links: everything before the window places itself.
    void start_up();
    // The devices beside the cycles: started last, once the window (or console) is ready.
    void start_devices();
    // The orderly close: closing message to the station, the devices stopped, the
    // controller's files and the settings saved. The settings file is written once, with
    // the gas list, the controller's section, the global settings, the rig settings and
    // whatever `more_sections` adds (the window's placement and charts), so a crash during
    // the close leaves either the old file or the new one. False when the settings could not
    // be saved; `error` then holds the operator's text.
    [[nodiscard]] bool shut_down(std::string& error,
                                 const std::function<void(settings::IniFile&)>& more_sections = {});
    // The very last step, after the window is gone: the journal's closing line.
    void finish();
    // Every tick of the 400 ms timer, after the controller's step: the external
    // totalizer's reading becomes the current average, and the totalizer log is saved in the
    // background every `log_save_interval`, so a crash loses at most that much of it.
    void on_tick();
    void set_log_save_interval(std::chrono::milliseconds interval) { save_interval_ = interval; }
    // A background save still writing (tests wait for it).
    bool log_save_running() const;
    void wait_for_log_save();

    // Started by start_devices; the work settings dialog asks it to reconnect.
    link::TSummThread* totalizer_thread() { return summ_thread_.get(); }
    const std::filesystem::path& totalizer_log_path() const { return log_path_; }

    const std::string& program_dir() const { return options_.program_dir; }
    const std::filesystem::path& data_directory() const { return data_dir_; }
    link::TDataModule1& station_client() { return station_client_; }
    settings::RigSettings& rig_settings() { return rig_; }
    // The sample's depth, the lag and the gas shows.
    settings::LagSettings& lag_settings() { return lag_; }
    control::WellDepth& well_depth() { return well_depth_; }
    // Shows found since the operator last acknowledged them (the status mark and the sound).
    int unacknowledged_shows() const { return unacknowledged_shows_; }
    void acknowledge_shows() { unacknowledged_shows_ = 0; }
    // The journal line of the newest show, for the status mark's tooltip.
    const std::string& last_show_line() const { return last_show_line_; }
    // After the rig settings changed: the WITS links start again with them.
    void restart_wits();
    // What each WITS link is doing now (off when not configured). Cheap and thread-safe, so
    // a status area may poll it every tick; wits_status_text gives the operator's words.
    link::WitsLinkStatus wits_out_status() const;
    link::WitsLinkStatus wits_in_status() const;
    // The configured links' states in the operator's words, one line each ("WITS передача:
    // слушает порт 5005, приёмников нет", "WITS глубина: нет связи с 10.0.0.5:5005"); empty
    // when WITS is off.
    std::vector<std::string> wits_status_lines() const;
    // The process's journal; whoever writes a line adds it here.
    storage::EventLog& event_log() { return event_log_; }
    // Every file that could not be written, once per failure spell: the journal gets a line
    // for each (when it can be written itself); the window and vetra-console show them.
    library::FileReporter& files();
    // The links' and files' state for the status line; brought up to date by on_tick.
    WorkstationStatus& status() { return status_; }

private:
    void report_window_overlap();
    void send_wits_total_gas(double percent);
    void take_log_save_result();
    void report_log_save(std::error_code error);
    void update_wits_status();
    void record_depth();

    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
    WorkstationOptions options_;
    link::TDataModule1 station_client_;
    storage::EventLog event_log_;
    WorkstationStatus status_{system_, event_log_};
    std::filesystem::path data_dir_;
    settings::RigSettings rig_;
    settings::LagSettings lag_;
    control::WellDepth well_depth_{lag_};
    boost::signals2::scoped_connection depth_rows_;
    boost::signals2::scoped_connection shows_found_;
    int unacknowledged_shows_ = 0;
    std::string last_show_line_;
    std::chrono::steady_clock::time_point last_show_beep_{};
    std::unique_ptr<link::WitsOutput> wits_out_;
    std::unique_ptr<link::WitsInput> wits_in_;
    boost::signals2::scoped_connection wits_results_;
    std::filesystem::path log_path_;
    std::unique_ptr<library::Operator> thread_operator_;
    std::unique_ptr<link::TSummThread> summ_thread_;
    std::chrono::milliseconds save_interval_{std::chrono::minutes(10)};
    std::chrono::steady_clock::time_point last_save_ = std::chrono::steady_clock::now();
    std::future<std::error_code> background_save_;
    std::uint64_t packets_seen_ = 0;
    bool shut_down_ = false;
    bool finished_ = false;
    boost::signals2::scoped_connection journal_files_;  // before the journal goes
    boost::signals2::scoped_connection journal_recoveries_;
};

}  // namespace vetra::app
