#pragma once

#include <cstdint>

namespace vetra::analysis {

// One chromatogram point as the acquisition hands it over and the run file stores it:
// a fixed 24-byte record whose reserved fields carry nothing (zeros).
struct SampleRecord {
    std::uint64_t reserved0 = 0;
    double value = 0.0;        // millivolts
    std::int32_t seconds = 0;  // whole seconds since the acquisition began
    std::int32_t reserved1 = 0;
};
static_assert(sizeof(SampleRecord) == 24);

}  // namespace vetra::analysis
