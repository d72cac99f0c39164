#pragma once

#include <string>
#include <vector>

#include "storage/table_text.h"

namespace vetra::test {

// A table held in memory, as the results table's display model would show it.
class MemoryTable final : public storage::TableText {
public:
    MemoryTable() = default;
    explicit MemoryTable(std::vector<std::vector<std::string>> cells) : cells(std::move(cells)) {}

    // A header row ("Глубина, м", "C1,%" ...) and `rows` data rows of display texts.
    static MemoryTable results(int rows, int value_columns) {
        MemoryTable t;
        std::vector<std::string> header = {"Глубина, м"};
        for (int c = 1; c <= value_columns; ++c) {
            header.push_back("Газ " + std::to_string(c) + ",%");
        }
        t.cells.push_back(header);
        for (int r = 1; r <= rows; ++r) {
            std::vector<std::string> row = {" " + std::to_string(1000 + r) + ",5 "};
            for (int c = 1; c <= value_columns; ++c) {
                row.push_back(" " + std::to_string(r * c % 997) + "," +
                              std::to_string(10000 + (r * 7 + c) % 90000) + " ");
            }
            t.cells.push_back(row);
        }
        return t;
    }

    int row_count() const override { return static_cast<int>(cells.size()); }
    int column_count() const override {
        return cells.empty() ? 0 : static_cast<int>(cells.front().size());
    }
    std::string cell_text(int row, int column) const override {
        return cells.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
    }

    std::vector<std::vector<std::string>> cells;
};

}  // namespace vetra::test
