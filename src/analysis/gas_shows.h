#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/gaz_result.h"
#include "library/datetime.h"

namespace vetra::analysis {

// The class of a show, keyed by the names mud-logging data exchange uses for gas peaks.
enum class ShowClass { drilled, connection, trip };
const char* show_class_key(ShowClass c);   // "drilling gas peak", "connection gas", "trip gas"
const char* show_class_text(ShowClass c);  // the operator's words
std::optional<ShowClass> show_class_from_key(std::string_view key);

struct PeakGas {
    std::string code;
    double percent = 0;
    bool derived = false;  // a total or a ratio

    bool operator==(const PeakGas&) const = default;
};

// One analysis as the show picker sees it.
struct GasReading {
    double depth = 0;  // the sample's depth, metres; 0 unknown (the reading is passed over)
    double total = 0;  // total gas, percent
    library::DayNumber time = 0;
    // What the rig did when this gas left the bit.
    bool after_connection = false;
    bool after_trip = false;
    const std::vector<GazResult>* results = nullptr;  // the gases, kept for the peak
};

struct GasShow {
    double top = 0;
    double bottom = 0;
    double peak_depth = 0;
    double peak_total = 0;
    double background = 0;
    library::DayNumber start = 0;
    library::DayNumber end = 0;
    library::DayNumber peak_time = 0;
    ShowClass show_class = ShowClass::drilled;
    std::vector<PeakGas> peak_gases;

    bool operator==(const GasShow&) const = default;
};

struct ShowParameters {
    double background_metres = 10;
    double factor = 2;
    double minimum = 0.05;

    bool operator==(const ShowParameters&) const = default;
};

// The median of values that come and go, each step O(log n): the lower and the upper half,
// the median the least of the upper (the value at size / 2 in order, as nth_element gives).
class RunningMedian {
public:
    void insert(double v);
    void erase(double v);  // one of the values inserted
    std::size_t size() const { return low_.size() + high_.size(); }
    double median() const { return *high_.begin(); }  // size() > 0

private:
    void balance();
    std::multiset<double> low_, high_;
};

// The journal's line of a show: "Газопоказание 1523,4-1527,0 м: сумм. газ 4,2 % при фоне
// 0,6 %, метан 3,1 %" and its class.
std::string show_journal_line(const GasShow& show);

// Picks shows out of the analyses as they come. The background is the median of the total
// gas over the last metres drilled, of the readings that were not part of a show, so a show
// never raises its own background. A show runs from its first reading at or above both
// factor x background and background + minimum to its last; the reading after it closes it.
class ShowPicker {
public:
    explicit ShowPicker(ShowParameters p = {}) : p_(p) {}
    void set_parameters(ShowParameters p) { p_ = p; }

    // The show this reading closed, if any.
    std::optional<GasShow> add(const GasReading& r);
    // What is open now (for a mark before it ends).
    const std::optional<GasShow>& open_show() const { return open_; }
    // The background now; nothing until a few readings are in.
    std::optional<double> background() const;
    // Adds a reading of only its depth and total gas (a row read back from the table) and
    // gives the background after it.
    std::optional<double> background_after(double depth, double total);

    static constexpr std::size_t kMinReadings = 3;
    static constexpr std::size_t kMaxWindow = 4096;

private:
    struct Point {
        double depth;
        double total;
    };
    std::optional<GasShow> close();
    void push(const Point& p);

    ShowParameters p_;
    std::deque<Point> window_;
    RunningMedian median_;
    double deepest_ = 0;
    std::optional<GasShow> open_;
    std::vector<Point> open_points_;
    // The class votes of the open show's readings.
    int connection_votes_ = 0;
    int trip_votes_ = 0;
    int readings_ = 0;
};

}  // namespace vetra::analysis
