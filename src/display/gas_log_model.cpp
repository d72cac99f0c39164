#include "display/gas_log_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vetra::display {
namespace {

// log2 by a table of the mantissa's top 12 bits with linear steps between: within 1e-7 of
// the library's, at a fraction of its cost (a million rows take nine each).
constexpr int kLogBits = 12;
struct Log2Table {
    float v[(1 << kLogBits) + 1];
    Log2Table() {
        for (int i = 0; i <= (1 << kLogBits); ++i) {
            v[i] = static_cast<float>(std::log2(1.0 + static_cast<double>(i) / (1 << kLogBits)));
        }
    }
};
const Log2Table kLog2;

// For finite normal values > 0.
float fast_log2(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
    const std::uint32_t mantissa = bits & 0x7FFFFF;
    const std::uint32_t index = mantissa >> (23 - kLogBits);
    const float step = static_cast<float>(mantissa & ((1u << (23 - kLogBits)) - 1)) /
                       static_cast<float>(1u << (23 - kLogBits));
    return static_cast<float>(exponent) + kLog2.v[index] +
           (kLog2.v[index + 1] - kLog2.v[index]) * step;
}

std::uint16_t quantise(float fraction) {
    return static_cast<std::uint16_t>(
        std::lround(std::clamp(fraction, 0.0f, 1.0f) * GasLogModel::kLevels));
}

std::uint16_t gas_level(double value) {
    return std::isfinite(value) ? quantise(log_fraction(value, kGasLogMin, kGasLogMax))
                                : GasLogModel::kAbsent;
}

// Back from a fraction of the gases' axis to percent; 0 at the axis's floor.
double gas_value(float fraction) {
    if (!(fraction > 0.0f)) {
        return 0.0;
    }
    const double lo2 = std::log2(kGasLogMin);
    return std::exp2(lo2 + fraction * (std::log2(kGasLogMax) - lo2));
}

std::uint16_t ratio_level(const std::optional<double>& value, bool logarithmic) {
    if (!value || !std::isfinite(*value)) {
        return GasLogModel::kAbsent;
    }
    return quantise(logarithmic ? log_fraction(*value, kRatioLogMin, kRatioLogMax)
                                : static_cast<float>(*value / kCharacterMax));
}

int pixel_row(double y, int rows) {
    if (!(y >= 0.0)) {
        return -1;
    }
    return y >= rows ? rows : static_cast<int>(y);
}

}  // namespace

float log_fraction(double value, double lo, double hi) {
    if (!(value > lo)) {
        return 0.0f;
    }
    if (!(value < hi)) {
        return 1.0f;
    }
    const auto lo2 = static_cast<float>(std::log2(lo));
    return (fast_log2(static_cast<float>(value)) - lo2) / (static_cast<float>(std::log2(hi)) - lo2);
}

void RunBuilder::add(double y, float value) {
    add_at(pixel_row(y, rows_), value);
}

int RunBuilder::row_of(double y) const {
    return pixel_row(y, rows_);
}

void RunBuilder::add_at(int row, float value) {
    if (!runs_.empty() && !gap_ && runs_.back().y == row) {
        LogRun& r = runs_.back();
        r.lo = std::min(r.lo, value);
        r.hi = std::max(r.hi, value);
        return;
    }
    runs_.push_back({row, value, value, gap_ || runs_.empty()});
    gap_ = false;
}

void GasLogModel::clear() {
    gases_.clear();
    slots_.clear();
    depths_.clear();
    levels_.clear();
    zones_.clear();
    drilling_.clear();
    all_blocks_ = {};
    drilling_blocks_ = {};
    deepest_ = 0.0f;
    first_stamp_ = last_stamp_ = 0;
    generation_ = ~std::uint64_t{0};
    picker_ = analysis::ShowPicker(parameters_);
    has_total_ = has_background_ = false;
}

bool GasLogModel::update(const GasLogRows& rows) {
    const int available = rows.size();
    bool changed = false;
    const analysis::ShowParameters parameters = rows.show_parameters();
    if (rows.generation() != generation_ || available < size() || !(parameters == parameters_)) {
        parameters_ = parameters;
        clear();
        generation_ = rows.generation();
        const auto& gases = rows.gases();
        gases_.assign(gases.begin(),
                      gases.begin() + std::min<std::size_t>(gases.size(), kMaxLogGases));
        // Which of the light gases each column adds to, found once by its code.
        for (const auto& g : gases_) {
            const auto one = analysis::light_gases({{g.code, 1.0}});
            const double parts[5] = {one.c1, one.c2, one.c3, one.c4, one.c5};
            const auto* hit = std::find(std::begin(parts), std::end(parts), 1.0);
            slots_.push_back(hit == std::end(parts) ? -1 : static_cast<int>(hit - parts));
        }
        depths_.reserve(static_cast<std::size_t>(available));
        levels_.reserve(static_cast<std::size_t>(available) *
                        static_cast<std::size_t>(curve_count()));
        zones_.reserve(static_cast<std::size_t>(available));
        drilling_.reserve(static_cast<std::size_t>(available));
        changed = true;
    }
    GasLogSample s;
    for (int i = size(); i < available; ++i) {
        if (!rows.read(i, s)) {
            s = GasLogSample{};  // a row that cannot be read keeps its place, without a depth
        }
        add(s);
        changed = true;
    }
    return changed;
}

