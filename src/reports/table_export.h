#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "reports/spreadsheet.h"
#include "storage/table_text.h"

namespace vetra::reports {

inline constexpr const char* kNoBackEndText = "Ошибка при создании OpenOffice";
inline constexpr const char* kNoDocumentText =
    "Ошибка при открытии шаблона отчета.\nФайл поврежден или не найден.";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kCancelledText = "Экспорт таблицы прерван. Прежний файл не изменён.";

// "TextData/table.xlsx" in the program directory (given with its trailing separator).
std::filesystem::path export_path(const std::string& program_dir);

struct ExportOutcome {
    bool ok = false;
    bool cancelled = false;
    std::string message;  // for the operator when not ok
};

// Told the position after each row (columns x rows done, of columns x rows); returning
// false cancels the export.
using ExportProgress = std::function<bool(std::int64_t position, std::int64_t maximum)>;

// Writes the table as the operator sees it (header row and first column included) through
// the back end to `path`, one row at a time: connect, open a new document hidden, store,
// lock, select sheet 0, every cell, unlock, store, close. A failed or cancelled export
// leaves the file at `path` as it was.
ExportOutcome export_table(const storage::TableText& table, SpreadsheetBackEnd& back_end,
                           const std::string& path, const ExportProgress& progress = {},
                           const SheetLayout& layout = {});

// Shows a stored export to the operator: connect, open it visibly, select sheet 0.
ExportOutcome show_export(SpreadsheetBackEnd& back_end, const std::string& path);

// The whole export to a file of the given format, for vetra-tool.
ExportOutcome write_table_file(const storage::TableText& table, const std::string& path,
                               SheetFormat format, const SheetLayout& layout = {});

// Thrown out of a RowFeed read when the feed was cancelled.
class FeedCancelled : public std::runtime_error {
public:
    FeedCancelled() : std::runtime_error("cancelled") {}
};

// A table read strictly row by row on one thread while another thread hands it the rows
// in blocks: the table's owner keeps reading its model on its own thread and the writer
// never touches it. At most `max_blocks` blocks wait, so memory stays flat.
class RowFeed final : public storage::TableText {
public:
    using Row = std::vector<storage::TableCell>;

    RowFeed(int rows, int columns, std::size_t max_blocks = 4);

    int row_count() const override { return rows_; }
    int column_count() const override { return columns_; }
    // Rows must be read in order; waits for the block holding `row`.
    std::string cell_text(int row, int column) const override;
    storage::TableCell cell(int row, int column) const override;
    void row_cells(int row, std::vector<storage::TableCell>& out) const override;

    // Feeding side: room for another block? push never waits.
    bool has_room() const;
    void push(std::vector<Row> block);
    void cancel();
    bool cancelled() const;

private:
    // The row, once its block has come; null for a row already passed.
    const Row* wait_for(int row) const;

    const int rows_;
    const int columns_;
    const std::size_t max_blocks_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::deque<std::vector<Row>> blocks_;
    mutable std::vector<Row> current_;
    mutable int current_first_ = 0;
    bool cancelled_ = false;
};

// The rows T..B and columns L..R of a table, 0-based in the table's own coordinates.
struct TableSelection {
    int left = 1;
    int top = 1;
    int right = 1;
    int bottom = 1;

    bool single_cell() const { return left == right && top == bottom; }
};

// A selected fragment that keeps the table's header row and first column: cell (0,0) of
// the table, then the header cells of the selected columns, the first-column cells of the
// selected rows and the selected body.
class FragmentTable final : public storage::TableText {
public:
    FragmentTable(const storage::TableText& table, TableSelection selection);

    int row_count() const override;
    int column_count() const override;
    std::string cell_text(int row, int column) const override;
    storage::TableCell cell(int row, int column) const override;
    // The date column stays with the depth when the selection starts at it.
    int repeated_columns() const override;

private:
    const storage::TableText& table_;
    TableSelection s_;
};

}  // namespace vetra::reports
