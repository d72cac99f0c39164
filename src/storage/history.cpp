#include "storage/history.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "analysis/gaz_list.h"
#include "library/atomic_file.h"
#include "library/utf8_path.h"
#include "storage/plot_record.h"

namespace vetra::storage {

HistoryCell history_cell(int index, int width, int height, int margin) {
    const int column = index % kHistoryColumns;
    const int row = index / kHistoryColumns;
    const int w = width - margin;
    const int h = height - margin;
    return {margin + w * column / kHistoryColumns, margin + h * row / kHistoryRows,
            w * (column + 1) / kHistoryColumns, h * (row + 1) / kHistoryRows};
}

std::string history_caption(const library::LocalTime& t) {
    char text[96];
    std::snprintf(text, sizeof text, "Дата: %d.%d.%d.   Время: %d:%.2d.", t.day, t.month, t.year,
                  t.hour, t.minute);
    return text;
}

void thin_points(const display::ChromatogramPlot& source, int step,
                 display::ChromatogramPlot& copy) {
    step = std::max(1, step);
    const int n = source.point_count();
    copy.points.clear();
    copy.seconds.clear();
    copy.points.reserve(static_cast<std::size_t>(std::max(0, n / step)));
    copy.seconds.reserve(copy.points.capacity());
    for (int start = 0; start < n - step; start += step) {
        double sum = 0;
        for (int i = start; i < start + step; ++i) {
            sum += source.points[static_cast<std::size_t>(i)];
        }
        const auto last = static_cast<std::size_t>(start + step - 1);
        copy.points.push_back(sum / step);
        copy.seconds.push_back(last < source.seconds.size() ? source.seconds[last] : 0);
    }
}

void History::add(const display::ChromatogramPlot& source, const analysis::GazList& gases,
                  const std::vector<analysis::GazResult>& results, int samples_per_second,
                  display::Colour background, const library::LocalTime& now) {
    const int rate = std::max(1, samples_per_second);
    const int step = std::max(1, rate / 2);
    display::ChromatogramPlot copy;
    thin_points(source, step, copy);
    copy.set_background(background);
    copy.message = history_caption(now);
    copy.rebuild_windows(gases, results, rate / step);
    copy.compact = true;
    entries_.insert(entries_.begin(), std::move(copy));
    if (entries_.size() > static_cast<std::size_t>(kHistoryCapacity)) {
        entries_.pop_back();
    }
    if (selected_ == -1) {
        selected_ = 0;
    }
    changed();
}

std::string History::to_bytes() const {
    std::ostringstream out(std::ios::binary);
    out.write(kHistoryHeader, sizeof kHistoryHeader - 1);
    out.put(1);
    const auto count = static_cast<std::int32_t>(entries_.size());
    out.write(reinterpret_cast<const char*>(&count), sizeof count);
    for (const auto& entry : entries_) {
        write_plot(entry, out);
    }
    return std::move(out).str();
}

bool History::save(const std::string& path, std::error_code* error) const {
    return library::write_file_atomically(library::path_from_utf8(path), to_bytes(), error);
}

void History::read(std::istream& in) {
    entries_.clear();
    selected_ = -1;
    char header[sizeof kHistoryHeader - 1] = {};
    char version = 0;
    std::int32_t count = 0;
    if (!in.read(header, sizeof header) ||
        std::memcmp(header, kHistoryHeader, sizeof header) != 0 || !in.get(version) ||
        version != 1 || !in.read(reinterpret_cast<char*>(&count), sizeof count)) {
        return;
    }
    // The page shows 24; a larger count is foreign and must not size anything.
    count = std::clamp(count, 0, kHistoryCapacity);
    entries_.resize(static_cast<std::size_t>(count));
    for (auto& entry : entries_) {
        read_plot(entry, in);  // after a failed record the rest stay empty
        entry.compact = true;
    }
    if (count > 0) {
        selected_ = 0;
    }
}

void History::load(const std::string& path) {
    std::ifstream in(library::path_from_utf8(path), std::ios::binary);
    if (in) {
        read(in);
    } else {
        entries_.clear();
        selected_ = -1;
    }
    changed();
}

void History::from_bytes(std::string_view bytes) {
    std::istringstream in(std::string(bytes), std::ios::binary);
    read(in);
    changed();
}

const display::ChromatogramPlot* History::selected_entry() const {
    if (selected_ < 0 || selected_ >= count() || entry(selected_).points.empty()) {
        return nullptr;
    }
    return &entry(selected_);
}

bool History::select_at(int x, int y, int width, int height, int margin) {
    for (int i = 0; i < count(); ++i) {
        if (history_cell(i, width, height, margin).contains(x, y)) {
            if (i == selected_) {
                return false;
            }
            selected_ = i;
            changed();
            return true;
        }
    }
    return false;
}

}  // namespace vetra::storage