void GasLogModel::add(const GasLogSample& s) {
    const int row = size();
    const float depth = std::isfinite(s.depth) && s.depth > 0.0f ? s.depth : 0.0f;
    depths_.push_back(depth);
    double light[5] = {};
    for (std::size_t g = 0; g < gases_.size(); ++g) {
        const float v = s.gases[g];
        levels_.push_back(gas_level(v));
        if (std::isfinite(v) && slots_[g] >= 0) {
            light[slots_[g]] += v;
        }
    }
    const analysis::GasRatios r =
        analysis::gas_ratios({light[0], light[1], light[2], light[3], light[4]});
    levels_.push_back(ratio_level(r.wetness, true));
    levels_.push_back(ratio_level(r.balance, true));
    levels_.push_back(ratio_level(r.character, false));
    levels_.push_back(gas_level(s.total));
    std::optional<double> background;
    if (std::isfinite(s.total)) {
        has_total_ = true;
        background = picker_.background_after(depth, s.total);
    }
    has_background_ = has_background_ || background.has_value();
    levels_.push_back(background ? gas_level(*background) : kAbsent);
    zones_.push_back(static_cast<std::uint8_t>(analysis::fluid_zone(r)));
    add_to_blocks(all_blocks_, static_cast<std::size_t>(row), row);
    if (depth > deepest_) {
        deepest_ = depth;
        drilling_.push_back(row);
        add_to_blocks(drilling_blocks_, drilling_.size() - 1, row);
    }
    if (s.stamp != 0) {
        if (first_stamp_ == 0) {
            first_stamp_ = s.stamp;
        }
        last_stamp_ = s.stamp;
    }
}

void GasLogModel::add_to_blocks(Blocks& b, std::size_t position, int row) {
    const auto curves = static_cast<std::size_t>(curve_count());
    const float depth = depths_[static_cast<std::size_t>(row)];
    const std::uint16_t* levels = levels_.data() + static_cast<std::size_t>(row) * curves;
    if (position % kBlock == 0) {
        b.low_depth.push_back(depth);
        b.high_depth.push_back(depth);
        for (std::size_t c = 0; c < curves; ++c) {
            b.low.push_back(levels[c]);
            b.high.push_back(levels[c]);
        }
        return;
    }
    const std::size_t k = b.low_depth.size() - 1;
    b.low_depth[k] = std::min(b.low_depth[k], depth);
    b.high_depth[k] = std::max(b.high_depth[k], depth);
    for (std::size_t c = 0; c < curves; ++c) {
        std::uint16_t& lo = b.low[k * curves + c];
        std::uint16_t& hi = b.high[k * curves + c];
        if (levels[c] == kAbsent || hi == kAbsent) {
            hi = kAbsent;
        } else {
            lo = std::min(lo, levels[c]);
            hi = std::max(hi, levels[c]);
        }
    }
}

std::size_t GasLogModel::Blocks::memory() const {
    return (low_depth.capacity() + high_depth.capacity()) * sizeof(float) +
           (low.capacity() + high.capacity()) * sizeof(std::uint16_t);
}

bool GasLogModel::is_drilling(int row) const {
    return std::binary_search(drilling_.begin(), drilling_.end(), row);
}

std::optional<float> GasLogModel::deepest() const {
    return drilling_.empty() ? std::nullopt : std::optional<float>(deepest_);
}

std::optional<float> GasLogModel::shallowest() const {
    if (drilling_.empty()) {
        return std::nullopt;
    }
    float least = deepest_;
    for (const float d : depths_) {
        if (d > 0.0f && d < least) {
            least = d;
        }
    }
    return least;
}

std::optional<float> GasLogModel::newest_depth() const {
    for (auto it = depths_.rbegin(); it != depths_.rend(); ++it) {
        if (*it > 0.0f) {
            return *it;
        }
    }
    return std::nullopt;
}

std::size_t GasLogModel::first_drilling_at(double depth) const {
    const auto it = std::lower_bound(drilling_.begin(), drilling_.end(), depth,
                                     [this](int row, double d) { return this->depth(row) < d; });
    return static_cast<std::size_t>(it - drilling_.begin());
}

