#include "storage/row_depths.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

#include "library/atomic_file.h"
#include "library/utf8_path.h"
#include "storage/record_bytes.h"
#include "storage/results_table.h"

namespace vetra::storage {
namespace {

using record_bytes::checksum;
using record_bytes::get;
using record_bytes::put;

// The table row a record names: its index when the stamp still matches, else the row with
// its stamp at or before that index (rows deleted since moved it up).
std::optional<int> find_row(const ResultsTable& table, const RowDepth& r) {
    const int count = table.row_count();
    for (int i = std::min(static_cast<int>(r.row), count - 1); i >= 0; --i) {
        const auto row = table.row(i);
        if (row && row->stamp == r.stamp) {
            return i;
        }
        if (row && row->stamp < r.stamp) {
            break;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string encode_row_depth(const RowDepth& r) {
    std::string bytes(kRowDepthRecordSize, '\0');
    auto* start = reinterpret_cast<unsigned char*>(bytes.data());
    unsigned char* p = start;
    put(p, r.row);
    put(p, r.stamp);
    put(p, r.injection);
    put(p, r.sample_depth);
    put(p, r.bit_depth);
    put(p, r.hole_depth);
    put(p, static_cast<std::uint32_t>(r.method));
    put(p, r.lag);
    put(p, checksum(start, kRowDepthRecordSize - 4));
    return bytes;
}

std::vector<RowDepth> decode_row_depths(std::string_view bytes) {
    const std::size_t count = std::min(bytes.size() / kRowDepthRecordSize, kMaxRowDepthRecords);
    std::vector<RowDepth> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto* start =
            reinterpret_cast<const unsigned char*>(bytes.data()) + i * kRowDepthRecordSize;
        const unsigned char* c = start + kRowDepthRecordSize - 4;
        if (checksum(start, kRowDepthRecordSize - 4) != get<std::uint32_t>(c)) {
            continue;
        }
        const unsigned char* p = start;
        RowDepth r;
        r.row = get<std::uint32_t>(p);
        r.stamp = get<std::uint32_t>(p);
        r.injection = get<double>(p);
        r.sample_depth = get<float>(p);
        r.bit_depth = get<float>(p);
        r.hole_depth = get<float>(p);
        const auto method = get<std::uint32_t>(p);
        r.lag = get<float>(p);
        if (method > static_cast<std::uint32_t>(DepthMethod::unknown)) {
            continue;
        }
        r.method = static_cast<DepthMethod>(method);
        out.push_back(r);
    }
    return out;
}

bool append_row_depth(const std::filesystem::path& path, const RowDepth& r,
                      std::error_code* error) {
    // A block a crash cut short would put every later one off the block boundary.
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size % kRowDepthRecordSize != 0) {
        std::filesystem::resize_file(path, size - size % kRowDepthRecordSize, ec);
    }
    std::ofstream out(path, std::ios::binary | std::ios::app);
    const std::string bytes = encode_row_depth(r);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out.good() && error) {
        *error = std::make_error_code(std::errc::io_error);
    }
    return out.good();
}

std::vector<RowDepth> latest_row_depths(const std::filesystem::path& path) {
    const auto bytes = library::read_whole_file(path);
    if (!bytes) {
        return {};
    }
    std::map<std::pair<std::uint32_t, std::uint32_t>, RowDepth> latest;
    for (const auto& r : decode_row_depths(*bytes)) {
        latest[{r.row, r.stamp}] = r;
    }
    std::vector<RowDepth> out;
    out.reserve(latest.size());
    for (const auto& [key, r] : latest) {
        out.push_back(r);
    }
    return out;
}

LagChange apply_lag(ResultsTable& table, const DepthHistory& history,
                    const std::filesystem::path& row_depths, library::DayNumber since,
                    const LagParameters& lag) {
    LagChange change;
    for (auto r : latest_row_depths(row_depths)) {
        if (r.injection < since) {
            continue;
        }
        const auto index = find_row(table, r);
        if (!index) {
            continue;
        }
        const auto depth = history.lagged_depth(r.injection, lag);
        if (!depth) {
            ++change.rows_without_depth;
            continue;
        }
        r.row = static_cast<std::uint32_t>(*index);
        r.sample_depth = depth->bit_depth;
        r.method = depth->by_strokes ? DepthMethod::by_strokes : DepthMethod::by_time;
        r.lag = static_cast<float>(depth->by_strokes ? lag.lag_strokes : lag.lag_minutes);
        if (table.set_field(*index, -1, depth->bit_depth)) {
            ++change.rows_changed;
        }
        (void)append_row_depth(row_depths, r);
    }
    return change;
}

}  // namespace vetra::storage
