#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/chromatogram_plot.h"
#include "library/datetime.h"
#include "library/file_reporter.h"
#include "storage/run_extra.h"

namespace vetra::analysis {
class GazCalculator;
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
// With `extra`, its companion for a re-run is written after it (bound to the bytes written,
// naming the row of a run file it replaced); `extra_path` then says where.
bool write_run_file(int status, bool save_science_values, const display::ChromatogramPlot& plot,
                    const analysis::GazCalculator& calculation, const std::string& program_dir,
                    const library::LocalTime& now, library::FileReporter* reporter = nullptr,
                    RunExtra* extra = nullptr, std::filesystem::path* extra_path = nullptr);

// A run file read back for a re-run: the plot and, per gas, the calculation block's
// concentration, area and peak maximum.
struct StoredRun {
    display::ChromatogramPlot plot;
    std::vector<std::array<double, 3>> calc;
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
};
// Nothing for bytes that are not a whole run file. Reads up to the longest screen of points.
std::optional<StoredRun> parse_run_file(std::string_view bytes);

}  // namespace vetra::storage
