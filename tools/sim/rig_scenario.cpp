#include "rig_scenario.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "library/number_text.h"

namespace vetra::sim {
namespace {

constexpr double kConnectionLift = 2.0;

}  // namespace

std::optional<Scenario> parse_scenario(std::string_view text, std::string& error) {
    Scenario s;
    bool background_given = false;
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string key;
        if (!(words >> key)) {
            continue;
        }
        std::vector<double> v;
        std::string word;
        bool ok = true;
        while (words >> word) {
            const auto x = library::parse_number(word);
            ok = ok && x && std::isfinite(*x) && *x >= 0;
            v.push_back(x.value_or(0));
        }
        const auto one = [&](double& target) {
            ok = ok && v.size() == 1;
            target = ok ? v[0] : target;
        };
        if (key == "start_depth") {
            one(s.start_depth);
        } else if (key == "end_depth") {
            one(s.end_depth);
        } else if (key == "rop") {
            one(s.rop);
            ok = ok && s.rop > 0;
        } else if (key == "stand") {
            one(s.stand);
            ok = ok && s.stand > 0;
        } else if (key == "connection") {
            one(s.connection_seconds);
        } else if (key == "pump_rate") {
            one(s.pump_rate);
            ok = ok && s.pump_rate > 0;
        } else if (key == "lag") {
            one(s.lag_strokes);
        } else if (key == "connection_gas") {
            one(s.connection_gas);
        } else if (key == "trip_gas") {
            one(s.trip_gas);
        } else if (key == "background") {
            ok = ok && v.size() == 2;
            if (ok) {
                if (!background_given) {
                    s.background.clear();
                }
                background_given = true;
                s.background.emplace_back(v[0], v[1]);
            }
        } else if (key == "show") {
            ok = ok && v.size() == 3 && v[0] < v[1];
            if (ok) {
                s.shows.push_back({v[0], v[1], v[2]});
            }
        } else if (key == "trip") {
            ok = ok && v.size() == 3;
            if (ok) {
                s.trip_depth = v[0];
                s.trip_metres = v[1];
                s.trip_seconds = v[2];
            }
        } else {
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(number) + ": " + line;
            return std::nullopt;
        }
    }
    if (s.end_depth <= s.start_depth) {
        error = "end_depth must be below start_depth";
        return std::nullopt;
    }
    std::sort(s.background.begin(), s.background.end());
    return s;
}

RigModel::RigModel(Scenario s) : s_(std::move(s)) {
    state_.bit = state_.hole = s_.start_depth;
    state_.stroke_rate = s_.pump_rate;
    state_.surface_gas = background_at(s_.start_depth);
    last_connection_ = s_.start_depth;
}

double RigModel::background_at(double depth) const {
    const auto& b = s_.background;
    if (depth <= b.front().first) {
        return b.front().second;
    }
    for (std::size_t i = 1; i < b.size(); ++i) {
        if (depth <= b[i].first) {
            const double f = (depth - b[i - 1].first) / (b[i].first - b[i - 1].first);
            return b[i - 1].second + (b[i].second - b[i - 1].second) * f;
        }
    }
    return b.back().second;
}

double RigModel::formation_gas(double depth) const {
    for (const auto& show : s_.shows) {
        if (depth >= show.top && depth <= show.bottom) {
            return show.percent;
        }
    }
    return background_at(depth);
}

double RigModel::gas_at_bit() const {
    const double base =
        phase_ == Phase::drilling ? formation_gas(state_.hole) : background_at(state_.hole);
    return slug_left_ > 0 ? base + slug_percent_ : base;
}

const RigState& RigModel::step() {
    state_.seconds += 1;
    switch (phase_) {
        case Phase::drilling:
            state_.hole = std::min(s_.end_depth, state_.hole + s_.rop / 3600.0);
            state_.bit = state_.hole;
            if (state_.hole >= s_.end_depth) {
                phase_ = Phase::circulating;
            } else if (s_.trip_depth && !tripped_ && state_.hole >= *s_.trip_depth) {
                tripped_ = true;
                phase_ = Phase::trip_out;
                phase_left_ = s_.trip_seconds / 2;
            } else if (state_.hole - last_connection_ >= s_.stand) {
                last_connection_ = state_.hole;
                phase_ = Phase::connection;
                phase_left_ = s_.connection_seconds;
            }
            break;
        case Phase::connection:
            state_.bit = state_.hole - kConnectionLift;
            if (--phase_left_ <= 0) {
                phase_ = Phase::drilling;
                state_.bit = state_.hole;
                slug_left_ = s_.slug_strokes;
                slug_percent_ = s_.connection_gas;
            }
            break;
        case Phase::trip_out:
            state_.bit -= s_.trip_metres / (s_.trip_seconds / 2);
            if (--phase_left_ <= 0) {
                phase_ = Phase::trip_in;
                phase_left_ = s_.trip_seconds / 2;
            }
            break;
        case Phase::trip_in:
            state_.bit = std::min(state_.hole, state_.bit + s_.trip_metres / (s_.trip_seconds / 2));
            if (--phase_left_ <= 0) {
                phase_ = Phase::drilling;
                state_.bit = state_.hole;
                slug_left_ = s_.slug_strokes;
                slug_percent_ = s_.trip_gas;
            }
            break;
        case Phase::circulating:
            break;
    }
    const bool pumping = phase_ == Phase::drilling || phase_ == Phase::circulating;
    state_.stroke_rate = pumping ? s_.pump_rate : 0;
    const double pumped = state_.stroke_rate / 60.0;
    state_.strokes += pumped;
    slug_left_ = std::max(0.0, slug_left_ - pumped);
    if (pumping) {
        mud_.push_back({state_.strokes, gas_at_bit()});
    }
    // The mud at the trap left the bit one lag of strokes ago.
    const double target = state_.strokes - s_.lag_strokes;
    const auto it = std::lower_bound(mud_.begin(), mud_.end(), target,
                                     [](const Parcel& p, double v) { return p.strokes < v; });
    state_.surface_gas = it == mud_.end() || target < 0 ? background_at(s_.start_depth) : it->gas;
    if (phase_ == Phase::circulating && end_strokes_ < 0) {
        end_strokes_ = state_.strokes;
    }
    state_.done = end_strokes_ >= 0 && state_.strokes >= end_strokes_ + s_.lag_strokes * 1.2;
    return state_;
}

std::string RigModel::truth() const {
    std::string out;
    const auto line = [&](double top, double bottom, const char* what) {
        out += library::fixed_to_text(top, 2, '.') + " " + library::fixed_to_text(bottom, 2, '.') +
               " " + what + "\n";
    };
    for (const auto& show : s_.shows) {
        line(show.top, show.bottom, "drilling gas peak");
    }
    // The connections come a stand apart, unless the trip came first at its depth.
    for (double d = s_.start_depth + s_.stand; d < s_.end_depth - 1e-9; d += s_.stand) {
        if (!(s_.trip_depth && std::fabs(d - *s_.trip_depth) < 1e-6)) {
            line(d, d, "connection gas");
        }
    }
    if (s_.trip_depth && *s_.trip_depth < s_.end_depth) {
        line(*s_.trip_depth, *s_.trip_depth, "trip gas");
    }
    return out;
}

}  // namespace vetra::sim
