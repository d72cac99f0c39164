#pragma once

#include <cstdio>
#include <string>

#include "storage/table_text.h"

namespace vetra::bench {

// A results table whose texts are made when asked for, as the display model reads them from
// the mapped file: nothing is held per row, so memory figures show only the export's own.
class GeneratedTable final : public storage::TableText {
public:
    GeneratedTable(int rows, int columns) : rows_(rows), columns_(columns) {}
    int row_count() const override { return rows_ + 1; }
    int column_count() const override { return columns_; }
    int repeated_columns() const override { return 2; }  // depth and date
    std::string cell_text(int row, int column) const override {
        char buffer[48];
        if (row == 0) {
            std::snprintf(buffer, sizeof buffer, "Газ %d,%%", column);
        } else if (column == 0) {
            std::snprintf(buffer, sizeof buffer, " %.1f ", 1000.0 + row * 0.1);
        } else if (column == 1) {
            std::snprintf(buffer, sizeof buffer, "%d.%02d.2026 %d:%02d ", 1 + row % 28,
                          1 + row % 12, row % 24, row % 60);
        } else {
            std::snprintf(buffer, sizeof buffer, " %.5f ", (row * 31 + column * 7) % 1000 / 97.0);
        }
        return buffer;
    }

private:
    int rows_;
    int columns_;
};

}  // namespace vetra::bench
