#include "reports/ui/table_document.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

namespace vetra::reports::ui {
namespace {

const QColor kFixedFill(224, 224, 224);
constexpr int kHeadingFontSize = 20;
constexpr int kHeadFontSize = 12;
constexpr int kMeasureBlock = 2000;

int round_int(double v) {
    return static_cast<int>(std::lround(v));
}

QString q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QFont TableDocument::font(int point_size) {
    QFont f(QStringLiteral("Arial"), std::max(point_size, 1));
    f.setStyleHint(QFont::SansSerif);
    return f;
}

TableDocument::TableDocument(const storage::TableText& table, PrintOptions options, double unit,
                             int page_width, QPaintDevice* device)
    : table_(table),
      options_(std::move(options)),
      unit_(unit),
      page_width_(page_width),
      device_(device) {}

bool TableDocument::measure(const std::function<bool(int row, int rows)>& tick) {
    const QFontMetrics title_metrics(font(kHeadingFontSize), device_);
    const QFontMetrics head_metrics(font(kHeadFontSize), device_);
    qint64 y = round_int(0.25 * unit_) + title_metrics.height();
    y += qint64{head_metrics.height()} * options_.head.size();
    table_top_ = y + round_int(0.25 * unit_);

    const QFontMetrics fm(font(options_.font_size), device_);
    const int columns = std::clamp(table_.column_count(), 0, kMaxPrintColumns);
    const int rows = std::max(table_.row_count(), 0);
    max_cell_ = std::max(round_int(options_.max_cell_cm * unit_), 1);
    widths_.assign(static_cast<std::size_t>(columns),
                   fm.horizontalAdvance(QStringLiteral(" ##### ")));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            int& w = widths_[static_cast<std::size_t>(c)];
            // A cell already wider than the limit cannot widen its column further.
            if (w < max_cell_) {
                w = std::max(w, fm.horizontalAdvance(' ' + q(table_.cell_text(r, c)) + ' '));
            }
        }
        if (tick && (r + 1) % kMeasureBlock == 0 && !tick(r + 1, rows)) {
            return false;
        }
    }
    for (int& w : widths_) {
        w = std::min(w, max_cell_);
    }
    row_height_ = fm.height() + round_int(0.1 * unit_ + 1);
    height_ = table_top_ + qint64{rows} * row_height_ + round_int(0.25 * unit_);
    return true;
}

void TableDocument::render(QPainter& p, qint64 top, qint64 span) const {
    p.save();
    p.translate(0, static_cast<double>(-top));
    if (top < table_top_) {
        draw_heading(p);
    }
    const int rows = std::max(table_.row_count(), 0);
    if (row_height_ > 0 && rows > 0) {
        const qint64 first = std::max<qint64>((top - table_top_) / row_height_, 0);
        const qint64 last =
            std::min<qint64>((top + span - table_top_) / row_height_, qint64{rows} - 1);
        p.setFont(font(options_.font_size));
        QPen pen(Qt::black);
        pen.setWidth(round_int(unit_ * 0.01 + 1));
        p.setPen(pen);
        for (qint64 r = first; r <= last; ++r) {
            draw_row(p, static_cast<int>(r), static_cast<int>(table_top_ + r * row_height_));
        }
    }
    p.restore();
}

void TableDocument::draw_heading(QPainter& p) const {
    p.setPen(Qt::black);
    p.setFont(font(kHeadingFontSize));
    const QFontMetrics title_metrics(p.font(), p.device());
    int y = round_int(0.25 * unit_);
    p.drawText(QRect(0, y, page_width_, title_metrics.height()), Qt::AlignHCenter | Qt::AlignTop,
               options_.title);
    y += title_metrics.height();
    p.setFont(font(kHeadFontSize));
    const QFontMetrics head_metrics(p.font(), p.device());
    for (const QString& line : options_.head) {
        p.drawText(QPoint(round_int(0.5 * unit_), y + head_metrics.ascent()), line);
        y += head_metrics.height();
    }
}

void TableDocument::draw_row(QPainter& p, int row, int y) const {
    const QFontMetrics fm(p.font(), p.device());
    const int inset = round_int(0.05 * unit_);
    int x = round_int(0.5 * unit_);
    Qt::Alignment data_alignment = Qt::AlignVCenter;
    data_alignment |= options_.alignment == 1   ? Qt::AlignRight
                      : options_.alignment == 2 ? Qt::AlignHCenter
                                                : Qt::AlignLeft;
    for (int c = 0; c < columns(); ++c) {
        const int w = widths_[static_cast<std::size_t>(c)];
        const QRect cell(x, y, w, row_height_);
        const bool fixed = row == 0 || c == 0;
        p.setBrush(fixed ? kFixedFill : QColor(Qt::white));
        p.drawRect(cell);
        const QString text = q(table_.cell_text(row, c));
        if (fixed) {
            p.drawText(cell, Qt::AlignCenter, fm.elidedText(text, Qt::ElideRight, cell.width()));
        } else {
            const QRect inner = cell.adjusted(inset, inset, -inset, -inset);
            p.drawText(inner, data_alignment, fm.elidedText(text, Qt::ElideRight, inner.width()));
        }
        x += w;
    }
}

qint64 TableDocument::page_end(qint64 top, qint64 page) const {
    const qint64 end = top + page;
    const qint64 rows_end = table_top_ + qint64{std::max(table_.row_count(), 0)} * row_height_;
    // The margin under the last row never needs a page of its own.
    if (end >= rows_end) {
        return std::max(end, height_);
    }
    if (row_height_ <= 0 || end <= table_top_) {
        return end;
    }
    const qint64 row_end = table_top_ + (end - table_top_) / row_height_ * row_height_;
    return row_end > top ? row_end : end;
}

bool print_document(const storage::TableText& table, const PrintOptions& options, QPrinter& printer,
                    const std::function<bool(int done, int total)>& tick) {
    printer.setDocName(options.title);
    QPainter p;
    if (!p.begin(&printer)) {
        return false;
    }
    const double unit = printer.logicalDpiY() * kCmPerInchReciprocal;
    TableDocument document(table, options, unit, printer.width(), &printer);
    // Measuring a long table takes a while too: let the caller keep the window alive.
    if (!document.measure([&](int, int) { return !tick || tick(0, 0); })) {
        printer.abort();
        return false;
    }
    const qint64 page = std::max(printer.height(), 1);
    const int total = static_cast<int>((document.height() + page - 1) / page);
    int done = 0;
    for (qint64 shift = 0;;) {
        // The drawing continues from page to page; a row that does not fit whole starts the
        // next page instead of being split.
        const qint64 end = document.page_end(shift, page);
        p.setClipRect(QRect(0, 0, printer.width(), static_cast<int>(end - shift)));
        document.render(p, shift, end - shift);
        ++done;
        shift = end;
        if (shift >= document.height()) {
            break;
        }
        if ((tick && !tick(done, total)) || !printer.newPage()) {
            printer.abort();
            return false;
        }
    }
    return p.end();
}

}  // namespace vetra::reports::ui
