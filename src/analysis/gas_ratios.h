#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vetra::analysis {

// Methane to pentane of one analysis, iso and normal forms summed, in %.
struct LightGases {
    double c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0;
};

// Sums a result list by gas code (C1 .. C5 with "i" for the iso forms; other codes ignored).
struct CodedValue {
    std::string code;
    double percent = 0;
};
// A gas code as the ratios read it: "c4I" is C4i, a Cyrillic "С1" is C1.
std::string normal_gas_code(std::string_view code);
LightGases light_gases(const std::vector<CodedValue>& values);

// The interpretation ratios a mud logger reads from the light gases. A ratio whose
// denominator is 0 (or whose value is not finite) is absent, never inf or NaN.
struct GasRatios {
    std::optional<double> wetness;    // Wh, %
    std::optional<double> balance;    // Bh
    std::optional<double> character;  // Ch
    std::optional<double> c1_c2, c1_c3, c1_c4, c1_c5;
};
GasRatios gas_ratios(const LightGases& g);

// A short reading of the fluid from the wetness, balance and character ranges; empty when the
// ratios say nothing (no gas).
std::string fluid_character_hint(const GasRatios& r);

// The zone of the wetness/balance reading that a log shades: the same boundaries as the hint.
enum class FluidZone { none, dry_gas, gas, oil, residual_oil };
FluidZone fluid_zone(const GasRatios& r);

// The column titles of the ratios, in the order ratio_values gives them.
const std::vector<std::string>& ratio_titles();
std::vector<std::optional<double>> ratio_values(const GasRatios& r);

}  // namespace vetra::analysis
