#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "library/datetime.h"
#include "storage/depth_history.h"

namespace vetra::storage {

class ResultsTable;

// Beside "data.tim", "data_depth.vdr": for each row, what the table's layout has no room
// for: when its gas was injected, the bit depth of that moment and where the row's depth
// came from. Rows are matched by index and time stamp; a later record of the same row (a
// corrected lag) supersedes an earlier one.
inline constexpr const char* kRowDepthsFileName = "data_depth.vdr";
inline constexpr std::size_t kRowDepthRecordSize = 40;
inline constexpr std::size_t kMaxRowDepthRecords = 4'000'000;

enum class DepthMethod : std::uint8_t { as_sent = 0, by_strokes = 1, by_time = 2, unknown = 3 };

struct RowDepth {
    std::uint32_t row = 0;
    std::uint32_t stamp = 0;
    library::DayNumber injection = 0;
    float sample_depth = 0;  // what the row holds
    float bit_depth = 0;     // at the moment of the analysis
    float hole_depth = 0;
    DepthMethod method = DepthMethod::as_sent;
    float lag = 0;  // strokes or minutes, by the method

    bool operator==(const RowDepth&) const = default;
};

std::string encode_row_depth(const RowDepth& r);
// The records in file order; blocks a crash cut short or damaged are skipped.
std::vector<RowDepth> decode_row_depths(std::string_view bytes);
// One whole block at the end of the file.
[[nodiscard]] bool append_row_depth(const std::filesystem::path& path, const RowDepth& r,
                                    std::error_code* error = nullptr);
// The latest record of each row, in row order.
std::vector<RowDepth> latest_row_depths(const std::filesystem::path& path);

struct LagChange {
    int rows_changed = 0;
    int rows_without_depth = 0;  // the history does not reach back to them
};

// Gives every row analysed since `since` the depth a new lag makes of its injection time,
// and keeps the new record of each beside the table.
LagChange apply_lag(ResultsTable& table, const DepthHistory& history,
                    const std::filesystem::path& row_depths, library::DayNumber since,
                    const LagParameters& lag);

}  // namespace vetra::storage