// Calls visit(row, y) for the rows to draw, in time order. Drilling rows are ordered by
// depth, so only those in view (and one either side, to join the curve to the edges) are read.
template <class Visit>
void GasLogModel::visit_rows(const DepthAxis& axis, int rows, bool drilling_only,
                             Visit visit) const {
    if (drilling_only) {
        std::size_t i = first_drilling_at(axis.depth_at(0.0));
        i = i > 0 ? i - 1 : 0;
        for (; i < drilling_.size(); ++i) {
            const int row = drilling_[i];
            const double y = axis.y_of(depths_[static_cast<std::size_t>(row)]);
            visit(row, y);
            if (y >= rows) {
                break;
            }
        }
        return;
    }
    for (int row = 0; row < size(); ++row) {
        const float d = depths_[static_cast<std::size_t>(row)];
        if (d > 0.0f) {
            visit(row, axis.y_of(d));
        }
    }
}

std::vector<LogRun> GasLogModel::runs(int curve, const DepthAxis& axis, int rows,
                                      bool drilling_only) const {
    RunBuilder builder(rows);
    if (curve < 0 || curve >= curve_count() || rows <= 0) {
        return {};
    }
    const auto curves = static_cast<std::size_t>(curve_count());
    const Blocks& blocks = drilling_only ? drilling_blocks_ : all_blocks_;
    const std::size_t count = drilling_only ? drilling_.size() : depths_.size();
    std::size_t position = 0;
    if (drilling_only) {
        // Drilled rows are ordered by depth: start just above the view.
        position = first_drilling_at(axis.depth_at(0.0));
        position = position > 0 ? position - 1 : 0;
    }
    while (position < count) {
        if (position % kBlock == 0 && position + kBlock <= count) {
            const std::size_t k = position / kBlock;
            const std::uint16_t hi = blocks.high[k * curves + static_cast<std::size_t>(curve)];
            const float shallow = blocks.low_depth[k];
            if (shallow > 0.0f && hi != kAbsent) {
                const double y = axis.y_of(shallow);
                const int first = pixel_row(y, rows);
                if (first == pixel_row(axis.y_of(blocks.high_depth[k]), rows)) {
                    const std::uint16_t lo =
                        blocks.low[k * curves + static_cast<std::size_t>(curve)];
                    builder.add(y, static_cast<float>(lo) / kLevels);
                    builder.add(y, static_cast<float>(hi) / kLevels);
                    position += kBlock;
                    if (drilling_only && first >= rows) {
                        break;
                    }
                    continue;
                }
            }
        }
        const int row = drilling_only ? drilling_[position] : static_cast<int>(position);
        ++position;
        const float d = depths_[static_cast<std::size_t>(row)];
        if (!(d > 0.0f)) {
            continue;
        }
        const std::uint16_t l =
            levels_[static_cast<std::size_t>(row) * curves + static_cast<std::size_t>(curve)];
        const double y = axis.y_of(d);
        if (l == kAbsent) {
            builder.gap();
        } else {
            builder.add(y, static_cast<float>(l) / kLevels);
        }
        if (drilling_only && y >= rows) {
            break;
        }
    }
    return builder.take();
}

std::vector<LogRun> GasLogModel::linear_runs(int curve, const DepthAxis& axis, int rows,
                                             bool drilling_only, double full_scale) const {
    if (!(full_scale > 0.0)) {
        return {};
    }
    // Monotonic, so each run's lowest and highest stay its ends.
    const auto linear = [&](float fraction) {
        return static_cast<float>(std::clamp(gas_value(fraction) / full_scale, 0.0, 1.0));
    };
    auto out = runs(curve, axis, rows, drilling_only);
    for (LogRun& r : out) {
        r.lo = linear(r.lo);
        r.hi = linear(r.hi);
    }
    return out;
}

std::optional<double> GasLogModel::background(int row) const {
    const std::uint16_t l = level(background_curve(), row);
    return l == kAbsent ? std::nullopt : std::optional<double>(gas_value(l / kLevels));
}

std::vector<analysis::FluidZone> GasLogModel::zone_rows(const DepthAxis& axis, int rows,
                                                        bool drilling_only) const {
    std::vector<analysis::FluidZone> out(static_cast<std::size_t>(std::max(rows, 0)),
                                         analysis::FluidZone::none);
    // A zone runs down to the next row unless that is more than a metre deeper (a hole in
    // the log), so rows sparser than pixels still shade a band without stripes.
    const int bridge = std::max(1, static_cast<int>(axis.pixels_per_metre));
    int previous = -2;
    auto previous_zone = analysis::FluidZone::none;
    visit_rows(axis, rows, drilling_only, [&](int row, double y) {
        const int r = pixel_row(y, rows);
        if (previous > -2 && r > previous + 1 && r - previous <= bridge) {
            for (int f = std::max(previous + 1, 0); f < std::min(r, rows); ++f) {
                out[static_cast<std::size_t>(f)] = previous_zone;
            }
        }
        if (r >= 0 && r < rows) {
            out[static_cast<std::size_t>(r)] = zone(row);
        }
        previous = r;
        previous_zone = zone(row);
    });
    return out;
}

