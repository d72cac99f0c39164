#include "storage/ui/depth_columns.h"

#include <system_error>

#include "library/number_text.h"

namespace vetra::storage::ui {

void DepthColumns::set_sources(std::filesystem::path row_depths,
                               const std::vector<analysis::GasShow>* shows) {
    path_ = std::move(row_depths);
    shows_ = shows;
    size_ = ~std::uintmax_t{0};
    refresh();
}

void DepthColumns::refresh() {
    std::error_code error;
    const std::uintmax_t size = path_.empty() ? 0 : std::filesystem::file_size(path_, error);
    const std::uintmax_t now = error ? 0 : size;
    if (now == size_) {
        return;
    }
    size_ = now;
    records_ = now > 0 ? latest_row_depths(path_) : std::vector<RowDepth>{};
    by_stamp_.clear();
    by_stamp_.reserve(records_.size());
    for (std::size_t i = 0; i < records_.size(); ++i) {
        by_stamp_[records_[i].stamp] = i;
    }
}

QString DepthColumns::header(int column) {
    return column == 0 ? "газопоказание" : "глубина_долота";
}

const RowDepth* DepthColumns::record(int index, std::uint32_t stamp) const {
    // Rows deleted since moved the index; the stamp still names the row.
    const auto i = static_cast<std::size_t>(index);
    if (index >= 0 && i < records_.size() && records_[i].stamp == stamp) {
        return &records_[i];
    }
    const auto found = by_stamp_.find(stamp);
    return found == by_stamp_.end() ? nullptr : &records_[found->second];
}

QString DepthColumns::text(int column, int index, std::uint32_t stamp, float depth) const {
    const RowDepth* r = record(index, stamp);
    if (column == 1) {
        return r && r->bit_depth > 0
                   ? QString::fromStdString(library::fixed_to_text(r->bit_depth, 1))
                   : QString();
    }
    if (shows_ == nullptr) {
        return {};
    }
    for (const analysis::GasShow& s : *shows_) {
        // By the time its gas was injected when the row's record says it, else by its depth.
        const bool inside = r && r->injection > 0
                                ? r->injection >= s.start - 1e-9 && r->injection <= s.end + 1e-9
                                : depth > 0 && depth >= s.top && depth <= s.bottom;
        if (inside) {
            return QString::fromUtf8(analysis::show_class_text(s.show_class));
        }
    }
    return {};
}

}  // namespace vetra::storage::ui
