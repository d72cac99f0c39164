#pragma once

#include <QHeaderView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <optional>

namespace vetra::storage::ui {

// Cells drawn plainly (background, text, selection), several times faster than the styled
// item's text layout, so a screen repaints quickly after every append. A number too wide for
// its cell keeps its leading digits and loses its end, never the reverse. An edited cell is
// written only when the operator presses Enter; leaving it any other way drops the text typed.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
};

// The column header of a grid whose first columns stay in place: they are drawn over the
// scrolled ones.
class FrozenHeader : public QHeaderView {
public:
    explicit FrozenHeader(QWidget* parent);
    void set_frozen(int columns) { frozen_ = columns; }
    int frozen_width() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Over the frozen columns the mouse would otherwise reach the columns scrolled under them.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool over_frozen(const QMouseEvent* event) const;

    int frozen_ = 0;
};

// A scroll bar that repaints when its look changes: the handle moves on screen, or the value
// reaches or leaves an end (a style may grey the arrow there). Every append lengthens the
// range by one row, which at a thousand rows and more moves the handle by less than a pixel;
// the plain bar repaints its whole length every time.
class SteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Look {
        QRect handle;
        bool at_start = false;
        bool at_end = false;
        bool operator==(const Look&) const = default;
    };
    Look look() const;

    std::optional<Look> painted_;
};

// The results grid. Rows are all one height, so where a row lies is arithmetic: an append,
// a paint or a click costs the same at a thousand rows as at a million (the row header's own
// positions are never asked for on those paths). The first `frozen` columns (depth and date)
// stay in view when the rest scroll sideways, as in a spreadsheet. A font change resizes rows
// at once and tells `font_changed`, whoever sets the font.
class GridView : public QTableView {
public:
    explicit GridView(int frozen, QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    QModelIndex indexAt(const QPoint& point) const override;
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    int row_height() const;
    // Width of the columns that do not scroll.
    int frozen_width() const;
    static int row_height_for(const QFont& font);

    std::function<void()> font_changed;

protected:
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void changeEvent(QEvent* event) override;

private:
    void on_row_count(int old_count, int new_count);
    void paint_cells(QPainter& painter, const QRect& area, int first_column, int last_column,
                     bool frozen);
    // Left edge of a column in viewport coordinates.
    int column_x(int column) const;

    FrozenHeader* header_;
    int frozen_;
};

}  // namespace vetra::storage::ui
