#include "reports/table_export.h"
#include "library/utf8_path.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "library/datetime.h"
#include "library/number_text.h"

namespace vetra::reports {

std::filesystem::path export_path(const std::string& program_dir) {
    return library::path_from_utf8(program_dir) / "TextData" / "table.xlsx";
}

std::string cell_as_text(const storage::TableCell& cell) {
    switch (cell.kind) {
        case storage::TableCell::Kind::empty:
            return {};
        case storage::TableCell::Kind::text:
            return cell.text;
        case storage::TableCell::Kind::number:
            return std::isfinite(cell.value) ? library::fixed_to_text(cell.value, cell.decimals)
                                             : std::string{};
        case storage::TableCell::Kind::date_time:
            break;
    }
    const library::LocalTime t = library::from_day_number(library::round_to_seconds(cell.value));
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%d %02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute);
    return buffer;
}

ExportOutcome export_table(const storage::TableText& table, SpreadsheetBackEnd& back_end,
                           const std::string& path, const ExportProgress& progress,
                           const SheetLayout& layout) {
    if (!back_end.connect()) {
        return {false, false, kNoBackEndText};
    }
    try {
        back_end.open_document(true, "");
    } catch (const SpreadsheetError&) {
        return {false, false, kNoDocumentText};
    }
    ExportOutcome outcome;
    try {
        // The text data writer normally makes the folder; an export before the first
        // result must not fail for want of it.
        std::error_code ec;
        std::filesystem::create_directories(library::path_from_utf8(path).parent_path(), ec);

        const int rows = table.row_count();
        const int columns = table.column_count();
        const std::int64_t maximum = std::int64_t{rows} * columns;
        back_end.store(path, kStoreAsUrl);
        SheetLayout sheet = layout;
        sheet.columns = columns;
        back_end.set_layout(sheet);
        back_end.lock(false);
        back_end.select_sheet(0);
        std::vector<storage::TableCell> cells;
        for (int r = 0; r < rows; ++r) {
            table.row_cells(r, cells);
            for (int c = 0; c < columns && c < static_cast<int>(cells.size()); ++c) {
                back_end.set_cell(c, r, cells[static_cast<std::size_t>(c)]);
            }
            if (progress && !progress(std::int64_t{columns} * (r + 1), maximum)) {
                throw FeedCancelled();
            }
        }
        back_end.lock(true);
        back_end.store(path, kStoreAsUrl);
        outcome.ok = true;
    } catch (const SpreadsheetError& e) {
        outcome.message = e.what();
    } catch (const FeedCancelled&) {
        outcome.cancelled = true;
        outcome.message = kCancelledText;
    }
    // Closing an unfinished document drops what was written, so the old file stays.
    back_end.close();
    return outcome;
}

ExportOutcome show_export(SpreadsheetBackEnd& back_end, const std::string& path) {
    if (!back_end.connect()) {
        return {false, false, kNoBackEndText};
    }
    try {
        back_end.open_document(false, path);
        back_end.select_sheet(0);
    } catch (const SpreadsheetError& e) {
        return {false, false, e.what()};
    }
    return {true, false, {}};
}

ExportOutcome write_table_file(const storage::TableText& table, const std::string& path,
                               SheetFormat format, const SheetLayout& layout) {
    const auto back_end = make_file_back_end(format);
    return export_table(table, *back_end, path, {}, layout);
}

RowFeed::RowFeed(int rows, int columns, std::size_t max_blocks)
    : rows_(std::max(rows, 0)),
      columns_(std::max(columns, 0)),
      max_blocks_(std::max<std::size_t>(max_blocks, 1)) {}

const RowFeed::Row* RowFeed::wait_for(int row) const {
    std::unique_lock lock(mutex_);
    while (row >= current_first_ + static_cast<int>(current_.size())) {
        changed_.wait(lock, [this] { return cancelled_ || !blocks_.empty(); });
        if (cancelled_) {
            throw FeedCancelled();
        }
        current_first_ += static_cast<int>(current_.size());
        current_ = std::move(blocks_.front());
        blocks_.pop_front();
        changed_.notify_all();
    }
    // A row already passed is gone: rows are read once, in order. The current block stays
    // until the reader asks past it, and only the reader replaces it.
    return row < current_first_ ? nullptr
                                : &current_[static_cast<std::size_t>(row - current_first_)];
}

storage::TableCell RowFeed::cell(int row, int column) const {
    const Row* cells = wait_for(row);
    return cells && column >= 0 && column < static_cast<int>(cells->size())
               ? (*cells)[static_cast<std::size_t>(column)]
               : storage::TableCell{};
}

std::string RowFeed::cell_text(int row, int column) const {
    return cell_as_text(cell(row, column));
}

void RowFeed::row_cells(int row, std::vector<storage::TableCell>& out) const {
    const Row* cells = wait_for(row);
    if (cells) {
        out = *cells;
    } else {
        out.clear();
    }
}

bool RowFeed::has_room() const {
    std::lock_guard lock(mutex_);
    return blocks_.size() < max_blocks_;
}

void RowFeed::push(std::vector<Row> block) {
    if (block.empty()) {
        return;
    }
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
    changed_.notify_all();
}

void RowFeed::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

bool RowFeed::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

FragmentTable::FragmentTable(const storage::TableText& table, TableSelection selection)
    : table_(table), s_(selection) {
    // A selection reaching into the header row or first column starts after them.
    s_.left = std::max(s_.left, 1);
    s_.top = std::max(s_.top, 1);
    s_.right = std::min(s_.right, table_.column_count() - 1);
    s_.bottom = std::min(s_.bottom, table_.row_count() - 1);
}

int FragmentTable::row_count() const {
    return std::max(s_.bottom - s_.top + 1, 0) + 1;
}

int FragmentTable::column_count() const {
    return std::max(s_.right - s_.left + 1, 0) + 1;
}

std::string FragmentTable::cell_text(int row, int column) const {
    const int source_row = row == 0 ? 0 : s_.top + row - 1;
    const int source_column = column == 0 ? 0 : s_.left + column - 1;
    return table_.cell_text(source_row, source_column);
}

int FragmentTable::repeated_columns() const {
    return s_.left == 1 ? std::min(table_.repeated_columns(), column_count()) : 1;
}

storage::TableCell FragmentTable::cell(int row, int column) const {
    const int source_row = row == 0 ? 0 : s_.top + row - 1;
    const int source_column = column == 0 ? 0 : s_.left + column - 1;
    return table_.cell(source_row, source_column);
}

}  // namespace vetra::reports
