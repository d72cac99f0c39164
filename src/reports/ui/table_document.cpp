#include "reports/ui/table_document.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "library/heap_reuse.h"

namespace vetra::reports::ui {
namespace {

const QColor kFixedFill(224, 224, 224);
constexpr int kHeadingFontSize = 20;
constexpr int kHeadFontSize = 12;
constexpr int kFooterFontSize = 9;
constexpr int kSampleRows = 400;  // rows measured for the widths, spread over the table
constexpr quint32 kNoGlyph = 0xFFFFFFFF;

int round_int(double v) {
    return static_cast<int>(std::lround(v));
}

QString q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The rows whose texts decide the widths: the first and last ones and an even spread between,
// since a long table's cells all have the same form.
std::vector<int> sample_rows(int rows) {
    std::vector<int> out;
    if (rows <= kSampleRows) {
        for (int r = 0; r < rows; ++r) {
            out.push_back(r);
        }
        return out;
    }
    const int edge = kSampleRows / 4;
    for (int r = 0; r < edge; ++r) {
        out.push_back(r);
        out.push_back(rows - 1 - r);
    }
    const int spread = kSampleRows - 2 * edge;
    for (int i = 1; i <= spread; ++i) {
        out.push_back(static_cast<int>(static_cast<qint64>(rows) * i / (spread + 1)));
    }
    return out;
}

}  // namespace

TableDocument::TableDocument(const storage::TableText& table, PrintOptions options, double unit,
                             QSize page, const QPaintDevice* device)
    : table_(table), options_(std::move(options)), unit_(unit), page_(page) {
    lay_out(device);
}

// Fonts in the device's pixels, so the glyph table below, the metrics and the painter agree
// on a printer of any resolution.
QFont TableDocument::pixel_font(double point_size) const {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(std::max(round_int(point_size * pixels_per_point_), 1));
    return f;
}

void TableDocument::lay_out(const QPaintDevice* device) {
    pixels_per_point_ = (device ? device->logicalDpiY() : 96) / 72.0;
    cell_font_ = pixel_font(std::max(options_.font_size, 1));
    raw_ = QRawFont::fromFont(cell_font_);
    const QFontMetrics fm(cell_font_);
    ascent_ = fm.ascent();
    line_height_ = fm.height();
    round_positions_ = pixels_per_point_ >= 4;
    row_height_ = std::max(fm.height() + round_int(0.1 * unit_ + 1), 1);

    const int columns = std::clamp(table_.column_count(), 0, kMaxPrintColumns);
    const int rows = std::max(table_.row_count(), 0);
    repeated_ = std::clamp(table_.repeated_columns(), 0, columns);
    const int max_cell = std::max(round_int(options_.max_cell_cm * unit_), 1);
    widths_.assign(static_cast<std::size_t>(columns),
                   fm.horizontalAdvance(QStringLiteral(" ##### ")));
    for (const int r : sample_rows(rows)) {
        for (int c = 0; c < columns; ++c) {
            int& w = widths_[static_cast<std::size_t>(c)];
            w = std::max(w, fm.horizontalAdvance(' ' + q(table_.cell_text(r, c)) + ' '));
        }
    }
    left_ = round_int(0.5 * unit_);
    const int usable = std::max(page_.width() - 2 * left_, 1);
    // The repeated columns show their whole text (a date cut to "8.12.202…" says nothing),
    // but leave at least half the page to the others.
    int repeated_width = 0;
    // A header is never cut either: a column cut to "сумм_г…" is not a column one can read.
    for (int c = 0; c < columns; ++c) {
        int& w = widths_[static_cast<std::size_t>(c)];
        const int header =
            rows > 0 ? fm.horizontalAdvance(' ' + q(table_.cell_text(0, c)) + ' ') : 0;
        w = c < repeated_ ? std::min(w, usable / (2 * std::max(repeated_, 1)))
                          : std::min(std::max(std::min(w, max_cell), header), usable / 2);
        repeated_width += c < repeated_ ? w : 0;
    }
    groups_.clear();
    const int room = std::max(usable - repeated_width, 1);
    std::vector<int> group;
    int used = 0;
    for (int c = repeated_; c < columns; ++c) {
        const int w = widths_[static_cast<std::size_t>(c)];
        if (!group.empty() && used + w > room) {
            groups_.push_back(std::move(group));
            group.clear();
            used = 0;
        }
        group.push_back(c);
        used += w;
    }
    if (!group.empty() || groups_.empty()) {
        groups_.push_back(std::move(group));
    }

    const QFontMetrics title(pixel_font(kHeadingFontSize));
    const QFontMetrics head(pixel_font(kHeadFontSize));
    footer_font_ = pixel_font(kFooterFontSize);
    const QFontMetrics footer(footer_font_);
    footer_height_ = footer.height();
    other_top_ = round_int(0.25 * unit_);
    table_top_ = other_top_ + title.height() +
                 head.height() * static_cast<int>(options_.head.size()) + round_int(0.25 * unit_);
    const int bottom = page_.height() - footer.height() - round_int(0.25 * unit_);
    // One row below the header on a page at least, however large the font.
    first_rows_ = std::max((bottom - table_top_) / row_height_ - 1, 1);
    other_rows_ = std::max((bottom - other_top_) / row_height_ - 1, 1);
    const qint64 data_rows = std::max(rows - 1, 0);
    const qint64 pages = data_rows <= first_rows_
                             ? 1
                             : 1 + (data_rows - first_rows_ + other_rows_ - 1) / other_rows_;
    row_pages_ = static_cast<int>(std::min<qint64>(pages, INT_MAX / std::max(groups(), 1)));
}

std::vector<int> TableDocument::page_columns(int page) const {
    std::vector<int> out;
    for (int c = 0; c < repeated_; ++c) {
        out.push_back(c);
    }
    const int group = std::clamp(page / row_pages_, 0, groups() - 1);
    const auto& rest = groups_[static_cast<std::size_t>(group)];
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

std::pair<int, int> TableDocument::page_rows(int page) const {
    const int row_page = page % row_pages_;
    const qint64 first = row_page == 0 ? 1 : 1 + first_rows_ + qint64{row_page - 1} * other_rows_;
    const qint64 count = row_page == 0 ? first_rows_ : other_rows_;
    const qint64 end = std::min<qint64>(first + count, std::max(table_.row_count(), 1));
    return {static_cast<int>(first), static_cast<int>(std::max(end, first))};
}

QString TableDocument::page_label(int page, int pages) {
    return QStringLiteral("стр. %1 из %2").arg(page + 1).arg(pages);
}

void TableDocument::render_page(QPainter& p, int page) const {
    page = std::clamp(page, 0, page_count() - 1);
    p.save();
    const bool first = page % row_pages_ == 0;
    if (first) {
        draw_heading(p);
    }
    const auto [from, to] = page_rows(page);
    QPen pen(Qt::black);
    pen.setWidth(round_int(unit_ * 0.01 + 1));
    p.setPen(pen);
    p.setFont(cell_font_);
    draw_rows(p, page_columns(page), from, to, first ? table_top_ : other_top_);

    p.setPen(Qt::black);
    p.setFont(footer_font_);
    const int footer_height = footer_height_;
    p.drawText(QRect(0, page_.height() - footer_height, page_.width() - left_, footer_height),
               Qt::AlignRight | Qt::AlignBottom, page_label(page, page_count()));
    p.restore();
}

void TableDocument::draw_heading(QPainter& p) const {
    p.setPen(Qt::black);
    const QFont title = pixel_font(kHeadingFontSize);
    p.setFont(title);
    const int title_height = QFontMetrics(title).height();
    int y = round_int(0.25 * unit_);
    p.drawText(QRect(0, y, page_.width(), title_height), Qt::AlignHCenter | Qt::AlignTop,
               options_.title);
    y += title_height;
    const QFont head = pixel_font(kHeadFontSize);
    p.setFont(head);
    const QFontMetrics head_metrics(head);
    for (const QString& line : options_.head) {
        p.drawText(QPoint(left_, y + head_metrics.ascent()), line);
        y += head_metrics.height();
    }
}

// The header row and rows first .. last - 1 under it: the fixed cells filled, one line per
// row and per column edge, then the texts.
void TableDocument::draw_rows(QPainter& p, const std::vector<int>& columns, int first, int last,
                              int y) const {
    std::vector<int> edges{left_};
    for (const int c : columns) {
        edges.push_back(edges.back() + widths_[static_cast<std::size_t>(c)]);
    }
    const int lines = 1 + (last - first);
    const int bottom = y + lines * row_height_;
    const int right = edges.back();
    p.fillRect(QRect(left_, y, right - left_, row_height_), kFixedFill);
    if (!columns.empty() && columns.front() == 0) {
        p.fillRect(QRect(left_, y, edges[1] - left_, bottom - y), kFixedFill);
    }
    for (int i = 0; i <= lines; ++i) {
        p.drawLine(left_, y + i * row_height_, right, y + i * row_height_);
    }
    for (const int x : edges) {
        p.drawLine(x, y, x, bottom);
    }

    const int inset = round_int(0.05 * unit_);
    Qt::Alignment data_alignment = options_.alignment == 1   ? Qt::AlignRight
                                   : options_.alignment == 2 ? Qt::AlignHCenter
                                                             : Qt::AlignLeft;
    // The page's texts go out as one glyph run: a printer's engine writes each run with its
    // own text object, font and colour, so one run per cell costs more than its glyphs.
    GlyphRunText run;
    const qsizetype cells = static_cast<qsizetype>(lines) * static_cast<qsizetype>(columns.size());
    run.glyphs.reserve(cells * 8);
    run.positions.reserve(cells * 8);
    for (int line = 0; line < lines; ++line) {
        const int row = line == 0 ? 0 : first + line - 1;
        const int top = y + line * row_height_;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const int c = columns[i];
            const QString text = q(table_.cell_text(row, c));
            if (text.isEmpty()) {
                continue;
            }
            const QRect cell(edges[i], top, edges[i + 1] - edges[i], row_height_);
            if (row == 0 || c == 0) {
                draw_cell_text(p, text, cell, Qt::AlignHCenter, run);
            } else {
                draw_cell_text(p, text, cell.adjusted(inset, 0, -inset, 0), data_alignment, run);
            }
        }
    }
    if (!run.glyphs.isEmpty()) {
        QGlyphRun glyph_run;
        glyph_run.setRawFont(raw_);
        glyph_run.setGlyphIndexes(run.glyphs);
        glyph_run.setPositions(run.positions);
        p.drawGlyphRun(QPointF(0, 0), glyph_run);
    }
}

// A cell's text from the glyph table when every character is in the font: no shaping, no
// layout; its glyphs join the page's run. Otherwise (or when it does not fit and needs its
// ellipsis) the ordinary way, at once.
void TableDocument::draw_cell_text(QPainter& p, const QString& text, const QRect& box,
                                   Qt::Alignment alignment, GlyphRunText& run) const {
    const qsizetype start = run.glyphs.size();
    qreal x = 0;
    bool simple = glyph_runs_ && raw_.isValid();
    qsizetype inked = start;  // one past the last glyph that is not a space
    for (qsizetype i = 0; simple && i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch >= 0x500 || ch < 0x20) {
            simple = false;
            break;
        }
        if (glyphs_.size() <= ch) {
            glyphs_.resize(ch + 1u, kNoGlyph);
            advances_.resize(ch + 1u, 0);
        }
        if (glyphs_[ch] == kNoGlyph) {
            const QList<quint32> index = raw_.glyphIndexesForString(QString(QChar(ch)));
            glyphs_[ch] = index.size() == 1 ? index[0] : 0;
            advances_[ch] = index.size() == 1 ? raw_.advancesForGlyphIndexes(index)[0].x() : 0;
        }
        if (glyphs_[ch] == 0 && ch != ' ') {
            simple = false;
            break;
        }
        // The padding spaces of a cell take their room but leave no glyph: nothing shows
        // them, and a printed page is mostly its glyphs.
        if (ch != ' ' || run.glyphs.size() > start) {
            run.glyphs.push_back(glyphs_[ch]);
            run.positions.push_back(QPointF(x, 0));
            if (ch != ' ') {
                inked = run.glyphs.size();
            }
        }
        x += advances_[ch];
    }
    if (!simple || x > box.width()) {
        run.glyphs.resize(start);
        run.positions.resize(start);
        const QFontMetrics fm(cell_font_);
        p.drawText(box, alignment | Qt::AlignVCenter,
                   fm.elidedText(text, Qt::ElideRight, box.width()));
        return;
    }
    run.glyphs.resize(inked);
    run.positions.resize(inked);
    const qreal left = alignment & Qt::AlignRight     ? box.right() + 1 - x
                       : alignment & Qt::AlignHCenter ? box.left() + (box.width() - x) / 2
                                                      : box.left();
    const qreal baseline = box.top() + (box.height() - line_height_) / 2.0 + ascent_;
    for (qsizetype i = start; i < inked; ++i) {
        QPointF& at = run.positions[i];
        at = QPointF(left + at.x(), baseline);
        // On a printer a device pixel is a few hundredths of a millimetre: whole pixels look
        // the same and write shorter numbers.
        if (round_positions_) {
            at = QPointF(std::round(at.x()), std::round(at.y()));
        }
    }
}

bool print_document(const storage::TableText& table, const PrintOptions& options, QPrinter& printer,
                    const std::function<bool(int done, int total)>& tick) {
    printer.setDocName(options.title);
    library::keep_large_blocks_for_reuse();
    QPainter p;
    if (!p.begin(&printer)) {
        return false;
    }
    const double unit = printer.logicalDpiY() * kCmPerInchReciprocal;
    const TableDocument document(table, options, unit, QSize(printer.width(), printer.height()),
                                 &printer);
    const int total = document.page_count();
    for (int page = 0; page < total; ++page) {
        if (page > 0 && ((tick && !tick(page, total)) || !printer.newPage())) {
            printer.abort();
            return false;
        }
        document.render_page(p, page);
    }
    return p.end();
}

}  // namespace vetra::reports::ui
