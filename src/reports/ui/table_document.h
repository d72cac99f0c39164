#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "storage/table_text.h"

class QPainter;
class QPaintDevice;
class QPrinter;

namespace vetra::reports::ui {

inline constexpr int kMaxPrintColumns = 256;
// Pixels per centimetre from dots per inch.
inline constexpr double kCmPerInchReciprocal = 0.39370078740157477;

// What the print dialog hands to the drawing.
struct PrintOptions {
    QString title;
    QStringList head;          // the table head, one line each
    double max_cell_cm = 2.0;  // a column is never wider
    int font_size = 10;
    int alignment = 1;  // data cells: 0 left, 1 right, 2 centre
};

// The printed table laid out for one paint device: heading, column widths from the texts of
// every cell, row height. Printing and the preview draw it with the same routine, and only
// the rows inside the window being drawn are read, so a page costs what it shows.
class TableDocument {
public:
    // `unit` is the device's pixels per centimetre; `page_width` in the device's pixels.
    TableDocument(const storage::TableText& table, PrintOptions options, double unit,
                  int page_width, QPaintDevice* device);

    // Measures every cell; `tick` is asked after each block of rows and may cancel.
    // False when cancelled.
    bool measure(const std::function<bool(int row, int rows)>& tick = {});

    qint64 height() const { return height_; }
    int page_width() const { return page_width_; }
    int columns() const { return static_cast<int>(widths_.size()); }
    int column_width(int column) const { return widths_[static_cast<std::size_t>(column)]; }
    int row_height() const { return row_height_; }
    qint64 table_top() const { return table_top_; }

    // Draws the document from `top` down over `span` pixels at the painter's origin.
    void render(QPainter& p, qint64 top, qint64 span) const;

    // Where a page starting at `top` and `page` pixels high ends: before the first row it
    // would cut, so no row is split between two pages (unless a row is taller than a page).
    qint64 page_end(qint64 top, qint64 page) const;

    static QFont font(int point_size);

private:
    void draw_heading(QPainter& p) const;
    void draw_row(QPainter& p, int row, int y) const;

    const storage::TableText& table_;
    PrintOptions options_;
    double unit_;
    int page_width_;
    QPaintDevice* device_;
    std::vector<int> widths_;
    int row_height_ = 0;
    int max_cell_ = 0;
    qint64 table_top_ = 0;
    qint64 height_ = 0;
};

// Prints the document on the printer's pages: the one drawing continues from page to page,
// so the heading is on the first page only. `tick` (pages done, pages) may cancel. False
// when nothing or not everything was printed.
bool print_document(const storage::TableText& table, const PrintOptions& options, QPrinter& printer,
                    const std::function<bool(int done, int total)>& tick = {});

}  // namespace vetra::reports::ui
