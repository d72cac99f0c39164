#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vetra::storage {

// A cell as a file that keeps numbers as numbers wants it: a spreadsheet sums a number
// and sorts a date, whatever the screen's padding and decimal separator.
struct TableCell {
    enum class Kind : std::uint8_t { empty, text, number, date_time };
    Kind kind = Kind::empty;
    std::uint8_t decimals = 0;  // of a number, as the table shows it
    double value = 0;           // a number, or a date-time as a day number
    std::string text;           // of a text cell

    static TableCell of_text(std::string t) {
        return t.empty() ? TableCell{} : TableCell{Kind::text, 0, 0, std::move(t)};
    }
    static TableCell of_number(double v, int decimals) {
        return {Kind::number, static_cast<std::uint8_t>(decimals), v, {}};
    }
    static TableCell of_date_time(double day_number) {
        return {Kind::date_time, 0, day_number, {}};
    }
};

// A table as the operator sees it, read cell by cell so nothing is copied whole.
// Row 0 is the header row; column 0 the fixed first column.
class TableText {
public:
    virtual ~TableText() = default;
    virtual int row_count() const = 0;                             // header row included
    virtual int column_count() const = 0;                          // first column included
    virtual std::string cell_text(int row, int column) const = 0;  // UTF-8, display text
    // The first columns that say which row it is (depth, date): a print repeats them on every
    // page and a spreadsheet keeps them in view.
    virtual int repeated_columns() const { return 1; }

    // The typed cell; a table that knows no types gives its text.
    virtual TableCell cell(int row, int column) const {
        return TableCell::of_text(cell_text(row, column));
    }
    // Every cell of a row, for readers going row by row (a stored row is read once).
    virtual void row_cells(int row, std::vector<TableCell>& out) const {
        out.clear();
        for (int c = 0, n = column_count(); c < n; ++c) {
            out.push_back(cell(row, c));
        }
    }
};

}  // namespace vetra::storage
