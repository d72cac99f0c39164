#include "app/workstation.h"

#include "control/vetra_system.h"
#include "display/chromatogram_plot.h"
#include "library/operator.h"
#include "link/remote_control.h"
#include "link/tsumm_thread.h"
#include "link/wits0.h"
#include "link/wits_link.h"
#include "settings/global_settings.h"
#include "storage/results_table.h"
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
}

void Workstation::start_up() {
    const std::string& dir = options_.program_dir;
    system_.set_work_directory(dir);
    system_.load_all();
    settings::load_settings_at_startup(settings_, dir);
    settings_.set_session_values(options_.demo, options_.port);
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
    log_path_ = data_dir_ / storage::kTotalizerLogFileName;
    system_.link().set_channel_count(1);
    system_.link().load_totalizer_log(log_path_);
    last_save_ = std::chrono::steady_clock::now();

    rig_.load(settings_.settings_path);
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
                               rig_.wits_in_mode, rig_.wits_in_address},
            static_cast<link::WitsDepthItem>(rig_.wits_in_depth_item));
        system_.rig_depth = [this] { return wits_in_->depth(); };
    }
}

void Workstation::send_wits_total_gas(double percent) {
    if (wits_out_) {
        wits_out_->send(link::wits_total_gas_packet(
            library::local_time_of(std::chrono::system_clock::now()), system_.depth(), percent));
    }
}

void Workstation::on_tick() {
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
    const auto now = std::chrono::steady_clock::now();
    if (now - last_save_ < save_interval_ || log_save_running()) {
        return;
    }
    last_save_ = now;
    wait_for_log_save();
    if (system_.link().totalizer_log().empty()) {
        return;
    }
    // A copy of a full log is a few megabytes of memcpy; encoding and the disk are left to
    // the worker, so the tick goes on at once.
    background_save_ =
        std::async(std::launch::async, [log = system_.link().totalizer_log(), path = log_path_] {
            return storage::save_totalizer_file(log, path);
        });
}

// The links' own view; an address that cannot work is said as such.
void Workstation::update_wits_status() {
    using link::WitsTransport;
    const auto tcp_address_bad = [](int transport, const std::string& address) {
        return (transport == static_cast<int>(WitsTransport::tcp_client) ||
                transport == static_cast<int>(WitsTransport::tcp_server)) &&
               !link::parse_host_port(address);
    };
    if (!wits_out_) {
        status_.set_wits_state(WitsDirection::output, Health::off, {});
    } else if (tcp_address_bad(rig_.wits_out, rig_.wits_out_address)) {
        status_.set_wits_state(WitsDirection::output, Health::fault,
                               "адрес «" + rig_.wits_out_address + "» неверен");
    } else {
        const int receivers = wits_out_->receivers();
        const auto transport = static_cast<WitsTransport>(rig_.wits_out);
        std::string text;
        if (transport == WitsTransport::tcp_server) {
            text = "порт " + std::to_string(wits_out_->listening_port()) + ", " +
                   (receivers > 0 ? "приёмников " + std::to_string(receivers) : "нет приёмника");
        } else if (transport == WitsTransport::tcp_client) {
            text = (receivers > 0 ? "связь с " : "нет связи с ") + rig_.wits_out_address;
        } else {
            text = "порт " + rig_.wits_out_port + (receivers > 0 ? "" : " не открыт");
        }
        status_.set_wits_state(WitsDirection::output,
                               receivers > 0                            ? Health::ok
                               : transport == WitsTransport::tcp_server ? Health::waiting
                                                                        : Health::fault,
                               text);
    }
    if (!wits_in_) {
        status_.set_wits_state(WitsDirection::input, Health::off, {});
    } else if (tcp_address_bad(rig_.wits_in, rig_.wits_in_address)) {
        status_.set_wits_state(WitsDirection::input, Health::fault,
                               "адрес «" + rig_.wits_in_address + "» неверен");
    } else if (wits_in_->depth()) {
        status_.set_wits_state(WitsDirection::input, Health::ok, "глубина есть");
    } else {
        status_.set_wits_state(WitsDirection::input, Health::waiting, "нет данных");
    }
}

bool Workstation::log_save_running() const {
    return background_save_.valid() &&
           background_save_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void Workstation::wait_for_log_save() {
    if (background_save_.valid()) {
        (void)background_save_.get();
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
    wait_for_log_save();
    if (!log_path_.empty()) {
        (void)system_.link().save_totalizer_log(log_path_);
    }
    if (summ_thread_) {
        summ_thread_->stop();
    }
    system_.save_all();
    settings_.first_start = false;
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
