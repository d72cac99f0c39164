#include "app/workstation_status.h"

#include <algorithm>
#include <cstdio>

#include "control/vetra_system.h"
#include "library/file_reporter.h"
#include "link/remote_control.h"
#include "link/station_client.h"
#include "link/tsumm_thread.h"
#include "settings/global_settings.h"
#include "storage/event_log.h"

namespace vetra::app {
namespace {

using State = ChromatographState;

bool is_fault(State s) {
    return s == State::no_answer || s == State::cannot_open || s == State::lost;
}

Health worse(Health a, Health b) {
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

std::string two(int n) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

std::string clock_text(const library::LocalTime& t) {
    return two(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
}

// Long device paths (/dev/serial/by-id/...) keep their start and their end.
std::string shorten(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    // Cut at UTF-8 character starts only.
    std::size_t head = limit / 2 - 1;
    while (head > 0 && (static_cast<unsigned char>(text[head]) & 0xC0) == 0x80) {
        --head;
    }
    std::size_t tail = text.size() - (limit - head - 1);
    while (tail < text.size() && (static_cast<unsigned char>(text[tail]) & 0xC0) == 0x80) {
        ++tail;
    }
    return text.substr(0, head) + "…" + text.substr(tail);
}

}  // namespace

std::string short_time(const library::LocalTime& t, const library::LocalTime& today) {
    if (t.year == today.year && t.month == today.month && t.day == today.day) {
        return clock_text(t);
    }
    return two(t.day) + "." + two(t.month) + " " + clock_text(t);
}

WorkstationStatus::WorkstationStatus(control::VetraSystem& system, storage::EventLog& journal)
    : system_(system), journal_(journal) {
    connections_.emplace_back(system_.start_failed.connect([this](int status) {
        enter(status == analysis::kStatusCannotOpen ? State::cannot_open : State::no_answer);
    }));
    connections_.emplace_back(system_.connection_lost.connect([this] { enter(State::lost); }));
    connections_.emplace_back(
        system_.remote_refused.connect([this](const std::string& line) { journal_.add(line); }));
    connections_.emplace_back(system_.cycle_started.connect([this] {
        // The chromatograph answered the program frame.
        if (state_ != State::receiving) {
            enter(State::ready);
        }
    }));
    connections_.emplace_back(system_.calculation().results_notification.connect(
        [this](const std::vector<analysis::GazResult>&, float) {
            last_results_ = system_.clock().local_now();
        }));
}

WorkstationStatus::~WorkstationStatus() = default;

void WorkstationStatus::enter(State state) {
    if (state == state_) {
        return;
    }
    const State before = state_;
    state_ = state;
    if (is_fault(state)) {
        journal_.add(journal_text(state));
    } else if (is_fault(before)) {
        journal_.add("Связь с хроматографом восстановлена (порт " + system_.settings().port_name +
                     ")");
    }
}

std::string WorkstationStatus::journal_text(State state) const {
    const std::string& port = system_.settings().port_name;
    switch (state) {
        case State::cannot_open:
            return "Не удалось открыть порт хроматографа " + port;
        case State::no_answer:
            return "Хроматограф не отвечает (порт " + port + ")";
        case State::lost: {
            std::string text = "Потеряна связь с хроматографом (порт " + port + ")";
            if (last_frame_) {
                text += ", последний кадр в " + clock_text(*last_frame_);
            }
            return text;
        }
        default:
            return {};
    }
}

void WorkstationStatus::update() {
    const library::Clock& clock = system_.clock();
    const std::uint32_t now_ms = clock.tick_count_ms();
    auto& link = system_.link();
    const std::uint64_t frames = link.frame_count();
    if (frames != frames_seen_) {
        frames_seen_ = frames;
        last_frame_ = clock.local_now();
        last_frame_ms_ = now_ms;
        enter(State::receiving);
    } else if (state_ == State::receiving && now_ms - last_frame_ms_ > kFreshMs) {
        enter(State::ready);
    }
    // Model 1 streams its totalizer between cycles; the controller retries that stream
    // silently, so its failures are noticed here.
    if (system_.state() == 1 && link.idle() && !system_.settings().demo &&
        now_ms - last_frame_ms_ > kFreshMs) {
        if (link.status() == analysis::kStatusCannotOpen) {
            enter(State::cannot_open);
        } else if (link.status() == analysis::kStatusNoAnswer && state_ != State::lost) {
            enter(State::no_answer);
        }
    }
    update_totalizer();
}

void WorkstationStatus::update_totalizer() {
    const auto& s = system_.settings();
    const library::Clock& clock = system_.clock();
    const std::uint32_t now_ms = clock.tick_count_ms();
    StatusField f;
    const bool use = s.totalizer_use.load();
    if (!use && !s.porog_from_station) {
        totalizer_ = f;
        return;
    }
    if (!use) {
        // The threshold mode reads the station's totalizer.
        const bool connected = station_client_ && station_client_->connected();
        f.health = connected                                      ? Health::ok
                   : system_.work_mode() == control::kByTotalizer ? Health::fault
                                                                  : Health::waiting;
        f.text = connected ? "Газосумматор: со станции" : "Газосумматор: станция не отвечает";
        if (!connected && f.health == Health::waiting) {
            f.text = "Газосумматор: со станции";
        }
        f.detail = "Показания газосумматора берутся у станции (" + s.reg_computer_name + ")";
        totalizer_ = f;
        return;
    }
    bool fresh_reading = false;
    if (s.device_type == settings::kModelTd5) {
        if (reader_ && reader_->packets() != packets_seen_) {
            packets_seen_ = reader_->packets();
            fresh_reading = true;
        }
    } else {
        const auto& log = system_.link().totalizer_log();
        const double last = log.empty() ? 0.0 : log.time(log.size() - 1);
        if (last != last_log_time_) {
            last_log_time_ = last;
            fresh_reading = true;
        }
    }
    if (fresh_reading) {
        last_reading_ = clock.local_now();
        last_reading_ms_ = now_ms;
    }
    const bool fresh = last_reading_ && now_ms - last_reading_ms_ <= kFreshMs;
    const std::string port =
        s.device_type == settings::kModelTd5 ? s.totalizer_port_name : s.port_name + ", встроенный";
    f.detail = "Газосумматор (" + port + ")";
    if (s.device_type == settings::kModelTd5 && reader_ && !reader_->open_succeeded()) {
        f.health = Health::fault;
        f.text = "Газосумматор: порт " + shorten(s.totalizer_port_name, 24) + " не открыт";
    } else if (s.device_type == settings::kModelVelon && s.totalizer_present.load() == 2) {
        f.health = Health::fault;
        f.text = "Газосумматор: не найден";
    } else if (fresh) {
        f.health = Health::ok;
        f.text = "Газосумматор: есть";
    } else {
        f.health = Health::waiting;
        f.text = last_reading_
                     ? "Газосумматор: нет данных с " + short_time(*last_reading_, clock.local_now())
                     : "Газосумматор: нет данных";
    }
    if (last_reading_) {
        f.detail += ", последнее показание в " + clock_text(*last_reading_);
    }
    totalizer_ = f;
}

std::optional<int> WorkstationStatus::seconds_to_next_start() const {
    if (system_.work_mode() != control::kByTime) {
        return std::nullopt;
    }
    // The idle step starts when the counter has passed the period.
    return std::max(0, system_.time_mode_period() + 1 - system_.seconds_counter());
}

std::string WorkstationStatus::port_label() const {
    const auto& s = system_.settings();
    const char* model = s.device_type == settings::kModelTd5     ? "ТД-5ЛК"
                        : s.device_type == settings::kModelVelon ? "Велон"
                                                                 : "?";
    return shorten(s.port_name, 24) + " " + model;
}

StatusField WorkstationStatus::chromatograph() const {
    StatusField f;
    const auto& s = system_.settings();
    const library::LocalTime now = system_.clock().local_now();
    const std::string frame = last_frame_ ? short_time(*last_frame_, now) : std::string();
    if (s.demo) {
        f.health = Health::ok;
        f.text = "Демонстрация";
        f.detail = "Демонстрационный режим: хроматограф не подключён";
        return f;
    }
    f.text = port_label() + ": ";
    switch (state_) {
        case State::unknown:
            f.health = Health::waiting;
            f.text += "ожидание запуска";
            break;
        case State::receiving:
            f.health = Health::ok;
            f.text += "связь есть, кадр " + frame;
            break;
        case State::ready:
            f.health = Health::ok;
            f.text += frame.empty() ? "связь есть" : "готов, кадр " + frame;
            break;
        case State::no_answer:
            f.health = Health::fault;
            f.text += "не отвечает";
            break;
        case State::cannot_open:
            f.health = Health::fault;
            f.text += "порт не открывается";
            break;
        case State::lost:
            f.health = Health::fault;
            f.text += frame.empty() ? "связь потеряна" : "связь потеряна, кадр " + frame;
            break;
    }
    f.detail = "Хроматограф: порт " + s.port_name;
    if (last_frame_) {
        f.detail += ", последний кадр " + library::format_date_time(*last_frame_);
    }
    return f;
}

StatusField WorkstationStatus::mode() const {
    StatusField f;
    f.health = Health::ok;
    f.text = system_.status_text();
    f.detail = "Режим работы";
    if (const auto left = seconds_to_next_start()) {
        if (*left == 0) {
            f.text += system_.state() == 0 ? ", запуск после цикла" : ", запуск сейчас";
        } else {
            f.text += ", запуск через " + std::to_string(*left / 60) + ":" + two(*left % 60);
        }
        f.detail = "Режим работы по времени с интервалом " +
                   std::to_string(system_.time_mode_period()) + " сек";
    }
    return f;
}

StatusField WorkstationStatus::last_analysis() const {
    StatusField f;
    if (!last_results_) {
        f.health = Health::waiting;
        f.text = "Анализ: ещё не было";
        f.detail = "Результатов анализа в этом сеансе ещё не было";
        return f;
    }
    f.health = Health::ok;
    f.text = "Анализ: " + short_time(*last_results_, system_.clock().local_now());
    f.detail = "Последний опубликованный анализ: " + library::format_date_time(*last_results_);
    return f;
}

StatusField WorkstationStatus::totalizer() const {
    return totalizer_;
}

StatusField WorkstationStatus::station() const {
    StatusField f;
    switch (system_.station().last_delivery()) {
        case link::StationSender::Delivery::none:
            f.health = Health::waiting;
            f.text = "Станция: ожидание";
            f.detail = "Станции ещё ничего не посылалось";
            break;
        case link::StationSender::Delivery::delivered:
            f.health = Health::ok;
            f.text = "Станция: есть";
            f.detail = "Станция принимает результаты";
            break;
        case link::StationSender::Delivery::refused:
            f.health = Health::fault;
            f.text = "Станция: не принимает";
            f.detail = "Станция не принимает результаты: она не запущена или занята";
            break;
    }
    if (system_.settings().remote_control) {
        if (remote_ && remote_->is_valid()) {
            f.detail += "; управление от станции включено";
        } else {
            f.health = worse(f.health, Health::fault);
            f.text += ", управление недоступно";
            f.detail += "; канал управления от станции не создан (программа уже запущена?)";
        }
    }
    return f;
}

void WorkstationStatus::set_wits_state(WitsDirection direction, Health health, std::string text) {
    StatusField& f = wits_[direction == WitsDirection::output ? 0 : 1];
    f.health = health;
    f.text = std::move(text);
}

StatusField WorkstationStatus::wits() const {
    StatusField f;
    const char* names[2] = {"выход ", "вход "};
    for (int i = 0; i < 2; ++i) {
        if (wits_[i].health == Health::off) {
            continue;
        }
        f.health = worse(f.health, wits_[i].health);
        f.text += (f.text.empty() ? "WITS: " : "; ") + std::string(names[i]) + wits_[i].text;
        f.detail +=
            (f.detail.empty() ? "" : "\n") + std::string("WITS ") + names[i] + wits_[i].text;
    }
    return f;
}

void WorkstationStatus::file_failed(const std::string& name, const std::string& reason) {
    const auto [it, began] = files_.insert_or_assign(name, reason);
    // The journal cannot take a line about itself.
    if (began && name != journal_.path()) {
        journal_.add(library::file_failure_text(name, reason));
    }
}

void WorkstationStatus::file_recovered(const std::string& name) {
    if (files_.erase(name) != 0) {
        journal_.add(library::file_recovered_text(name));
    }
}

StatusField WorkstationStatus::files() const {
    StatusField f;
    if (files_.empty()) {
        return f;
    }
    f.health = Health::fault;
    f.text = files_.size() == 1 ? "Не записан файл " + shorten(files_.begin()->first, 32)
                                : "Не записаны файлы: " + std::to_string(files_.size());
    for (const auto& [name, reason] : files_) {
        f.detail += (f.detail.empty() ? "" : "\n") + name + (reason.empty() ? "" : ": " + reason);
    }
    return f;
}

}  // namespace vetra::app
