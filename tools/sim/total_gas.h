#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vetra::sim {

// A scripted total-gas curve in percent over the simulator's running time, in seconds:
//   const:V                  V all the time
//   ramp:FROM:TO:SECONDS     FROM to TO over SECONDS, then again from FROM
//   sine:MEAN:AMPLITUDE:PERIOD
//   a file of "seconds percent" lines (# starts a comment), joined by straight lines and
//   held after its last point.
class TotalGasCurve {
public:
    static std::optional<TotalGasCurve> parse(std::string_view spec);
    static TotalGasCurve constant(double percent);

    double at(double seconds) const;

private:
    enum class Shape { constant, ramp, sine, table };
    Shape shape_ = Shape::constant;
    double a_ = 0, b_ = 0, c_ = 1;
    std::vector<std::pair<double, double>> points_;
};

// The built-in totalizer's two frame codes (0..8191, reading r = code x 10 / 8191) for a
// total gas in percent, given the program's full-scale factors "summ_max1" (low range)
// and "summ_max10" (high range): the program turns r back into (r x summ_max x 0.1).
std::pair<int, int> builtin_codes(double percent, double summ_max1 = 1.0, double summ_max10 = 10.0);

// One packet of the external totalizer, "MMV" and 21 bytes summing to 0 modulo 256, for a
// total gas in percent as the program reads it (main reading / 8192 x coeff); with
// `bad_sum` the check byte is off by one.
std::array<std::uint8_t, 24> totalizer_packet(double percent, std::uint8_t counter,
                                              double coeff = 0.1, bool bad_sum = false);

}  // namespace vetra::sim
