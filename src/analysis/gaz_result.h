#pragma once

#include <cstdint>
#include <string>

namespace vetra::analysis {

// One record of the result list: a gas (derived false), the total or a relative value
// (derived true). Total and relative records leave value_text and peak_max unset.
struct GazResult {
    std::int32_t colour = 0;
    std::string name;
    std::string description;
    std::string key;
    std::string value_text;
    std::string code;
    double concentration = 0;  // percent
    double area = 0;           // peak area, or the height in height mode
    double peak_max = 0;       // millivolts
    bool derived = false;
};

}  // namespace vetra::analysis
