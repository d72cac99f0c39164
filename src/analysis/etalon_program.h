#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_result.h"
#include "library/number_range.h"
#include "library/number_text.h"

namespace vetra::analysis {

// The arithmetic of the calibration window, free of any window: the reduction of repeated
// areas, the result grid's texts and their reading back, the point editor's dilutions.

// Marks a discarded repeat; a value within 0.1 of it counts as discarded.
inline constexpr double kDiscarded = -987654321.0;

// One robust value from the areas of the repeats: 1 the value, 2 the mean, 3 the two
// closest to their mean, 4..6 without the extremes, 7 and more without two of each.
double reduce_repeats(std::vector<double> areas);

// Coefficient K = (A / D) / C of the result grid; 0 when C is 0.
double grid_coefficient(double concentration, double area, double degassing);

// The result grid row of a point: per gas its concentration and coefficient, six decimals.
std::vector<std::string> result_row(const EtalonPoint& point, int gas_count, double degassing);
// Reads a (possibly hand-edited) result row back: C from the concentration cell and
// A = C x K x D. A cell that does not parse leaves that value as it was.
void read_result_row(EtalonPoint& point, const std::vector<std::string>& cells, double degassing);

// Sort by the first gas's concentration, ascending (the program grid's order).
void sort_points(std::vector<EtalonPoint>& points);

// What a degassing coefficient may be, and a text as the window takes it (nullopt outside).
inline constexpr library::NumberRange kDegassingRange{0.0001, 10000, 6};
std::optional<double> parse_degassing(std::string_view text);

// The point editor's lists.
const std::vector<std::string>& dilution_numerators();
const std::vector<std::string>& dilution_denominators();
// "a / b" with both whole numbers non-zero; nullopt otherwise.
std::optional<std::pair<int, int>> parse_dilution(std::string_view text);
// a / b when both texts are non-zero whole numbers, 1 otherwise.
double dilution_factor(std::string_view numerator, std::string_view denominator);
std::string dilution_text(std::string_view numerator, std::string_view denominator);

// How the window names a point's dilution: the stored text, "без разбавления" for none.
inline constexpr const char* kUndiluted = "без разбавления";
std::string dilution_caption(std::string_view dilution);
// The run's line for attempt k of n: `Разбавление "1 / 10", попытка 1 из 3`.
std::string attempt_caption(std::string_view dilution, int attempt, int repeats);

// The "проценты" list of the settings: comma-separated, one value per gas; a value that is
// missing or does not parse is nullopt. A comma inside a number is taken as a separator, so
// the list is written with points.
std::vector<std::optional<double>> parse_percents(std::string_view text, int gas_count);
std::string percents_text(const std::vector<double>& values);

// The curve view's logarithmic axes run from 1e-5 to the smallest decade of 1e-7 .. 1e6
// above the largest value (at least one decade above the bottom).
inline constexpr double kAxisBottom = 1e-5;
double decade_above(double largest);
// Position 0 .. length of a positive value on the axis, and the value at a position.
double log_position(double value, double top, double length);
double log_value(double position, double top, double length);

// The areas of the attempts of one run. An attempt whose result list holds fewer records
// than there are gases ended before every gas was computed and cannot be used.
class RepeatCapture {
public:
    static constexpr std::size_t kCapacity = 41;

    explicit RepeatCapture(int gas_count) : gas_count_(gas_count) {}

    // False (and nothing kept) for a result list short of a gas.
    [[nodiscard]] bool add_attempt(const std::vector<GazResult>& results);
    int attempts() const { return static_cast<int>(attempts_.size()); }
    // Stores the reduced area of every gas in the point.
    void apply(EtalonPoint& point) const;

private:
    int gas_count_;
    std::vector<std::vector<double>> attempts_;
};

}  // namespace vetra::analysis
