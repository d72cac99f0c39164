#pragma once

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QSize>
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
    double max_cell_cm = 2.0;  // a column is never wider (the repeated ones excepted)
    int font_size = 10;
    int alignment = 1;  // data cells: 0 left, 1 right, 2 centre
};

// The printed table cut into pages. The repeated columns (depth and date) and the header
// row are on every page; the other columns go in groups as wide as a page allows, and all
// row pages of one group come before the next group. Every page has "стр. N из M" at its
// foot and the first page of each group the heading. Column widths come from the header and
// a sample of rows and every row has the same height, so the pages follow by arithmetic and
// a page is drawn only when it is shown or printed: the cost of a page does not depend on
// the length of the table.
class TableDocument {
public:
    // `unit` is the device's pixels per centimetre; `page` the printable area in its pixels.
    TableDocument(const storage::TableText& table, PrintOptions options, double unit, QSize page,
                  const QPaintDevice* device);

    int page_count() const { return row_pages_ * groups(); }
    QSize page_size() const { return page_; }
    int groups() const { return static_cast<int>(groups_.size()); }
    int row_pages() const { return row_pages_; }
    int repeated_columns() const { return repeated_; }
    int column_width(int column) const { return widths_[static_cast<std::size_t>(column)]; }
    int row_height() const { return row_height_; }
    // The table columns page `page` shows, repeated ones first.
    std::vector<int> page_columns(int page) const;
    // The data rows (table rows from 1) page `page` shows: first and one past the last.
    std::pair<int, int> page_rows(int page) const;

    // Draws page `page` (from 0) with its top left corner at the painter's origin.
    void render_page(QPainter& p, int page) const;

    static QString page_label(int page, int pages);
    // Texts as placed glyphs (fast, for printers and the screen) or as text a vector file
    // keeps as text (SVG).
    void set_glyph_runs(bool on) { glyph_runs_ = on; }

private:
    void lay_out(const QPaintDevice* device);
    void draw_heading(QPainter& p) const;
    void draw_rows(QPainter& p, const std::vector<int>& columns, int first, int last, int y) const;
    struct GlyphRunText {
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    void draw_cell_text(QPainter& p, const QString& text, const QRect& box, Qt::Alignment alignment,
                        GlyphRunText& run) const;
    QFont pixel_font(double point_size) const;

    const storage::TableText& table_;
    PrintOptions options_;
    double unit_;
    QSize page_;
    double pixels_per_point_ = 1;
    QFont cell_font_;
    QFont footer_font_;
    int footer_height_ = 1;
    QRawFont raw_;
    // Glyph and advance of the characters seen so far, so a cell's text is placed without
    // shaping it again (digits, separators, Cyrillic: nothing here needs shaping).
    mutable std::vector<quint32> glyphs_;
    mutable std::vector<qreal> advances_;
    std::vector<int> widths_;
    std::vector<std::vector<int>> groups_;  // the columns after the repeated ones, by page
    int repeated_ = 1;
    int row_height_ = 1;
    int ascent_ = 0;
    int line_height_ = 1;
    bool round_positions_ = false;  // to whole device pixels, on a printer's fine ones
    int left_ = 0;
    int table_top_ = 0;   // on the first page of a group, below the heading
    int other_top_ = 0;   // on the other pages
    int first_rows_ = 1;  // data rows on the first page of a group
    int other_rows_ = 1;  // and on every other
    int row_pages_ = 1;
    bool glyph_runs_ = true;
};

// Prints the document's pages. `tick` (pages done, pages) may cancel. False when nothing or
// not everything was printed.
bool print_document(const storage::TableText& table, const PrintOptions& options, QPrinter& printer,
                    const std::function<bool(int done, int total)>& tick = {});

}  // namespace vetra::reports::ui
