#include "control/vetra_system.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

#include "library/atomic_file.h"
#include "library/utf8_path.h"
#include "link/chromatograph_port.h"
#include "storage/run_file.h"

namespace vetra::control {
namespace {

constexpr const char* kSection = "VetraSystem";
constexpr const char* kWarmupBusyMessage =
    "Для запуска режима прогрева дождитесь завершения цикла работы хроматографа";
constexpr int kWarmupCycles = 3;
constexpr double kDepthValidSeconds = 10.0;

struct WarmupStep {
    std::int32_t cycle_length;
    std::int32_t heating_end;
};

// Indexed by the cycles left: 3 and 2 are short conditioning cycles, 1 a full one.
WarmupStep warmup_step(int cycles_left) {
    return cycles_left == 1 ? WarmupStep{120, 70} : WarmupStep{65, 63};
}

}  // namespace

std::string cannot_open_port_message(const std::string& port_name) {
    return "ОШИБКА: Невозможно открыть порт " + port_name +
           ". Возможно он отсутствует на компьютере, или занят другим устройством.";
}

std::vector<link::ResultLine> result_lines(const std::vector<analysis::GazResult>& results) {
    std::vector<link::ResultLine> lines;
    lines.reserve(results.size());
    for (const auto& r : results) {
        lines.emplace_back(r.key, r.concentration);
    }
    return lines;
}

VetraSystem::VetraSystem(settings::GlobalSettings& settings, library::Operator& op,
                         const library::Clock& clock)
    : settings_(settings),
      operator_(op),
      clock_(clock),
      text_data_(clock),
      link_(settings, data_lock_, calls_, op, clock),
      calculation_(settings, link_.samples(), gases_, data_lock_, op, clock),
      results_table_(clock) {
    link_.on_totalizer_missing = [this] { on_totalizer_missing(); };
    link_.send_totalizer = [this](double value) { station_.send_totalizer(value); };
    link_.depth_for_log = [this] { return depth_for_log(); };
    calculation_.set_concentration_function(
        [this](int gas, double area) { return calibration_.concentration(gas, area); });
    calibration_.set_gas_count([this] { return gases_.count(); });
    results_table_.set_reporter(&files_);
    text_data_.reporter = &files_;
    // Each listener stores what it can: a table that cannot be written does not keep the
    // result from the station or the text data.
    calculation_.results_notification.connect(
        [this](const std::vector<analysis::GazResult>& results, float depth) {
            if (results_table_.append(results, depth)) {
                note_published();
            }
        });
    calculation_.results_notification.connect(
        [this](const std::vector<analysis::GazResult>& results, float) {
            station_.send_results(result_lines(results), link_.acquisition_start_time(),
                                  calculation_.resultsTime());
        });
    calculation_.results_notification.connect(
        [this](const std::vector<analysis::GazResult>& results, float depth) {
            (void)text_data_.write(results, depth);
        });
    text_data_.save_science_values = [this] { return save_science_values_; };
    gases_.changed.connect([this] { calibration_.fitToGasCount(); });
    cycle_finished.connect([this](int status) { write_run_files(status); });
    gases_.changed.connect([this] { text_data_.mark_header(); });
    // The table's ratios and the LAS curves take each column's code from the gas list.
    results_text_.set_gas_list(&gases_);
    gases_.changed.connect([this] { results_text_.gas_codes_changed(); });
}

VetraSystem::~VetraSystem() = default;

void VetraSystem::register_bindings(settings::BindingList& l) {
    l.add_bool(&save_all_values_, kSection, "save_all_values");
    l.add_bool(&save_science_values_, kSection, "save_science_values");
    l.add_int_block(&work_mode_, kSection, "work_mode");
    l.add_integer(&time_mode_period_, kSection, "time_mode_period");
    l.add_integer(&max_depth_counter_, kSection, "max_depth_counter");
}

// The work settings dialog offers 0..10; anything else from the file would make a series
// that never ends (a negative count) or overflow.
void VetraSystem::after_load(const settings::IniFile&) {
    max_depth_counter_ = std::clamp(max_depth_counter_, 0, kMaxDepthCounter);
}

void VetraSystem::set_work_directory(std::string directory) {
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    base_dir_ = std::move(directory);
    calibration_path_ = base_dir_ + "calibr.ini";
    history_path_ = base_dir_ + "vetra2.history";
    settings_path_ = base_dir_ + settings::kSettingsFileName;
    text_data_.set_directory(library::path_from_utf8(base_dir_ + "TextData"));
}

void VetraSystem::load_all() {
    calibration_.load(calibration_path_);
    history_.load(history_path_);
    gases_.load(settings_path_);
    load(settings_path_);
    if (mode_changed) {
        mode_changed();
    }
}

void VetraSystem::save_all() {
    save_files();
    settings::IniFile file;
    std::error_code error = std::make_error_code(std::errc::io_error);
    bool ok = file.open(settings_path_);
    if (ok) {
        save_sections(file);
        ok = file.save(&error);
    }
    files_.report(settings_path_, ok, error);
}

// A failure keeps the previous file whole, and is reported.
void VetraSystem::save_files() {
    settings::IniFile calibration;
    std::error_code error = std::make_error_code(std::errc::io_error);
    bool ok = calibration.open(calibration_path_);
    if (ok) {
        calibration_.save(calibration);
        ok = calibration.save(&error);
    }
    files_.report(calibration_path_, ok, error);
    ok = history_.save(history_path_, &error);
    files_.report(history_path_, ok, error);
}

void VetraSystem::save_sections(settings::IniFile& file) {
    gases_.save(file);
    save(file);
}

void VetraSystem::on_timer_tick() {
    if (state_ == 0) {
        running_step();
    } else {
        idle_step();
    }
    remote_poll();
    remote_poll();
    seconds_count();
}

// Warm-up cycles and the entry cycles of a depth series are not calculated.
bool VetraSystem::calculating() const {
    return warmup_left_ == 0 && depth_left_ <= 1;
}

// Notes how many samples each gas was computed with, so a re-run computes the gases in the
// same order.
void VetraSystem::process_calculation() {
    if (!calculating()) {
        return;
    }
    calculation_.process(analysis_depth(), save_all_values_);
    computed_at_.resize(static_cast<std::size_t>(gases_.count()), -1);
    for (const analysis::GazResult& r : calculation_.results()) {
        for (int g = 0; !r.derived && g < gases_.count(); ++g) {
            auto& at = computed_at_[static_cast<std::size_t>(g)];
            if (at < 0 && gases_.gas(g).name == r.name) {
                at = static_cast<std::int64_t>(link_.sample_count());
            }
        }
    }
}

// The row a result became: the run file's companion names it, at once when the run file
// exists already (a result saved with "Сохр." after the cycle), else when it is written.
void VetraSystem::note_published() {
    const auto row = results_table_.row(results_table_.row_count() - 1);
    if (!row) {
        return;
    }
    published_stamp_ = row->stamp;
    published_time_ = calculation_.resultsTime();
    if (state_ != 0 && last_extra_ && last_extra_->row_stamp == 0) {
        last_extra_->row_stamp = published_stamp_;
        last_extra_->results_time = published_time_;
        std::error_code error;
        const bool ok = library::write_file_atomically(
            last_extra_path_, storage::encode_run_extra(*last_extra_), &error);
        files_.report(library::utf8_from_path(last_extra_path_.parent_path() / "*.rzx"), ok, error);
    }
}

void VetraSystem::write_run_files(int status) {
    storage::RunExtra extra;
    extra.start_time = link_.acquisition_start_time();
    extra.finish_time = clock_.now_day_number();
    extra.results_time = published_time_;
    extra.row_stamp = published_stamp_;
    extra.rate = settings_.samples_per_second;
    extra.zero_seconds = settings_.zero_seconds;
    extra.window_correction = settings_.window_correction;
    extra.from_pick = settings_.calc_result_from_pick;
    extra.min_gaz_value = settings_.min_gaz_value;
    extra.depth = static_cast<float>(calculation_.depth());
    storage::keep_samples(extra, view_.points, link_.samples(), cycle_offset_);
    for (int g = 0; g < gases_.count(); ++g) {
        const analysis::GazOption& gas = gases_.gas(g);
        const auto i = static_cast<std::size_t>(g);
        extra.gases.push_back({gas.name, gas.code, gas.colour, gas.start, gas.end,
                               i < computed_at_.size() ? computed_at_[i] : -1});
    }
    std::filesystem::path extra_path;
    if (storage::write_run_file(status, save_science_values_, view_, calculation_, base_dir_,
                                clock_.local_now(), &files_, &extra, &extra_path)) {
        last_extra_ = std::move(extra);
        last_extra_path_ = std::move(extra_path);
    }
}

void VetraSystem::running_step() {
    if (!link_.idle()) {
        process_calculation();
        return;
    }
    const int status = link_.status();
    if (status == analysis::kStatusNoError || status == analysis::kStatusClosingFrame) {
        // Points that arrived after the last tick complete the cycle's last gases.
        process_calculation();
        // The last points and results, as shown, for the history and the run file.
        refresh_view(true);
        history_.add(view_, gases_, calculation_.results(), settings_.samples_per_second,
                     settings_.background_colour, clock_.local_now());
        link_.set_display_offset(calculation_.zeroLevel());
        if (warmup_left_ != 0) {
            --warmup_left_;
        }
        if (depth_left_ != 0) {
            --depth_left_;
        }
        state_ = 1;
        cycle_finished(status);
        return;
    }
    state_ = 1;
    if (status == analysis::kStatusNoAnswer) {
        connection_lost();
        throw VetraError(kLostConnectionMessage);
    }
    cycle_finished(status);
}

bool VetraSystem::refresh_view(bool force) {
    if (link_.sample_count() == view_.point_count() && !force) {
        return false;
    }
    link_.copy_new_samples(view_.points, view_.seconds);
    view_.set_background(settings_.background_colour);
    view_.rebuild_windows(gases_, calculation_.results(), settings_.samples_per_second);
    return true;
}

void VetraSystem::idle_step() {
    if (warmup_left_ != 0) {
        warmup_start();
        return;
    }
    switch (work_mode_) {
        case kByTime:
            if (seconds_counter_ > time_mode_period_) {
                seconds_counter_ = 0;
                start_analysis();
                return;
            }
            break;
        case kContinuous:
            start_analysis();
            return;
        case kByDepthMark:
            if (depth_left_ != 0) {
                start_analysis();
                return;
            }
            break;
        case kByTotalizer: {
            double reading = 0.0;
            // Both as 32-bit floats: the threshold's own reading must not exceed it.
            if (totalizer_reading(reading) &&
                static_cast<float>(reading) > static_cast<float>(settings_.porog_value)) {
                start_analysis();
            }
            break;
        }
        default:
            break;
    }
    if (!link_.idle()) {
        return;
    }
    if (start_pending_) {
        start_analysis();
    } else if (settings_.device_type == settings::kModelVelon && settings_.totalizer_use.load()) {
        give_port_params();
        (void)link_.start_totalizer_stream();  // a failure is silent; the next idle tick retries
    }
}

bool VetraSystem::totalizer_reading(double& reading) {
    if (settings_.porog_from_station) {
        if (!fetch_station_value) {
            return false;
        }
        reading = fetch_station_value("сумм_газ3");
        return true;
    }
    if (settings_.totalizer_use.load() && (settings_.device_type == settings::kModelTd5 ||
                                           settings_.device_type == settings::kModelVelon)) {
        reading = link_.current_average();
        return true;
    }
    return false;
}

void VetraSystem::start_analysis() {
    start_pending_ = false;
    if (state_ == 0) {
        return;
    }
    if (!link_.idle()) {
        start_pending_ = true;
        return;
    }
    std::array<std::int32_t, 8> program{};
    for (std::size_t i = 0; i < settings_.times.size(); ++i) {
        program[i] = settings_.times[i];
    }
    program[7] = settings_.cycle_time;
    link_.set_program(program);
    give_port_params();
    if (!link_.start_cycle()) {
        if (link_.status() == analysis::kStatusNoAnswer ||
            link_.status() == analysis::kStatusCannotOpen) {
            start_failed(link_.status());
        }
        if (link_.status() == analysis::kStatusNoAnswer) {
            throw VetraError(kNoAnswerMessage);
        }
        if (link_.status() == analysis::kStatusCannotOpen) {
            throw VetraError(cannot_open_port_message(settings_.port_name));
        }
    }
    gases_.resetWorkingWindows();
    view_.clear_for_cycle();
    calculation_.reset();
    cycle_offset_ = link_.display_offset();
    computed_at_.assign(static_cast<std::size_t>(gases_.count()), -1);
    published_stamp_ = 0;
    published_time_ = 0;
    last_extra_.reset();
    state_ = 0;
    seconds_counter_ = 0;
    cycle_started();
}

void VetraSystem::give_port_params() {
    link_.set_port_params(settings_.port_name, settings_.port_speed, settings_.port_parity,
                          settings_.port_stop_bits);
}

void VetraSystem::request_warmup() {
    if (state_ == 1) {
        warmup_left_ = kWarmupCycles;
        return;
    }
    operator_.show_message(kWarmupBusyMessage, "Сообщение", library::MessageIcon::information);
}

void VetraSystem::warmup_start() {
    const std::int32_t cycle_length = settings_.cycle_length();
    const std::int32_t heating_end = settings_.heating_end();
    const WarmupStep step = warmup_step(warmup_left_);
    settings_.set_cycle_length(step.cycle_length);
    settings_.set_heating_end(step.heating_end);
    try {
        start_analysis();
    } catch (...) {
        settings_.set_cycle_length(cycle_length);
        settings_.set_heating_end(heating_end);
        throw;
    }
    settings_.set_cycle_length(cycle_length);
    settings_.set_heating_end(heating_end);
}

void VetraSystem::set_work_mode(std::int32_t mode) {
    if (mode == kByTotalizer && !settings_.totalizer_use.load() && !settings_.porog_from_station) {
        mode = kManual;
    }
    work_mode_ = mode;
    if (mode_changed) {
        mode_changed();
    }
}

void VetraSystem::start_depth_series() {
    depth_left_ = max_depth_counter_ + 1;
    start_analysis();
}

void VetraSystem::remote_poll() {
    if (!settings_.remote_control) {
        depth_ = 0.0f;
        return;
    }
    const int operation = remote_ ? remote_->poll() : RemoteSource::kNone;
    std::string refusal;
    if (operation != RemoteSource::kNone) {
        take_remote_period(refusal);
        if (remote_->depth() > 1.0f) {
            depth_ = remote_->depth();
            depth_time_ = clock_.now_whole_seconds();
        }
    }
    switch (operation) {
        case RemoteSource::kNone: {
            const double elapsed = (clock_.now_whole_seconds() - depth_time_) * 86400.0;
            if (std::llround(elapsed) >= kDepthValidSeconds) {
                depth_ = 0.0f;
            }
            break;
        }
        case RemoteSource::kStart:
            if (remote_->depth() > 1.0f) {
                depth_ = remote_->depth();
            }
            if (work_mode_ == kByDepthMark && state_ == 1) {
                start_depth_series();
            }
            break;
        case RemoteSource::kMode:
            if (take_remote_mode(refusal)) {
                set_work_mode(remote_->mode_value());
            }
            break;
        default:
            break;
    }
    if (!refusal.empty()) {
        remote_refused("Отклонено сообщение станции \"" + remote_->text() + "\": " + refusal);
    }
}

// A period shorter than a cycle would make the time mode a continuous one, which the station
// can ask for by its number; 0 and negatives are what a broken sender leaves.
void VetraSystem::take_remote_period(std::string& refusal) {
    const std::int32_t period = remote_->time_period();
    if (period == -1) {
        return;
    }
    const std::int32_t shortest = std::max<std::int32_t>(settings_.cycle_length(), 1);
    if (period == RemoteSource::kBadValue || period < shortest) {
        refusal += (refusal.empty() ? "" : "; ") +
                   std::string(
                       "интервал должен быть целым числом секунд не меньше "
                       "длительности цикла (") +
                   std::to_string(shortest) + " с), интервал не изменён";
        return;
    }
    time_mode_period_ = period;
}

// Stored, a number outside the modes would stop every automatic start without a word.
bool VetraSystem::take_remote_mode(std::string& refusal) {
    const std::int32_t mode = remote_->mode_value();
    if (mode >= kManual && mode <= kByTotalizer) {
        return true;
    }
    refusal += (refusal.empty() ? "" : "; ") +
               std::string("режим должен быть целым числом от 0 до 4, режим не изменён");
    return false;
}

void VetraSystem::seconds_count() {
    const int second = clock_.local_now().second;
    if (work_mode_ == kByTime && second != last_second_) {
        last_second_ = second;
        ++seconds_counter_;
    }
}

float VetraSystem::depth() const {
    if (depth_ != 0.0f || !rig_depth) {
        return depth_;
    }
    const auto rig = rig_depth();
    return rig ? static_cast<float>(*rig) : 0.0f;
}

float VetraSystem::analysis_depth() const {
    const float d = depth();
    return sample_depth ? sample_depth(d, link_.acquisition_start_time()) : d;
}

// Cut from the depth's shortest decimal text, which is what the station sent: 100.1 is
// held as 100.0999985 and must not be logged as 100.09.
double VetraSystem::depth_for_log() const {
    const float d = depth();
    if (d == 0.0f) {
        return 0.0;
    }
    std::array<char, 64> text{};
    const auto written =
        std::to_chars(text.data(), text.data() + text.size(), d, std::chars_format::fixed);
    std::string_view digits(text.data(), static_cast<std::size_t>(written.ptr - text.data()));
    if (const auto point = digits.find('.'); point != std::string_view::npos) {
        digits = digits.substr(0, std::min(digits.size(), point + 3));
    }
    double logged = 0.0;
    std::from_chars(digits.data(), digits.data() + digits.size(), logged);
    return logged;
}

std::string VetraSystem::status_text() const {
    if (warmup_left_ != 0) {
        return "Прогрев колонок " + std::to_string(kWarmupCycles + 1 - warmup_left_) + " из " +
               std::to_string(kWarmupCycles);
    }
    if (depth_left_ >= 2) {
        return "Вход в режим #" + std::to_string(depth_left_ - 1);
    }
    switch (work_mode_) {
        case kManual:
            return "Ручной режим";
        case kByTime:
            return "Временной режим";
        case kContinuous:
            return "Непрерывный режим";
        case kByDepthMark:
            return "По метке глубины";
        case kByTotalizer:
            return "По газосумматору";
        default:
            return "Неизвестный режим " + std::to_string(work_mode_);
    }
}

void VetraSystem::on_totalizer_missing() {
    if (work_mode_ == kByTotalizer) {
        set_work_mode(kManual);
    }
    settings_.save();
    if (mode_changed) {
        mode_changed();
    }
}

}  // namespace vetra::control
