#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/gas_ratios.h"
#include "analysis/gas_shows.h"
#include "analysis/totalizer_log.h"

namespace vetra::display {

// The depth scales offered by name (1:200, 1:500, 1:1000); any other positive scale is a
// free zoom.
inline constexpr int kGasLogScales[] = {200, 500, 1000};
inline constexpr int kMaxLogGases = 12;

// Depth along a paint device: 1:`scale` puts 1 cm of the device on `scale` cm of depth.
struct DepthAxis {
    double top = 0.0;               // depth at pixel row 0, m
    double pixels_per_metre = 1.0;  // > 0

    static DepthAxis at_scale(double top, double scale, double dots_per_cm) {
        return {top, dots_per_cm * 100.0 / scale};
    }
    double y_of(double depth) const { return (depth - top) * pixels_per_metre; }
    double depth_at(double y) const { return top + y / pixels_per_metre; }
};

// One gas of the log: the table's column with its code and the gas list's colour.
struct GasLogGas {
    std::string name;
    std::string code;
    std::int32_t colour = 0;  // 0x00BBGGRR
};

// One row of the results table as the log reads it.
struct GasLogSample {
    float depth = 0.0f;  // 0: no depth known
    std::uint32_t stamp = 0;
    std::array<float, kMaxLogGases> gases{};                // %, in the order of gases()
    float total = std::numeric_limits<float>::quiet_NaN();  // the total gas, %; NaN: none
};

// Where the log's rows come from, in time order. Kept this small so the log does not depend
// on how the rows are stored.
class GasLogRows {
public:
    virtual ~GasLogRows() = default;
    virtual const std::vector<GasLogGas>& gases() const = 0;
    virtual int size() const = 0;
    virtual bool read(int index, GasLogSample& out) const = 0;
    // Changes whenever rows already read may have changed (edits, deletions, a new column
    // list), so the log reads everything again.
    virtual std::uint64_t generation() const = 0;
    // "5.03.2011 14:07" for a row's stamp.
    virtual std::string stamp_text(std::uint32_t stamp) const = 0;
    // How the background of the total gas is taken (the log reads everything again when
    // they change).
    virtual analysis::ShowParameters show_parameters() const { return {}; }
};

// One pixel row of a decimated curve: the smallest and largest value of consecutive
// samples (in time order) that fall on it, as a fraction of the track's width.
struct LogRun {
    int y = 0;  // -1 above the view, `rows` below it
    float lo = 0.0f;
    float hi = 0.0f;
    bool gap_before = false;  // not joined to the previous run
};

// Joins samples given in time order into runs.
class RunBuilder {
public:
    explicit RunBuilder(int rows) : rows_(rows) {}
    void add(double y, float value);
    // The same with the pixel row already found (-1 above the view, `rows` below it).
    void add_at(int row, float value);
    int row_of(double y) const;
    void gap() { gap_ = true; }
    std::vector<LogRun> take() { return std::move(runs_); }

private:
    int rows_;
    bool gap_ = false;
    std::vector<LogRun> runs_;
};

// The curves of the log, after the gases of the source.
enum class RatioCurve { wetness = 0, balance = 1, character = 2 };

// The track axes: the gases and Wh/Bh logarithmic, Ch linear.
inline constexpr double kGasLogMin = 0.001, kGasLogMax = 100.0;
inline constexpr double kRatioLogMin = 0.1, kRatioLogMax = 1000.0;
inline constexpr double kCharacterMax = 2.0;
float log_fraction(double value, double lo, double hi);  // 0 for values <= lo

// The gas log's data: per row its depth and each curve quantised to 16 bits along its
// track's axis (far finer than any pixel), so a million rows take about 34 MB and a paint
// reads flat arrays. Exact values for the cursor are read back from the source. After the
// gases and the ratios come the total gas and its background (the show picker's, taken over
// the rows in their order), both on the gases' axis.
class GasLogModel {
public:
    static constexpr std::uint16_t kAbsent = 0xFFFF;
    static constexpr float kLevels = 65534.0f;

    // Reads the rows the source has and the model lacks; everything again when the source
    // changed under it or got shorter. True when anything changed.
    bool update(const GasLogRows& rows);
    void clear();

    int size() const { return static_cast<int>(depths_.size()); }
    int gas_count() const { return static_cast<int>(gases_.size()); }
    int curve_count() const { return gas_count() + 5; }
    const std::vector<GasLogGas>& gases() const { return gases_; }
    int ratio_curve(RatioCurve r) const { return gas_count() + static_cast<int>(r); }
    int total_curve() const { return gas_count() + 3; }
    int background_curve() const { return gas_count() + 4; }
    // Whether any row has a total gas, and a background.
    bool has_total() const { return has_total_; }
    bool has_background() const { return has_background_; }
    // A row's background, %, to a few parts in ten thousand.
    std::optional<double> background(int row) const;

