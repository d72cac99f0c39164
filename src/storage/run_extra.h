#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/sample_record.h"
#include "library/datetime.h"

namespace vetra::storage {

// What a run file lacks for an exact re-run of its analysis, kept beside it in a file of the
// program's own ("hh-nn.rzx" beside "hh-nn.rzg"), so the run file keeps its layout: the
// method (rate, zero interval, correction, height mode, threshold), the gases with their
// windows, when each gas was computed, the display offset the stored points carry, and the
// row the result became. Written with the run file, and again when its result is published
// later, by the "Сохр." button.
inline constexpr const char* kRunExtraExtension = ".rzx";
inline constexpr int kMaxRunGases = 64;

struct RunGas {
    std::string name;
    std::string code;
    std::int32_t colour = 0;
    float start = 0;  // the configured window, seconds
    float end = 0;
    // Samples held at the step that computed the gas, so a re-run computes the gases in the
    // same order; -1 when it was not computed.
    std::int64_t computed_at = -1;

    bool operator==(const RunGas&) const = default;
};

struct RunExtra {
    // The run file this belongs to: a run file replaced or written without its companion
    // (a crash between the two) no longer matches.
    std::uint64_t run_size = 0;
    std::uint64_t run_hash = 0;
    library::DayNumber start_time = 0;    // the acquisition's start
    library::DayNumber finish_time = 0;   // when the run file was written
    library::DayNumber results_time = 0;  // 0 while the result is not published
    std::uint32_t row_stamp = 0;          // the time stamp of its table row; 0 = none yet
    // Rows whose run files this one replaced within the same minute.
    std::vector<std::uint32_t> replaced_stamps;
    std::int32_t rate = 0;
    std::int32_t zero_seconds = 0;
    bool window_correction = false;
    bool from_pick = false;
    double min_gaz_value = 0;
    float depth = 0;
    // The stored points are the samples less this offset; a point for which adding it back
    // does not give the sample's exact value keeps the value here.
    double offset = 0;
    std::vector<std::pair<std::int32_t, double>> patches;
    std::vector<RunGas> gases;  // in gas-list order

    bool operator==(const RunExtra&) const = default;
};

std::filesystem::path run_extra_path(const std::filesystem::path& run_file);

// FNV-1a over the bytes: enough to tell one run file from another, not a seal.
std::uint64_t bytes_hash(std::string_view bytes);

std::string encode_run_extra(const RunExtra& extra);
// Nothing for a file that is not one, is cut short or damaged; counts are capped first.
std::optional<RunExtra> decode_run_extra(std::string_view bytes);

// Records the offset and the points it does not restore exactly.
void keep_samples(RunExtra& extra, const std::vector<double>& points,
                  const std::vector<analysis::SampleRecord>& samples, double offset);
// The samples as the calculation saw them, from the stored points and seconds.
std::vector<analysis::SampleRecord> restore_samples(const RunExtra& extra,
                                                    const std::vector<double>& points,
                                                    const std::vector<std::int32_t>& seconds);

}  // namespace vetra::storage
