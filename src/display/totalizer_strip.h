#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "analysis/totalizer_log.h"
#include "library/datetime.h"

namespace vetra::display {

// The time spans of the totalizer chart, in the order of its list; any other index is the
// first.
inline constexpr int kTotalizerSpanCount = 12;
double totalizer_span_days(int index);
const char* totalizer_span_text(int index);

// The value axis: chosen from the data shown (index 0, "Авто") or fixed by the operator at
// 0-1, 0-2, 0-5, 0-10 or 0-100 %; any other index is automatic.
inline constexpr int kTotalizerScaleCount = 6;
const char* totalizer_scale_text(int index);

// The axis runs 0..full with a labelled line every `step`.
struct StripScale {
    double full = 10.0;
    double step = 2.0;
};
// `largest` is the largest value shown; the automatic scale leaves it some room below the
// edge, so a reading of 0.5-1.5 % fills most of the strip instead of hugging its side.
StripScale strip_scale(int index, double largest);

// One pixel line of the strip chart along its time axis: the smallest and largest value of
// the records that fall on it.
struct StripLine {
    float min = 0.0f;
    float max = 0.0f;
    bool any = false;
    bool gap_before = false;  // the log has a hole between the previous line and this one
};

// The window of the log the chart shows: `span` days ending `offset` days before the
// newest record.
struct StripWindow {
    library::DayNumber begin = 0.0;
    library::DayNumber end = 0.0;
};
std::optional<StripWindow> strip_window(const analysis::TotalizerLog& log, double span_days,
                                        double offset_days);

// Reduces the records of the window to `lines` pixel lines. Reads only the records inside
// the window, so the cost follows the span, not the length of the log. Records further
// apart than `gap_days` are not joined.
std::vector<StripLine> strip_lines(const analysis::TotalizerLog& log, const StripWindow& window,
                                   int lines, double gap_days);

// The record nearest to `t`, for the cursor; nothing when the log is empty.
std::optional<std::size_t> nearest_record(const analysis::TotalizerLog& log, library::DayNumber t);

}  // namespace vetra::display
