#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "link/station_client.h"

namespace vetra::control {
class VetraSystem;
}
namespace vetra::settings {
class GlobalSettings;
}
namespace vetra::library {
class Operator;
}

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
    // The very last step, after the window is gone.
    void finish();

    const std::string& program_dir() const { return options_.program_dir; }
    const std::filesystem::path& data_directory() const { return data_dir_; }
    link::TDataModule1& station_client() { return station_client_; }

private:
    control::VetraSystem& system_;
    settings::GlobalSettings& settings_;
    library::Operator& operator_;
    WorkstationOptions options_;
    link::TDataModule1 station_client_;
    std::filesystem::path data_dir_;
    bool shut_down_ = false;
};

}  // namespace vetra::app
