#include "display/totalizer_strip.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vetra::display {
namespace {

constexpr int kSpanSeconds[kTotalizerSpanCount] = {10,  30,   60,   180,  300,  600,
                                                   900, 1200, 1800, 3600, 7200, 10800};
constexpr const char* kSpanTexts[kTotalizerSpanCount] = {
    "10 сек.",  "30 сек.",  "1 минута", "3 минуты", "5 минут", "10 минут",
    "15 минут", "20 минут", "30 минут", "1 час",    "2 часа",  "3 часа"};

constexpr const char* kScaleTexts[kTotalizerScaleCount] = {"Авто",  "0-1 %",  "0-2 %",
                                                           "0-5 %", "0-10 %", "0-100 %"};
// Each full scale with a step that gives four or five labelled lines.
constexpr StripScale kScales[] = {{0.5, 0.1}, {1, 0.2}, {2, 0.5}, {5, 1},
                                  {10, 2},    {20, 5},  {50, 10}, {100, 20}};
constexpr double kFixedScales[kTotalizerScaleCount] = {0, 1, 2, 5, 10, 100};
constexpr double kHeadroom = 0.95;

int valid_index(int index) {
    return index >= 0 && index < kTotalizerSpanCount ? index : 0;
}

}  // namespace

double totalizer_span_days(int index) {
    return kSpanSeconds[valid_index(index)] * library::kSecondInDays;
}

const char* totalizer_span_text(int index) {
    return kSpanTexts[valid_index(index)];
}

const char* totalizer_scale_text(int index) {
    return kScaleTexts[index > 0 && index < kTotalizerScaleCount ? index : 0];
}

StripScale strip_scale(int index, double largest) {
    if (index > 0 && index < kTotalizerScaleCount) {
        for (const StripScale& s : kScales) {
            if (s.full == kFixedScales[index]) {
                return s;
            }
        }
    }
    for (const StripScale& s : kScales) {
        if (largest <= s.full * kHeadroom) {
            return s;
        }
    }
    return kScales[std::size(kScales) - 1];
}

std::optional<StripWindow> strip_window(const analysis::TotalizerLog& log, double span_days,
                                        double offset_days) {
    if (log.empty() || !(span_days > 0.0)) {
        return std::nullopt;
    }
    const library::DayNumber end = log.time(log.size() - 1) - std::max(0.0, offset_days);
    return StripWindow{end - span_days, end};
}

std::vector<StripLine> strip_lines(const analysis::TotalizerLog& log, const StripWindow& window,
                                   int lines, double gap_days) {
    std::vector<StripLine> out(static_cast<std::size_t>(std::max(lines, 0)));
    const double length = window.end - window.begin;
    if (out.empty() || !(length > 0.0)) {
        return out;
    }
    const double per_line = static_cast<double>(lines) / length;
    std::size_t i = log.lower_bound(window.begin);
    library::DayNumber previous = i > 0 ? log.time(i - 1) : window.begin;
    int previous_line = -1;
    for (; i < log.size(); ++i) {
        const library::DayNumber t = log.time(i);
        if (t > window.end) {
            break;
        }
        const int line = std::clamp(static_cast<int>((t - window.begin) * per_line), 0, lines - 1);
        StripLine& l = out[static_cast<std::size_t>(line)];
        const float v = log.value(i);
        if (!l.any) {
            l.min = l.max = v;
            l.any = true;
            l.gap_before = previous_line >= 0 && t - previous > gap_days;
        } else {
            l.min = std::min(l.min, v);
            l.max = std::max(l.max, v);
        }
        previous = t;
        previous_line = line;
    }
    return out;
}

std::optional<std::size_t> nearest_record(const analysis::TotalizerLog& log, library::DayNumber t) {
    if (log.empty()) {
        return std::nullopt;
    }
    const std::size_t i = log.lower_bound(t);
    if (i == 0) {
        return 0;
    }
    if (i == log.size()) {
        return i - 1;
    }
    return t - log.time(i - 1) <= log.time(i) - t ? i - 1 : i;
}

}  // namespace vetra::display
