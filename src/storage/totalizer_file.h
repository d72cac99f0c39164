#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "analysis/totalizer_log.h"

namespace vetra::storage {

inline constexpr const char* kTotalizerLogFileName = "gsumm.dat";

// The file as it is stored: "VetraSummCurv3", the version byte 1, the channel count, the
// record count, then each record's time (double) and value/depth pairs (floats),
// little-endian.
std::string encode_totalizer_log(const analysis::TotalizerLog& log);

enum class TotalizerLoad {
    missing,        // no file, or shorter than its header: nothing happens
    foreign,        // another header: the file is deleted
    other_version,  // the file stays, nothing is loaded
    bad_channels,   // a channel count outside 1..32: the file stays, nothing is loaded
    loaded,
};

// Whole-file save through a temporary file; an empty log writes nothing (and succeeds).
[[nodiscard]] bool save_totalizer_file(const analysis::TotalizerLog& log,
                                       const std::filesystem::path& path);
// Reads at most the last kTotalizerLogCapacity records that are present in full, whatever
// the counts in the file claim, and deletes a file with a foreign header.
TotalizerLoad load_totalizer_file(analysis::TotalizerLog& log, const std::filesystem::path& path);
// The same on the bytes of a whole file; deletes nothing.
TotalizerLoad load_totalizer_bytes(analysis::TotalizerLog& log, std::string_view file);

// Records after the 23-byte header; false (log untouched) for a bad channel count.
bool decode_totalizer_records(std::string_view records, std::int32_t channel_count,
                              std::int64_t claimed_count, analysis::TotalizerLog& log);

}  // namespace vetra::storage
