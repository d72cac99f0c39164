#include "app/workstation.h"

#include "control/vetra_system.h"
#include "display/chromatogram_plot.h"
#include "library/operator.h"
#include "link/remote_control.h"
#include "link/wits_link.h"
#include "reports/wits0.h"
#include "settings/global_settings.h"
#include "storage/results_table.h"

namespace vetra::app {

Workstation::Workstation(control::VetraSystem& system, settings::GlobalSettings& settings,
                         library::Operator& op, WorkstationOptions options)
    : system_(system),
      settings_(settings),
      operator_(op),
      options_(std::move(options)),
      session_(options_.demo, options_.port),
      event_log_(system.clock()) {}

Workstation::~Workstation() {
    system_.rig_depth = nullptr;
}

void Workstation::start_up() {
    const std::string& dir = options_.program_dir;
    system_.set_work_directory(dir);
    system_.load_all();
    settings::load_settings_at_startup(settings_, dir);
    session_.apply(settings_);
    event_log_.attach(dir + storage::kEventLogFileName);
    event_log_.add("Запуск программы");

    const auto points = static_cast<std::size_t>(
        display::screen_points(settings_.samples_per_second, settings_.screen_seconds));
    system_.link().reserve_samples(points);
    system_.view().points.reserve(points);
    system_.view().results = &system_.calculation().results();

    data_dir_ = settings::create_data_directory(settings_, dir);
    // A table that cannot be opened stays closed and empty; the cycles run all the same.
    (void)system_.results_table().open(data_dir_ / storage::kTableFileName);

    rig_.load(settings_.settings_path);
    system_.set_remote_source(std::make_unique<link::RemoteControl>());
    system_.fetch_station_value = [this](const std::string& name) {
        return station_client_.fetch_station_value(settings_.reg_computer_name, name);
    };
}

void Workstation::start_devices() {
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
                std::vector<reports::WitsGas> gases;
                for (const auto& r : results) {
                    if (!r.derived) {
                        gases.push_back({r.code, r.concentration});
                    }
                }
                const auto time = library::from_day_number(system_.calculation().resultsTime());
                wits_out_->send(reports::wits_cycle_packet(time, depth, gases));
            });
    }
    if (rig_.wits_in != 0) {
        wits_in_ = std::make_unique<link::WitsInput>(
            link::WitsEndpoint{static_cast<link::WitsTransport>(rig_.wits_in), rig_.wits_in_port,
                               rig_.wits_in_mode, rig_.wits_in_address},
            static_cast<reports::WitsDepthItem>(rig_.wits_in_depth_item));
        system_.rig_depth = [this] { return wits_in_->depth(); };
    }
}

bool Workstation::shut_down(std::string& error) {
    if (shut_down_) {
        return true;
    }
    shut_down_ = true;
    system_.station().send_closing();
    wits_results_.disconnect();
    system_.rig_depth = nullptr;
    wits_in_.reset();
    wits_out_.reset();
    // A totalizer stream may still be reading between cycles.
    system_.link().stop_acquisition();
    system_.save_all();
    settings_.first_start = false;
    session_.restore(settings_);
    if (!settings_.save() || !rig_.save(settings_.settings_path)) {
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