    float depth(int row) const { return depths_[static_cast<std::size_t>(row)]; }
    // The level 0..kLevels of a curve, or kAbsent.
    std::uint16_t level(int curve, int row) const {
        return levels_[static_cast<std::size_t>(row) * static_cast<std::size_t>(curve_count()) +
                       static_cast<std::size_t>(curve)];
    }
    analysis::FluidZone zone(int row) const {
        return static_cast<analysis::FluidZone>(zones_[static_cast<std::size_t>(row)]);
    }
    // Rows deeper than every row before them, in time (and so depth) order.
    const std::vector<int>& drilling_rows() const { return drilling_; }
    bool is_drilling(int row) const;

    // The deepest depth and the first and last stamps; nothing before the first depth.
    std::optional<float> deepest() const;
    std::optional<float> shallowest() const;
    // The depth of the newest row that has one.
    std::optional<float> newest_depth() const;
    std::uint32_t first_stamp() const { return first_stamp_; }
    std::uint32_t last_stamp() const { return last_stamp_; }

    // A curve decimated to `rows` pixel rows of `axis`, in time order.
    std::vector<LogRun> runs(int curve, const DepthAxis& axis, int rows, bool drilling_only) const;
    // The same for a curve on the gases' axis, as fractions of 0..`full_scale` % (the
    // total-gas track is linear).
    std::vector<LogRun> linear_runs(int curve, const DepthAxis& axis, int rows, bool drilling_only,
                                    double full_scale) const;
    // The shaded zones: one per pixel row (the newest row on it), none where no row falls.
    std::vector<analysis::FluidZone> zone_rows(const DepthAxis& axis, int rows,
                                               bool drilling_only) const;
    // The row nearest to `depth` (the newest of equals); nothing when no row has a depth.
    std::optional<int> nearest_row(double depth, bool drilling_only) const;

    std::size_t memory_bytes() const;

private:
    void add(const GasLogSample& s);
    // The drilling rows from the first whose depth is not above `depth`.
    std::size_t first_drilling_at(double depth) const;
    template <class Visit>
    void visit_rows(const DepthAxis& axis, int rows, bool drilling_only, Visit visit) const;

    // Per block of kBlock consecutive rows (all rows, or the drilled rows), the depth range
    // and each curve's extremes, so a paint takes a block whose rows fall on one pixel row
    // whole instead of row by row. kAbsent as a block's high marks a missing value in it.
    static constexpr std::size_t kBlock = 32;
    struct Blocks {
        std::vector<float> low_depth, high_depth;
        std::vector<std::uint16_t> low, high;  // block * curve_count() + curve
        std::size_t memory() const;
    };
    void add_to_blocks(Blocks& b, std::size_t position, int row);

    std::vector<GasLogGas> gases_;
    std::vector<int> slots_;  // per gas: 0..4 for C1..C5 in the ratios, -1 for none
    std::uint64_t generation_ = ~std::uint64_t{0};
    analysis::ShowParameters parameters_;
    analysis::ShowPicker picker_;
    bool has_total_ = false;
    bool has_background_ = false;
    std::vector<float> depths_;
    std::vector<std::uint16_t> levels_;
    std::vector<std::uint8_t> zones_;
    std::vector<int> drilling_;
    Blocks all_blocks_;
    Blocks drilling_blocks_;
    float deepest_ = 0.0f;
    std::uint32_t first_stamp_ = 0;
    std::uint32_t last_stamp_ = 0;
};

// The total gas of the totalizer log against its recorded depth, linear 0..`full_scale`,
// in time order; records without a depth are left out.
std::vector<LogRun> totalizer_runs(const analysis::TotalizerLog& log, const DepthAxis& axis,
                                   int rows, bool drilling_only, double full_scale);
// The record nearest to `depth` (the newest of equals), for the cursor.
std::optional<std::size_t> totalizer_record_at(const analysis::TotalizerLog& log, double depth,
                                               bool drilling_only);

class TotalizerBackground;

// The readings of totalizer_runs and, with `background`, their background, in one pass.
struct TotalizerCurves {
    std::vector<LogRun> readings;
    std::vector<LogRun> background;
};
TotalizerCurves totalizer_curves(const analysis::TotalizerLog& log, const DepthAxis& axis, int rows,
                                 bool drilling_only, double full_scale,
                                 const TotalizerBackground* background);

// The background of the totalizer's readings, per record, as the show picker takes it over
// them in time order. Kept up with the log as it grows and drops its oldest, so a paint
// costs only the records new since the last.
class TotalizerBackground {
public:
    // Takes the log's new records; all again after a reset or with other parameters.
    void update(const analysis::TotalizerLog& log, const analysis::ShowParameters& parameters);
    // Record i of the log as last updated; NaN before the picker has a background.
    float at(std::size_t i) const {
        return i < values_.size() ? values_[i] : std::numeric_limits<float>::quiet_NaN();
    }

private:
    std::vector<float> values_;  // NaN: none yet; a vector, as a paint reads every one
    library::DayNumber last_time_ = 0;
    float last_value_ = 0;
    analysis::ShowParameters parameters_;
    analysis::ShowPicker picker_;
};

}  // namespace vetra::display
