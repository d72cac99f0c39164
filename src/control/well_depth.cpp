#include "control/well_depth.h"

#include <algorithm>
#include <cmath>

#include "library/number_text.h"
#include "library/utf8_path.h"
#include "storage/results_table.h"
#include "storage/show_file.h"

namespace vetra::control {
namespace {

double total_gas(const std::vector<analysis::GazResult>& results) {
    for (const auto& r : results) {
        if (r.derived && r.code == "GS") {
            return r.concentration;
        }
    }
    return std::nan("");
}

std::string lag_text(double strokes, double minutes) {
    return library::fixed_to_text(strokes, 0, ',') + " ходов / " +
           library::fixed_to_text(minutes, 1, ',') + " мин";
}

}  // namespace

void WellDepth::open(const std::filesystem::path& data_dir) {
    history_.open(data_dir / storage::kDepthHistoryFileName);
    strokes_ = {};
    strokes_.seed(history_.last());
    row_depths_path_ = data_dir / storage::kRowDepthsFileName;
    shows_path_ = data_dir / storage::kShowFileName;
    shows_ = storage::load_shows(shows_path_);
    picker_ = analysis::ShowPicker(
        {settings_.background_metres, settings_.show_factor, settings_.show_minimum});
}

void WellDepth::close() {
    history_.close();
    row_depths_path_.clear();
    shows_path_.clear();
    shows_.clear();
}

void WellDepth::set_reporter(library::FileReporter* reporter) {
    reporter_ = reporter;
    history_.set_reporter(reporter);
}

storage::LagParameters WellDepth::lag() const {
    return {settings_.lag_strokes, settings_.lag_minutes, settings_.line_delay_seconds};
}

void WellDepth::record(library::DayNumber now, float station_depth, const RigReading& rig) {
    storage::DepthSample s;
    s.time = now;
    const auto* last = history_.last();
    if (rig.bit_depth) {
        s.bit_depth = static_cast<float>(*rig.bit_depth);
    } else if (station_depth > 1.0f) {
        s.bit_depth = station_depth;
    }
    // Without the rig's hole depth, the hole is as deep as the bit has been.
    s.hole_depth = rig.hole_depth ? static_cast<float>(*rig.hole_depth)
                                  : std::max(s.bit_depth, last ? last->hole_depth : 0.0f);
    if (s.bit_depth == 0 && !rig.stroke_rate && !rig.strokes_total) {
        return;  // nothing known of this moment
    }
    if (last && now - last->time < 0.999 / 86400.0) {
        return;
    }
    s.strokes = strokes_.update(now, rig.stroke_rate, rig.strokes_total);
    s.strokes_live = strokes_.live();
    s.rig_total = strokes_.rig_total();
    (void)history_.add(s);
}

float WellDepth::sample_depth(float current, library::DayNumber injection) const {
    if (!settings_.lagged_here()) {
        return current;
    }
    const auto lagged = history_.lagged_depth(injection, lag());
    return lagged ? lagged->bit_depth : 0.0f;
}

void WellDepth::row_added(const storage::ResultsTable& table,
                          const std::vector<analysis::GazResult>& results, float row_depth,
                          float bit_depth, library::DayNumber injection) {
    const auto lagged = history_.lagged_depth(injection, lag());
    if (!row_depths_path_.empty() && table.row_count() > 0) {
        const int index = table.row_count() - 1;
        storage::RowDepth r;
        r.row = static_cast<std::uint32_t>(index);
        r.stamp = table.row(index) ? table.row(index)->stamp : 0;
        r.injection = injection;
        r.sample_depth = row_depth;
        r.bit_depth = bit_depth;
        r.hole_depth = history_.last() ? history_.last()->hole_depth : 0.0f;
        if (!settings_.lagged_here()) {
            r.method = storage::DepthMethod::as_sent;
        } else if (!lagged) {
            r.method = storage::DepthMethod::unknown;
        } else {
            r.method = lagged->by_strokes ? storage::DepthMethod::by_strokes
                                          : storage::DepthMethod::by_time;
            r.lag = static_cast<float>(lagged->by_strokes ? settings_.lag_strokes
                                                          : settings_.lag_minutes);
        }
        std::error_code error;
        const bool ok = storage::append_row_depth(row_depths_path_, r, &error);
        if (reporter_) {
            reporter_->report(library::utf8_from_path(row_depths_path_), ok, error);
        }
    }

    analysis::GasReading reading;
    reading.depth = row_depth;
    reading.total = total_gas(results);
    reading.time = injection;
    reading.results = &results;
    if (lagged) {
        const auto context = history_.context_at(lagged->bit_time);
        reading.after_connection = context.after_connection;
        reading.after_trip = context.after_trip;
    }
    picker_.set_parameters(
        {settings_.background_metres, settings_.show_factor, settings_.show_minimum});
    const auto show = picker_.add(reading);
    if (!show) {
        return;
    }
    shows_.push_back(*show);
    if (shows_.size() > storage::kMaxShows) {
        shows_.erase(shows_.begin());
    }
    if (!shows_path_.empty()) {
        std::error_code error;
        const bool ok = storage::save_shows(shows_path_, shows_, &error);
        if (reporter_) {
            reporter_->report(library::utf8_from_path(shows_path_), ok, error);
        }
    }
    if (journal) {
        journal(analysis::show_journal_line(*show));
    }
    show_found(*show);
}

std::string WellDepth::apply_lag(storage::ResultsTable& table, library::DayNumber since,
                                 double lag_strokes, double lag_minutes) {
    const storage::LagParameters lag{lag_strokes, lag_minutes, settings_.line_delay_seconds};
    const auto change = storage::apply_lag(table, history_, row_depths_path_, since, lag);
    std::string line = "Отставание изменено с " +
                       lag_text(settings_.lag_strokes, settings_.lag_minutes) + " на " +
                       lag_text(lag_strokes, lag_minutes) + " с " +
                       library::format_date_time(library::from_day_number(since)) +
                       ": изменено строк " + std::to_string(change.rows_changed);
    if (change.rows_without_depth > 0) {
        line += ", без глубины " + std::to_string(change.rows_without_depth);
    }
    if (journal) {
        journal(line);
    }
    return line;
}

}  // namespace vetra::control
