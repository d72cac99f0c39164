#pragma once

#include <string>

namespace vetra::storage {

// A table as the operator sees it, read cell by cell so nothing is copied whole.
// Row 0 is the header row; column 0 the fixed first column.
class TableText {
public:
    virtual ~TableText() = default;
    virtual int row_count() const = 0;     // header row included
    virtual int column_count() const = 0;  // first column included
    virtual std::string cell_text(int row, int column) const = 0;  // UTF-8, display text
};

}  // namespace vetra::storage
