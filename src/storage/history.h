#pragma once

#include <boost/signals2/signal.hpp>
#include <iosfwd>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "analysis/gaz_result.h"
#include "display/chromatogram_plot.h"
#include "library/datetime.h"

namespace vetra::analysis {
class GazList;
}

namespace vetra::storage {

inline constexpr const char kHistoryHeader[] = "VetraHistory";  // 12 bytes, no terminator
inline constexpr int kHistoryCapacity = 24;
inline constexpr int kHistoryColumns = 3;
inline constexpr int kHistoryRows = 8;

// One entry's cell on the history page, as left, top, right and bottom (right and bottom
// exclusive).
struct HistoryCell {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// The cell of entry `index` in a page `width` x `height` with margin `margin`: 3 columns,
// 8 rows, newest at the top left.
HistoryCell history_cell(int index, int width, int height, int margin);

// "Дата: 5.3.2011.   Время: 14:07."
std::string history_caption(const library::LocalTime& t);

// The thinned copy of a chromatogram: the mean of each group of `step` points, with the
// seconds of the group's last point; a trailing group that does not fit is dropped.
void thin_points(const display::ChromatogramPlot& source, int step,
                 display::ChromatogramPlot& copy);

// The last 24 finished chromatograms as small thinned copies, newest first, kept in
// "vetra2.history" across restarts.
class History {
public:
    // The chromatogram of a normally finished cycle: thinned by R div 2, dated, its windows
    // built from the gas list and the result list at the thinned rate.
    void add(const display::ChromatogramPlot& source, const analysis::GazList& gases,
             const std::vector<analysis::GazResult>& results, int samples_per_second,
             display::Colour background, const library::LocalTime& now);

    // Whole-file save (temporary file and rename); false when it could not be written.
    [[nodiscard]] bool save(const std::string& path, std::error_code* error = nullptr) const;
    // A missing, foreign or unreadable file leaves the history empty.
    void load(const std::string& path);
    std::string to_bytes() const;
    void from_bytes(std::string_view bytes);

    int count() const { return static_cast<int>(entries_.size()); }
    const display::ChromatogramPlot& entry(int index) const {
        return entries_[static_cast<std::size_t>(index)];
    }
    // Painting stores the top in use in the entry.
    display::ChromatogramPlot& entry(int index) {
        return entries_[static_cast<std::size_t>(index)];
    }
    // -1 while nothing was ever selected.
    int selected() const { return selected_; }
    // The selected entry, or nothing when there is none or it holds no points.
    const display::ChromatogramPlot* selected_entry() const;
    // Selects the entry whose cell holds the point; a point outside every entry's cell
    // changes nothing. True when the selection changed.
    bool select_at(int x, int y, int width, int height, int margin);

    // Raised when an entry was added, the history loaded or the selection changed.
    boost::signals2::signal<void()> changed;

private:
    void read(std::istream& in);

    std::vector<display::ChromatogramPlot> entries_;
    int selected_ = -1;
};

}  // namespace vetra::storage
