#include "display/chromatogram_plot.h"

#include <algorithm>
#include <cmath>

#include "analysis/gaz_list.h"

namespace vetra::display {
namespace {

constexpr double kMinTop = 0.0001;
constexpr double kMaxTop = 20000;

std::vector<double> top_steps() {
    std::vector<double> steps{0.05, 0.1, 0.2, 0.4, 0.5, 0.8};
    for (double power = 1; power <= 1e6; power *= 10) {
        for (double m : {1.0, 2.0, 4.0, 5.0, 8.0}) {
            steps.push_back(m * power);
        }
    }
    steps.push_back(1e7);
    return steps;
}

std::int32_t round_index(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::clamp(std::round(value), -2e9, 2e9));
}

// Gas i's record. The records come in the order the gases were computed, which is list
// order unless a later window ends first; record i is then another gas's, so the record is
// matched by name, falling back to the gas record at i only for a gas without a name.
const analysis::GazResult* record_of(const std::vector<analysis::GazResult>& list, int i,
                                     const std::string& name) {
    const auto index = static_cast<std::size_t>(i);
    if (index < list.size() && !list[index].derived && list[index].name == name) {
        return &list[index];
    }
    if (!name.empty()) {
        for (const auto& r : list) {
            if (!r.derived && r.name == name) {
                return &r;
            }
        }
        return nullptr;
    }
    return index < list.size() && !list[index].derived ? &list[index] : nullptr;
}

}  // namespace

void ChromatogramPlot::clear_for_cycle() {
    message.clear();
    points.clear();
    seconds.clear();
}

void ChromatogramPlot::rebuild_windows(const analysis::GazList& gases,
                                       const std::vector<analysis::GazResult>& list, int rate) {
    windows.clear();
    for (int i = 0; i < gases.count(); ++i) {
        const analysis::GazOption& gas = gases.gas(i);
        GasWindow w;
        w.colour = gas.colour;
        w.code = gas.code;
        w.start = round_index(analysis::seconds_in_samples(gas.work_start, rate) - 1);
        w.end = round_index(analysis::seconds_in_samples(gas.work_end, rate) + 1);
        if (const analysis::GazResult* r = record_of(list, i, gas.name)) {
            w.has_result = true;
            w.value_text = r->value_text;
            w.level = r->peak_max;
        }
        windows.push_back(std::move(w));
    }
}

void ChromatogramPlot::set_background(Colour colour) {
    background = colour;
    foreground = contrast_colour(colour);
}

std::pair<double, double> ChromatogramPlot::range() const {
    return {bottom, fixed_top != 0 ? fixed_top : top};
}

void ChromatogramPlot::set_range(double new_bottom, double new_top) {
    bottom = new_bottom;
    fixed_top = new_top;
}

std::int64_t screen_points(std::int32_t samples_per_second, std::int32_t screen_seconds) {
    const std::int64_t product =
        std::int64_t{std::max(0, samples_per_second)} * std::int64_t{std::max(0, screen_seconds)};
    return std::clamp<std::int64_t>(product, 1, kMaxScreenPoints);
}

Colour contrast_colour(Colour background) {
    const int red = background & 0xFF;
    const int green = (background >> 8) & 0xFF;
    const int blue = (background >> 16) & 0xFF;
    return 0.2 * blue + 0.5 * green + 0.3 * red >= 120 ? 0x000000 : 0xFFFFFF;
}

double automatic_top_for(double largest) {
    static const std::vector<double> steps = top_steps();
    for (double step : steps) {
        if (step >= largest) {
            return step;
        }
    }
    return largest;
}

double automatic_top(const std::vector<double>& points) {
    if (points.empty()) {
        return 1.0;
    }
    double largest = points.front();
    for (double v : points) {
        if (v > largest) {
            largest = v;
        }
    }
    // A broken sample must not make the axis unusable.
    return std::isfinite(largest) ? automatic_top_for(largest) : 1.0;
}

std::optional<double> zoomed_top(double current_top, double factor) {
    const double top = factor * current_top;
    if (top != 0 && (top < kMinTop || top > kMaxTop)) {
        return std::nullopt;
    }
    return top;
}

std::pair<double, double> dragged_range(DragHandle handle, std::pair<double, double> start,
                                        int rows, int height) {
    const auto [b, a] = start;
    const double delta = height > 0 ? rows * (a - b) / height : 0.0;
    switch (handle) {
        case DragHandle::upper:
            return {b, std::max(a + delta, kMinTop)};
        case DragHandle::whole:
            return {b + delta, std::max(a + delta, kMinTop)};
        case DragHandle::lower:
            return {b + delta, std::max(a, kMinTop)};
    }
    return start;
}

int tick_label_stride(double spacing, double label) {
    if (!(spacing > 0.0) || !std::isfinite(label)) {
        return 1;
    }
    for (long long decade = 1; decade <= 1'000'000'000LL; decade *= 10) {
        for (const int m : {1, 2, 5}) {
            if (spacing * static_cast<double>(m * decade) >= label) {
                return static_cast<int>(m * decade);
            }
        }
    }
    return 1'000'000'000;
}

namespace {

bool overlap(const LabelBox& a, const LabelBox& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

}  // namespace

void separate_labels(std::vector<LabelBox>& boxes, int top_limit, int bottom_limit) {
    std::vector<LabelBox> placed;
    placed.reserve(boxes.size());
    for (LabelBox& box : boxes) {
        const auto free_at = [&](int top) {
            LabelBox moved = box;
            moved.top = top;
            if (top < top_limit || top + box.height > bottom_limit) {
                return false;
            }
            for (const LabelBox& other : placed) {
                if (overlap(moved, other)) {
                    return false;
                }
            }
            return true;
        };
        const int step = std::max(1, box.height + 2);
        const int rows = std::max(1, (bottom_limit - top_limit) / step + 1);
        bool found = free_at(box.top);
        for (int k = 1; !found && k <= rows; ++k) {
            for (const int top : {box.top - k * step, box.top + k * step}) {
                if (free_at(top)) {
                    box.top = top;
                    found = true;
                    break;
                }
            }
        }
        placed.push_back(box);
    }
}

}  // namespace vetra::display