std::optional<int> GasLogModel::nearest_row(double depth, bool drilling_only) const {
    std::optional<int> best;
    double best_distance = INFINITY;
    const auto consider = [&](int row) {
        const float d = depths_[static_cast<std::size_t>(row)];
        const double distance = std::fabs(d - depth);
        if (d > 0.0f && distance <= best_distance) {
            best_distance = distance;
            best = row;
        }
    };
    if (drilling_only) {
        const std::size_t i = first_drilling_at(depth);
        if (i > 0) {
            consider(drilling_[i - 1]);
        }
        if (i < drilling_.size()) {
            consider(drilling_[i]);
        }
        return best;
    }
    for (int row = 0; row < size(); ++row) {
        consider(row);
    }
    return best;
}

std::size_t GasLogModel::memory_bytes() const {
    return depths_.capacity() * sizeof(float) + levels_.capacity() * sizeof(std::uint16_t) +
           zones_.capacity() + drilling_.capacity() * sizeof(int) + all_blocks_.memory() +
           drilling_blocks_.memory();
}

TotalizerCurves totalizer_curves(const analysis::TotalizerLog& log, const DepthAxis& axis, int rows,
                                 bool drilling_only, double full_scale,
                                 const TotalizerBackground* background) {
    if (rows <= 0 || !(full_scale > 0.0)) {
        return {};
    }
    RunBuilder readings(rows);
    RunBuilder levels(rows);
    const auto scale = static_cast<float>(1.0 / full_scale);
    const auto add = [scale](RunBuilder& b, int row, float v) {
        if (std::isfinite(v)) {
            b.add_at(row, std::clamp(v * scale, 0.0f, 1.0f));
        } else {
            b.gap();
        }
    };
    // A reading a second sits at one depth for a while as the bit drills on, so readings
    // at the deepest depth so far count as drilling; only shallower ones are left out.
    float deepest = 0.0f;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const float d = log.depth(i);
        if (!(d > 0.0f) || (drilling_only && d < deepest)) {
            continue;
        }
        deepest = std::max(deepest, d);
        const int row = readings.row_of(axis.y_of(d));
        add(readings, row, log.value(i));
        if (background != nullptr) {
            add(levels, row, background->at(i));
        }
    }
    return {readings.take(), levels.take()};
}

std::vector<LogRun> totalizer_runs(const analysis::TotalizerLog& log, const DepthAxis& axis,
                                   int rows, bool drilling_only, double full_scale) {
    return totalizer_curves(log, axis, rows, drilling_only, full_scale, nullptr).readings;
}

void TotalizerBackground::update(const analysis::TotalizerLog& log,
                                 const analysis::ShowParameters& parameters) {
    // Where the last record taken sits in the log now: the records before it that the
    // ring dropped are dropped here too.
    std::size_t taken = 0;
    bool again = !(parameters == parameters_) || values_.empty();
    if (!again) {
        std::size_t j = log.lower_bound(last_time_);
        while (j + 1 < log.size() && log.time(j + 1) == last_time_) {
            ++j;
        }
        const auto same = [](float a, float b) {
            return a == b || (std::isnan(a) && std::isnan(b));
        };
        again = j >= log.size() || log.time(j) != last_time_ || !same(log.value(j), last_value_) ||
                j + 1 > values_.size();
        if (!again) {
            values_.erase(values_.begin(),
                          values_.begin() + static_cast<std::ptrdiff_t>(values_.size() - (j + 1)));
            taken = j + 1;
        }
    }
    if (again) {
        values_.clear();
        parameters_ = parameters;
        picker_ = analysis::ShowPicker(parameters);
    }
    for (std::size_t i = taken; i < log.size(); ++i) {
        const auto b = picker_.background_after(log.depth(i), log.value(i));
        values_.push_back(b ? static_cast<float>(*b) : std::numeric_limits<float>::quiet_NaN());
    }
    if (!log.empty()) {
        last_time_ = log.time(log.size() - 1);
        last_value_ = log.value(log.size() - 1);
    }
}

std::optional<std::size_t> totalizer_record_at(const analysis::TotalizerLog& log, double depth,
                                               bool drilling_only) {
    std::optional<std::size_t> best;
    double best_distance = INFINITY;
    float deepest = 0.0f;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const float d = log.depth(i);
        if (!(d > 0.0f) || (drilling_only && d < deepest)) {
            continue;
        }
        deepest = std::max(deepest, d);
        const double distance = std::fabs(d - depth);
        if (distance <= best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace vetra::display
