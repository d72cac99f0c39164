#include "storage/run_file.h"

#include <cstdio>
#include <sstream>
#include <system_error>

#include "analysis/cycle_status.h"
#include "analysis/gaz_calculator.h"
#include "display/chromatogram_plot.h"
#include "library/atomic_file.h"
#include "library/utf8_path.h"
#include "storage/plot_record.h"

namespace vetra::storage {

std::filesystem::path run_file_path(const std::string& program_dir, const library::LocalTime& t) {
    char day[32];
    char minute[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", t.year, t.month, t.day);
    std::snprintf(minute, sizeof minute, "%02d-%02d.rzg", t.hour, t.minute);
    return library::path_from_utf8(program_dir) / kRunFolder / day / minute;
}

std::string run_file_bytes(const display::ChromatogramPlot& plot,
                           const analysis::GazCalculator& calculation) {
    std::ostringstream out(std::ios::binary);
    out.write(kRunFileHeader, sizeof kRunFileHeader - 1);
    out.put(1);
    write_plot(plot, out);
    calculation.writeCalcBlock(out);
    return std::move(out).str();
}

bool write_run_file(int status, bool save_science_values, const display::ChromatogramPlot& plot,
                    const analysis::GazCalculator& calculation, const std::string& program_dir,
                    const library::LocalTime& now, library::FileReporter* reporter) {
    if ((status != analysis::kStatusNoError && status != analysis::kStatusClosingFrame) ||
        !save_science_values || calculation.results().empty()) {
        return false;
    }
    const std::filesystem::path path = run_file_path(program_dir, now);
    std::error_code ec;
    if (!std::filesystem::is_directory(path.parent_path().parent_path(), ec)) {
        return false;  // run files are off
    }
    std::error_code folder_error;
    std::filesystem::create_directory(path.parent_path(), folder_error);
    std::error_code error;
    const bool ok = library::write_file_atomically(path, run_file_bytes(plot, calculation), &error);
    if (reporter != nullptr) {
        // One name for the day's run files: each minute's file is new, the failure is not.
        reporter->report(library::utf8_from_path(path.parent_path() / "*.rzg"), ok,
                         folder_error ? folder_error : error);
    }
    return ok;
}

}  // namespace vetra::storage
