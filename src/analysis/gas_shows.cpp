#include "analysis/gas_shows.h"

#include <algorithm>
#include <cmath>

#include "library/number_text.h"

namespace vetra::analysis {
namespace {

std::string percent_text(double v) {
    const int decimals = v >= 0.1 ? 1 : (v >= 0.01 ? 2 : 3);
    return library::fixed_to_text(v, decimals, ',');
}

std::vector<PeakGas> peak_gases(const std::vector<GazResult>* results) {
    std::vector<PeakGas> out;
    if (results) {
        for (const auto& r : *results) {
            out.push_back({r.code, r.concentration, r.derived});
        }
    }
    return out;
}

bool is_methane(const PeakGas& g) {
    // A Cyrillic "С" is taken for the Latin one, as the gas list allows it.
    return !g.derived && (g.code == "C1" || g.code == "С1");
}

}  // namespace

const char* show_class_key(ShowClass c) {
    switch (c) {
        case ShowClass::connection:
            return "connection gas";
        case ShowClass::trip:
            return "trip gas";
        case ShowClass::drilled:
            break;
    }
    return "drilling gas peak";
}

const char* show_class_text(ShowClass c) {
    switch (c) {
        case ShowClass::connection:
            return "газ наращивания";
        case ShowClass::trip:
            return "газ после СПО";
        case ShowClass::drilled:
            break;
    }
    return "при бурении";
}

std::optional<ShowClass> show_class_from_key(std::string_view key) {
    for (const auto c : {ShowClass::drilled, ShowClass::connection, ShowClass::trip}) {
        if (key == show_class_key(c)) {
            return c;
        }
    }
    return std::nullopt;
}

std::string show_journal_line(const GasShow& show) {
    std::string line = "Газопоказание " + library::fixed_to_text(show.top, 1, ',') + "-" +
                       library::fixed_to_text(show.bottom, 1, ',') + " м: сумм. газ " +
                       percent_text(show.peak_total) + " % при фоне " +
                       percent_text(show.background) + " %";
    const auto methane = std::find_if(show.peak_gases.begin(), show.peak_gases.end(), is_methane);
    if (methane != show.peak_gases.end()) {
        line += ", метан " + percent_text(methane->percent) + " %";
    }
    return line + " (" + show_class_text(show.show_class) + ")";
}

void RunningMedian::insert(double v) {
    (!high_.empty() && v >= *high_.begin() ? high_ : low_).insert(v);
    balance();
}

void RunningMedian::erase(double v) {
    // Every value of the lower half is at most the least of the upper.
    auto& half = !high_.empty() && v >= *high_.begin() ? high_ : low_;
    if (const auto it = half.find(v); it != half.end()) {
        half.erase(it);
    }
    balance();
}

void RunningMedian::balance() {
    const std::size_t lower = size() / 2;
    while (low_.size() > lower) {
        high_.insert(low_.extract(std::prev(low_.end())));
    }
    while (low_.size() < lower) {
        low_.insert(high_.extract(high_.begin()));
    }
}

std::optional<double> ShowPicker::background() const {
    if (window_.size() < kMinReadings) {
        return std::nullopt;
    }
    return median_.median();
}

std::optional<double> ShowPicker::background_after(double depth, double total) {
    GasReading reading;
    reading.depth = depth;
    reading.total = total;
    (void)add(reading);
    return background();
}

void ShowPicker::push(const Point& p) {
    window_.push_back(p);
    median_.insert(p.total);
}

std::optional<GasShow> ShowPicker::add(const GasReading& r) {
    if (!(r.depth > 0) || !std::isfinite(r.total)) {
        return std::nullopt;
    }
    const auto level = open_ ? std::optional<double>(open_->background) : background();
    const bool high = level && r.total >= p_.factor * *level && r.total >= *level + p_.minimum;
    // A level that stays up longer than the background's own span is the new background.
    const bool too_long =
        open_ &&
        std::max(open_->bottom, r.depth) - std::min(open_->top, r.depth) > p_.background_metres;
    std::optional<GasShow> closed;
    if (high && !too_long) {
        if (!open_) {
            open_ = GasShow{r.depth,
                            r.depth,
                            r.depth,
                            r.total,
                            *level,
                            r.time,
                            r.time,
                            r.time,
                            ShowClass::drilled,
                            peak_gases(r.results)};
            connection_votes_ = trip_votes_ = readings_ = 0;
        }
        open_->top = std::min(open_->top, r.depth);
        open_->bottom = std::max(open_->bottom, r.depth);
        open_->end = r.time;
        if (r.total > open_->peak_total) {
            open_->peak_total = r.total;
            open_->peak_depth = r.depth;
            open_->peak_time = r.time;
            open_->peak_gases = peak_gases(r.results);
        }
        ++readings_;
        open_points_.push_back({r.depth, r.total});
        connection_votes_ += r.after_connection ? 1 : 0;
        trip_votes_ += r.after_trip ? 1 : 0;
        return std::nullopt;
    }
    if (open_) {
        closed = close();
        if (too_long) {
            for (const auto& p : open_points_) {
                push(p);
            }
        }
        open_points_.clear();
    }
    deepest_ = std::max(deepest_, r.depth);
    if (r.depth >= deepest_ - p_.background_metres) {
        push({r.depth, r.total});
    }
    while (!window_.empty() && (window_.front().depth < deepest_ - p_.background_metres ||
                                window_.size() > kMaxWindow)) {
        median_.erase(window_.front().total);
        window_.pop_front();
    }
    return closed;
}

// The class of most of its readings: gas that arrives after a connection or a trip comes
// from the mud that stood at the bit, not from rock drilled.
std::optional<GasShow> ShowPicker::close() {
    GasShow show = std::move(*open_);
    open_.reset();
    if (trip_votes_ * 2 > readings_) {
        show.show_class = ShowClass::trip;
    } else if (connection_votes_ * 2 > readings_) {
        show.show_class = ShowClass::connection;
    }
    return show;
}

}  // namespace vetra::analysis
