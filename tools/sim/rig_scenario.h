#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vetra::sim {

// A drilling scenario, from a text file of "key value..." lines ('#' starts a comment):
//   start_depth 1000        end_depth 1100        rop 50 (m/h)
//   stand 25 (m between connections)              connection 180 (s with the pumps off)
//   pump_rate 100 (strokes a minute)              lag 3000 (strokes from bit to trap)
//   background DEPTH PERCENT (one or more; linear between, flat beyond)
//   show TOP BOTTOM PERCENT (total gas of the rock between)
//   connection_gas PERCENT (the slug that comes up after a connection, above background)
//   trip DEPTH METRES SECONDS (once, at that hole depth: pull out and run back in)
//   trip_gas PERCENT
struct Scenario {
    double start_depth = 1000;
    double end_depth = 1100;
    double rop = 50;
    double stand = 25;
    double connection_seconds = 180;
    double pump_rate = 100;
    double lag_strokes = 3000;
    std::vector<std::pair<double, double>> background{{0, 0.4}};
    struct Show {
        double top, bottom, percent;
    };
    std::vector<Show> shows;
    double connection_gas = 1.0;
    std::optional<double> trip_depth;
    double trip_metres = 300;
    double trip_seconds = 1800;
    double trip_gas = 2.0;
    // Strokes of mud at the bit that carry a connection's or a trip's gas.
    double slug_strokes = 150;
};

// Nothing (and `error` says which line) for a bad file.
std::optional<Scenario> parse_scenario(std::string_view text, std::string& error);

// The rig at one second of the scenario.
struct RigState {
    double seconds = 0;
    double bit = 0;
    double hole = 0;
    double stroke_rate = 0;
    double strokes = 0;      // cumulative
    double surface_gas = 0;  // total gas of the mud at the trap, percent
    bool done = false;       // the end depth is drilled and its gas has come up
};

// Plays a scenario second by second on its own clock.
class RigModel {
public:
    explicit RigModel(Scenario s);
    const RigState& step();  // one second on
    const RigState& state() const { return state_; }
    double background_at(double depth) const;
    double formation_gas(double depth) const;
    // "top bottom class" lines: the shows, each connection's and the trip's depth.
    std::string truth() const;

private:
    enum class Phase { drilling, connection, trip_out, trip_in, circulating };
    double gas_at_bit() const;

    Scenario s_;
    RigState state_;
    Phase phase_ = Phase::drilling;
    double phase_left_ = 0;
    double last_connection_ = 0;
    double slug_left_ = 0;
    double slug_percent_ = 0;
    bool tripped_ = false;
    double end_strokes_ = -1;
    struct Parcel {
        double strokes, gas;
    };
    std::vector<Parcel> mud_;
};

}  // namespace vetra::sim
