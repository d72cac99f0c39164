#pragma once

#include <filesystem>
#include <string>

#include "library/datetime.h"
#include "library/file_reporter.h"

namespace vetra::analysis {
class GazCalculator;
}
namespace vetra::display {
class ChromatogramPlot;
}

namespace vetra::storage {

inline constexpr const char kRunFileHeader[] = "VetraGazCurve";  // 13 bytes, no terminator
inline constexpr const char* kRunFolder = "Analiz";

// "Analiz/yyyy-mm-dd/hh-nn.rzg" under the program directory: one file per minute.
std::filesystem::path run_file_path(const std::string& program_dir, const library::LocalTime& t);

// Header, version 1, the plot record and the calculator's calculation block.
std::string run_file_bytes(const display::ChromatogramPlot& plot,
                           const analysis::GazCalculator& calculation);

// The cycle-finished listener: writes the run file of a cycle that ended normally (status
// -100 or -96) when `save_science_values` is on and the calculation has results. Creates
// the day's folder but never "Analiz" itself, so an operator turns run files off on disk by
// removing it. True when a file was written; a failure to write it is told to `reporter`.
bool write_run_file(int status, bool save_science_values, const display::ChromatogramPlot& plot,
                    const analysis::GazCalculator& calculation, const std::string& program_dir,
                    const library::LocalTime& now, library::FileReporter* reporter = nullptr);

}  // namespace vetra::storage
