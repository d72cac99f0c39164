#include "analysis/gas_ratios.h"

#include <cmath>

namespace vetra::analysis {
namespace {

std::optional<double> ratio(double numerator, double denominator) {
    if (denominator == 0) {
        return std::nullopt;
    }
    const double value = numerator / denominator;
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

// Codes are typed by people: "c4i", "C4I" and a Cyrillic "С" all mean the same.
std::string normal_gas_code(std::string_view code) {
    std::string text(code);
    if (text.rfind("\xD0\xA1", 0) == 0 || text.rfind("\xD1\x81", 0) == 0) {
        text.replace(0, 2, "C");
    }
    for (char& c : text) {
        if (c == 'c') {
            c = 'C';
        } else if (c == 'I') {
            c = 'i';
        }
    }
    return text;
}

LightGases light_gases(const std::vector<CodedValue>& values) {
    LightGases g;
    for (const auto& v : values) {
        const std::string code = normal_gas_code(v.code);
        const double p = std::isfinite(v.percent) ? v.percent : 0.0;
        if (code == "C1") {
            g.c1 += p;
        } else if (code == "C2" || code == "C2i") {
            g.c2 += p;
        } else if (code == "C3" || code == "C3i") {
            g.c3 += p;
        } else if (code == "C4" || code == "C4i") {
            g.c4 += p;
        } else if (code == "C5" || code == "C5i") {
            g.c5 += p;
        }
    }
    return g;
}

GasRatios gas_ratios(const LightGases& g) {
    GasRatios r;
    const double all = g.c1 + g.c2 + g.c3 + g.c4 + g.c5;
    if (const auto w = ratio(g.c2 + g.c3 + g.c4 + g.c5, all)) {
        r.wetness = *w * 100.0;
    }
    r.balance = ratio(g.c1 + g.c2, g.c3 + g.c4 + g.c5);
    r.character = ratio(g.c4 + g.c5, g.c3);
    r.c1_c2 = ratio(g.c1, g.c2);
    r.c1_c3 = ratio(g.c1, g.c3);
    r.c1_c4 = ratio(g.c1, g.c4);
    r.c1_c5 = ratio(g.c1, g.c5);
    return r;
}

std::string fluid_character_hint(const GasRatios& r) {
    if (!r.wetness) {
        return {};
    }
    const double wh = *r.wetness;
    const double bh = r.balance.value_or(INFINITY);  // no heavier gas: as dry as it gets
    if (wh < 0.5) {
        return bh > 100 ? "сухой газ, непродуктивно" : "сухой газ";
    }
    if (wh < 17.5) {
        if (bh > wh) {
            return r.character && *r.character > 0.5 ? "газ с нефтью" : "газ";
        }
        return "жирный газ или конденсат";
    }
    if (wh < 40) {
        return bh < wh ? "нефть" : "жирный газ";
    }
    return "остаточная нефть";
}

FluidZone fluid_zone(const GasRatios& r) {
    if (!r.wetness) {
        return FluidZone::none;
    }
    const double wh = *r.wetness;
    const double bh = r.balance.value_or(INFINITY);
    if (wh < 0.5) {
        return FluidZone::dry_gas;
    }
    if (wh < 17.5) {
        return bh > wh ? FluidZone::gas : FluidZone::oil;  // wet gas or condensate reads as oil
    }
    if (wh < 40) {
        return bh < wh ? FluidZone::oil : FluidZone::gas;
    }
    return FluidZone::residual_oil;
}

const std::vector<std::string>& ratio_titles() {
    static const std::vector<std::string> kTitles{"Wh,%",  "Bh",    "Ch",   "C1/C2",
                                                  "C1/C3", "C1/C4", "C1/C5"};
    return kTitles;
}

std::vector<std::optional<double>> ratio_values(const GasRatios& r) {
    return {r.wetness, r.balance, r.character, r.c1_c2, r.c1_c3, r.c1_c4, r.c1_c5};
}

}  // namespace vetra::analysis
