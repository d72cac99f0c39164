#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include <boost/signals2/connection.hpp>
#include <memory>

#include "app/workstation_status.h"
#include "link/station_client.h"
#include "settings/rig_settings.h"
#include "storage/event_log.h"

namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::library {
class Operator;
}
namespace vetra::link {
class TSummThread;
class WitsOutput;
class WitsInput;
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
    // controller's files and the settings saved. False when the settings could not be
    // saved; `error` then holds the operator's text.
    [[nodiscard]] bool shut_down(std::string& error);
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
    // After the rig settings changed: the WITS links start again with them.
    void restart_wits();
    // The process's journal; whoever writes a line adds it here.
    storage::EventLog& event_log() { return event_log_; }
    // The links' and files' state for the status line; brought up to date by on_tick.
    WorkstationStatus& status() { return status_; }

private:
    void send_wits_total_gas(double percent);
    void update_wits_status();

    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
    WorkstationOptions options_;
    link::TDataModule1 station_client_;
    storage::EventLog event_log_;
    WorkstationStatus status_{system_, event_log_};
    std::filesystem::path data_dir_;
    settings::RigSettings rig_;
    std::unique_ptr<link::WitsOutput> wits_out_;
    std::unique_ptr<link::WitsInput> wits_in_;
    boost::signals2::scoped_connection wits_results_;
    std::filesystem::path log_path_;
    std::unique_ptr<library::Operator> thread_operator_;
    std::unique_ptr<link::TSummThread> summ_thread_;
    std::chrono::milliseconds save_interval_{std::chrono::minutes(10)};
    std::chrono::steady_clock::time_point last_save_ = std::chrono::steady_clock::now();
    std::future<bool> background_save_;
    std::uint64_t packets_seen_ = 0;
    bool shut_down_ = false;
    bool finished_ = false;
};

}  // namespace vetra::app
