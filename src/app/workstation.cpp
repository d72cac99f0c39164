#include "app/workstation.h"

#include <algorithm>
#include <cstdint>

#include "control/vetra_system.h"
#include "library/operator.h"
#include "link/remote_control.h"
#include "settings/global_settings.h"

namespace vetra::app {

Workstation::Workstation(control::VetraSystem& system, settings::GlobalSettings& settings,
                         library::Operator& op, WorkstationOptions options)
    : system_(system), settings_(settings), operator_(op), options_(std::move(options)) {}

Workstation::~Workstation() = default;

void Workstation::start_up() {
    const std::string& dir = options_.program_dir;
    system_.set_work_directory(dir);
    system_.load_all();
    settings::load_settings_at_startup(settings_, dir);
    settings_.set_session_values(options_.demo, options_.port);

    const auto points = static_cast<std::size_t>(
        static_cast<std::int64_t>(std::max(0, settings_.samples_per_second)) *
        std::max(0, settings_.screen_seconds));
    system_.link().reserve_samples(points);
    system_.view().points.reserve(points);
    system_.view().results = &system_.calculation().results();

    data_dir_ = settings::create_data_directory(settings_, dir);

    system_.set_remote_source(std::make_unique<link::RemoteControl>());
    system_.fetch_station_value = [this](const std::string& name) {
        return station_client_.fetch_station_value(settings_.reg_computer_name, name);
    };
}

void Workstation::start_devices() {}

bool Workstation::shut_down(std::string& error) {
    if (shut_down_) {
        return true;
    }
    shut_down_ = true;
    system_.station().send_closing();
    // A totalizer stream may still be reading between cycles.
    system_.link().stop_acquisition();
    system_.save_all();
    settings_.first_start = false;
    if (!settings_.save()) {
        error = "Не удалось сохранить настройки: " + settings_.settings_path;
        return false;
    }
    return true;
}

void Workstation::finish() {}

}  // namespace vetra::app
