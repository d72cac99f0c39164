#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "storage/table_text.h"

namespace vetra::reports {

// A failure of a spreadsheet back end, carrying the text the operator reads.
class SpreadsheetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Store modes: 1 keeps the back end's own format, 2 asks for the Excel 97 filter.
inline constexpr int kStoreAsUrl = 1;
inline constexpr int kStoreToUrlExcel97 = 2;

// The file URL of a path with an explicit local-host authority ("file://localhost/..."):
// blanks become "%20", backslashes '/', everything else stays as it is.
std::string to_url(std::string_view path);

// How a stored sheet opens and what the document says about itself.
struct SheetLayout {
    std::string title;       // the document's title
    std::string subject;     // the well and the field
    int frozen_rows = 1;     // stay in view while scrolling: the header row ...
    int frozen_columns = 1;  // ... and the depth (and date) columns
    int columns = 0;         // of every row; set by the export
};

// A typed cell as text, for back ends and files that take only texts: numbers unpadded with
// the table's decimals and the system's separator, a date-time as "8.12.2026 14:07".
std::string cell_as_text(const storage::TableCell& cell);

// The calls a spreadsheet export makes, named after the office suite's automation methods,
// so a back end driving a real office suite fits as well as one writing the file itself.
// Operations throw SpreadsheetError.
class SpreadsheetBackEnd {
public:
    virtual ~SpreadsheetBackEnd() = default;

    // True when the back end can be used at all.
    [[nodiscard]] virtual bool connect() = 0;
    // An empty file name creates a new document; a hidden document is not shown.
    virtual void open_document(bool hidden, const std::string& file_name) = 0;
    virtual void select_sheet(int index) = 0;
    virtual void activate_sheet(const std::string& name) = 0;
    virtual void set_cell_text(int column, int row, const std::string& text) = 0;
    // A number, date or text cell; a back end without types takes its text.
    virtual void set_cell(int column, int row, const storage::TableCell& cell) {
        if (cell.kind != storage::TableCell::Kind::empty) {
            set_cell_text(column, row, cell_as_text(cell));
        }
    }
    // Before the cells; a back end that cannot use it ignores it.
    virtual void set_layout(const SheetLayout& /*layout*/) {}
    virtual void store(const std::string& path, int mode) = 0;
    // Locks the document's controllers while cells are written; `unlock` releases them.
    virtual void lock(bool unlock) = 0;
    virtual void close() = 0;
};

// Shows a stored file to the operator (the desktop's spreadsheet program); false when
// nothing could open it.
using DocumentOpener = std::function<bool(const std::string& path)>;

enum class SheetFormat { xlsx, csv };

// A back end that writes the file itself: a workbook (Office Open XML) or a CSV text for
// the laboratory systems (cp1251, ';' between fields, CR LF). Opening a stored document
// visibly hands it to `opener`.
std::unique_ptr<SpreadsheetBackEnd> make_file_back_end(SheetFormat format,
                                                       DocumentOpener opener = {});

}  // namespace vetra::reports
