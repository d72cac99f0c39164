#include "storage/run_file.h"

#include <cstdio>
#include <cstring>
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
                    const library::LocalTime& now, library::FileReporter* reporter, RunExtra* extra,
                    std::filesystem::path* extra_path) {
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
    const std::string bytes = run_file_bytes(plot, calculation);
    const std::filesystem::path companion = run_extra_path(path);
    if (extra != nullptr) {
        // The row of the analysis this file replaces must not be taken for this one's.
        if (const auto old = library::read_whole_file(companion)) {
            if (const auto before = decode_run_extra(*old)) {
                extra->replaced_stamps = before->replaced_stamps;
                if (before->row_stamp != 0) {
                    extra->replaced_stamps.push_back(before->row_stamp);
                }
            }
        }
    }
    bool ok = library::write_file_atomically(path, bytes, &error);
    if (ok && extra != nullptr) {
        extra->run_size = bytes.size();
        extra->run_hash = bytes_hash(bytes);
        ok = library::write_file_atomically(companion, encode_run_extra(*extra), &error);
        if (extra_path != nullptr) {
            *extra_path = companion;
        }
    }
    if (reporter != nullptr) {
        // One name for the day's run files: each minute's file is new, the failure is not.
        reporter->report(library::utf8_from_path(path.parent_path() / "*.rzg"), ok,
                         folder_error ? folder_error : error);
    }
    return ok;
}

std::optional<StoredRun> parse_run_file(std::string_view bytes) {
    constexpr std::size_t kHeader = sizeof kRunFileHeader - 1;
    if (bytes.size() < kHeader + 1 || bytes.substr(0, kHeader) != kRunFileHeader ||
        bytes[kHeader] != 1) {
        return std::nullopt;
    }
    StoredRun run;
    run.size = bytes.size();
    run.hash = bytes_hash(bytes);
    std::istringstream in(std::string(bytes.substr(kHeader + 1)), std::ios::binary);
    read_plot(run.plot, in, static_cast<int>(display::kMaxScreenPoints));
    char tag[5] = {};
    std::int32_t count = 0;
    if (!in || !in.read(tag, 5) || std::memcmp(tag, "CALC", 5) != 0 ||
        !in.read(reinterpret_cast<char*>(&count), sizeof count) || count < 0 ||
        count > kMaxRunGases) {
        return std::nullopt;
    }
    run.calc.resize(static_cast<std::size_t>(count));
    for (auto& entry : run.calc) {
        if (!in.read(reinterpret_cast<char*>(entry.data()), sizeof(double) * 3)) {
            return std::nullopt;
        }
    }
    return run;
}

}  // namespace vetra::storage
