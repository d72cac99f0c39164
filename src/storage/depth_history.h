#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/datetime.h"
#include "library/file_reporter.h"

namespace vetra::storage {

// The well's depth and stroke history, "depth_history.vdh" in the well folder: what the bit
// and the hole depth and the pumped strokes were, when, one record a second at most. It lets
// an analysis find the depth its gas came from, also across a restart of the program.
inline constexpr const char* kDepthHistoryFileName = "depth_history.vdh";
inline constexpr std::size_t kDepthRecordSize = 40;
// A week at one record a second is kept; the file is cut back to it once it holds a day more.
inline constexpr std::int64_t kDepthKeepSeconds = 7 * 86400;
inline constexpr std::size_t kDepthMaxRecords = 8 * 86400;

struct DepthSample {
    library::DayNumber time = 0;  // local time of the program's clock
    float bit_depth = 0;          // metres; 0 unknown
    float hole_depth = 0;         // metres; 0 unknown
    // Strokes pumped since the history began, carried on while the rig sends none.
    double strokes = 0;
    // The rig's own stroke counter as it was sent (NaN when it sends none), so strokes pumped
    // while the program was closed are counted at the next start.
    double rig_total = 0;
    // The strokes were counted from the rig's stroke rates or counter at this record.
    bool strokes_live = false;

    bool operator==(const DepthSample&) const = default;
};

// Records are whole 40-byte blocks, each with a checksum: appends write one block at a
// block boundary, and a block a crash cut short or damaged is skipped when reading.
void encode_depth_sample(const DepthSample& s, unsigned char* out);
std::optional<DepthSample> decode_depth_sample(const unsigned char* in);
std::vector<DepthSample> decode_depth_history(std::string_view bytes);

struct LagParameters {
    double lag_strokes = 0;
    double lag_minutes = 0;
    double line_delay_seconds = 0;
};

// Where the gas of an analysis came from.
struct LaggedDepth {
    library::DayNumber bit_time = 0;  // when the gas left the bit
    float bit_depth = 0;
    float hole_depth = 0;
    bool by_strokes = false;
};

// What the rig was doing around the moment a gas left the bit, for the class of a show.
struct RigContext {
    bool after_connection = false;  // the pumps stood with the bit off bottom just before
    bool after_trip = false;        // the bit was far off bottom and came back
};

// The history in memory, in time order, and its file.
class DepthHistory {
public:
    // Loads the file (a missing one is an empty history); damaged blocks are skipped and a
    // file that cannot be read is left as it is. Later records are appended to it.
    void open(const std::filesystem::path& path);
    void close();
    const std::filesystem::path& path() const { return path_; }
    void set_reporter(library::FileReporter* reporter) { reporter_ = reporter; }

    // Keeps a sample when a second or more has passed since the last; false otherwise or
    // when it is older than the last. The file write is reported, never thrown.
    bool add(const DepthSample& sample);
    std::span<const DepthSample> samples() const { return samples_; }
    const DepthSample* last() const { return samples_.empty() ? nullptr : &samples_.back(); }

    // The bit depth when the gas injected at `injection` left the bit: the gas reached the
    // chromatograph a line delay before, and the trap one lag earlier, counted in strokes
    // while they were counted (pumps off: the mud stands still), else in minutes. Nothing
    // when the history does not reach back that far.
    std::optional<LaggedDepth> lagged_depth(library::DayNumber injection,
                                            const LagParameters& lag) const;
    // The record state at a time, between records as the later one has it.
    std::optional<DepthSample> at(library::DayNumber time) const;
    RigContext context_at(library::DayNumber bit_time) const;

private:
    void append_to_file(const DepthSample& sample);
    void compact();
    void index_far_off_bottom();

    std::vector<DepthSample> samples_;
    // The times of the records with the bit far off bottom, so a trip is found at once.
    std::vector<library::DayNumber> far_off_bottom_;
    std::filesystem::path path_;
    library::FileReporter* reporter_ = nullptr;
};

// Counts the pumped strokes from what the rig sends: its stroke counter when it has one
// (a counter that goes back was reset), else the pumps' stroke rates, integrated over time.
class StrokeCounter {
public:
    // Continues from the last record of a history.
    void seed(const DepthSample* last);
    // `rates`: the strokes per minute of the pumps the rig sends (none: unknown); `total`:
    // its stroke counter. Returns the strokes pumped so far; live() says whether they counted.
    double update(library::DayNumber now, std::optional<double> rates, std::optional<double> total);
    bool live() const { return live_; }
    double rig_total() const;

private:
    double strokes_ = 0;
    std::optional<double> last_total_;
    std::optional<library::DayNumber> last_time_;
    bool live_ = false;
};

}  // namespace vetra::storage
