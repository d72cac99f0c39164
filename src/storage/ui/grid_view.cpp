#include "storage/ui/grid_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>
#include <algorithm>

namespace vetra::storage::ui {

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    } else if (const QVariant back = index.data(Qt::BackgroundRole); back.isValid()) {
        painter->fillRect(option.rect, back.value<QColor>());
    }
    const QRect box = option.rect.adjusted(2, 0, -2, 0);
    int align = index.data(Qt::TextAlignmentRole).toInt();
    QString text = index.data(Qt::DisplayRole).toString();
    const QFontMetrics metrics(option.font);
    if (metrics.horizontalAdvance(text) > box.width()) {
        // Right-aligned text wider than its box would lose its leading digits ("70002" for
        // "1,70002"): the blanks go first, then the end of the text.
        text = text.trimmed();
        if (metrics.horizontalAdvance(text) > box.width()) {
            text = metrics.elidedText(text, Qt::ElideRight, box.width());
            align = (align & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft;
        }
    }
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(box, align | Qt::TextSingleLine, text);
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor != nullptr && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
            return true;
        }
    }
    if (editor != nullptr && event->type() == QEvent::FocusOut) {
        const QWidget* to = QApplication::focusWidget();
        if (QApplication::activePopupWidget() == nullptr &&
            (to == nullptr || !editor->isAncestorOf(to))) {
            Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
        return false;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

FrozenHeader::FrozenHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

int FrozenHeader::frozen_width() const {
    int width = 0;
    for (int c = 0; c < std::min(frozen_, count()); ++c) {
        width += isSectionHidden(c) ? 0 : sectionSize(c);
    }
    return width;
}

void FrozenHeader::paintEvent(QPaintEvent* event) {
    QHeaderView::paintEvent(event);
    if (offset() == 0) {
        return;
    }
    QPainter painter(viewport());
    for (int c = 0; c < std::min(frozen_, count()); ++c) {
        if (!isSectionHidden(c)) {
            painter.save();
            paintSection(&painter, QRect(sectionPosition(c), 0, sectionSize(c), height()), c);
            painter.restore();
        }
    }
}

bool FrozenHeader::over_frozen(const QMouseEvent* event) const {
    return offset() > 0 && event->position().x() < frozen_width();
}

void FrozenHeader::mousePressEvent(QMouseEvent* event) {
    if (over_frozen(event)) {
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void FrozenHeader::mouseMoveEvent(QMouseEvent* event) {
    // A drag already under way (a column being resized) goes on wherever the mouse is.
    if (over_frozen(event) && event->buttons() == Qt::NoButton) {
        unsetCursor();
        event->accept();
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

void FrozenHeader::mouseDoubleClickEvent(QMouseEvent* event) {
    if (over_frozen(event)) {
        event->accept();
        return;
    }
    QHeaderView::mouseDoubleClickEvent(event);
}

SteadyScrollBar::Look SteadyScrollBar::look() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                    this),
            value() == minimum(), value() == maximum()};
}

void SteadyScrollBar::sliderChange(SliderChange change) {
    if (change == SliderOrientationChange || !painted_ || look() != *painted_) {
        QScrollBar::sliderChange(change);
    }
}

void SteadyScrollBar::paintEvent(QPaintEvent* event) {
    painted_ = look();
    QScrollBar::paintEvent(event);
}

GridView::GridView(int frozen, QWidget* parent)
    : QTableView(parent), header_(new FrozenHeader(this)), frozen_(frozen) {
    header_->set_frozen(frozen);
    setHorizontalHeader(header_);
    // Pixels, not columns: the columns slide under the frozen ones and come out whole.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Pixels, not rows: scrolling by rows makes the view look up a row's position in its
    // header after every append, a walk over all rows.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, this));
}

int GridView::row_height_for(const QFont& font) {
    return QFontMetrics(font).height() + 4;
}

int GridView::row_height() const {
    return std::max(1, verticalHeader()->defaultSectionSize());
}

int GridView::frozen_width() const {
    return header_->frozen_width();
}

void GridView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    // The view connects this by name, so only the same form takes it apart.
    disconnect(verticalHeader(), SIGNAL(sectionCountChanged(int, int)), this,
               SLOT(rowCountChanged(int, int)));
    connect(verticalHeader(), &QHeaderView::sectionCountChanged, this, &GridView::on_row_count);
}

// A row added past the screen costs no repaint and no walk over the rows above it: the plain
// view lays out and repaints everything for every new row.
void GridView::on_row_count(int old_count, int new_count) {
    if (new_count < old_count || old_count == 0 || !isVisible()) {
        rowCountChanged(old_count, new_count);
        return;
    }
    // Only the vertical range grows: a full layout moves the headers and scroll bars into
    // the places they already have and repaints them.
    QScrollBar* bar = verticalScrollBar();
    bar->setMaximum(std::max(0, new_count * row_height() - viewport()->height()));
    const int top = old_count * row_height() - verticalOffset();
    if (top < viewport()->height()) {
        const int from = std::max(top, 0);
        viewport()->update(0, from, viewport()->width(), viewport()->height() - from);
    }
}

int GridView::column_x(int column) const {
    return column < frozen_ ? header_->sectionPosition(column)
                            : header_->sectionViewportPosition(column);
}

QModelIndex GridView::indexAt(const QPoint& point) const {
    if (model() == nullptr || point.y() < 0 || point.x() < 0) {
        return {};
    }
    const int row = (point.y() + verticalOffset()) / row_height();
    if (row >= model()->rowCount(rootIndex())) {
        return {};
    }
    int column = -1;
    if (point.x() < frozen_width()) {
        for (int c = 0; c < std::min(frozen_, header_->count()) && column < 0; ++c) {
            if (!isColumnHidden(c) && point.x() < column_x(c) + columnWidth(c)) {
                column = c;
            }
        }
    } else {
        column = header_->logicalIndexAt(point.x());
    }
    return column < 0 ? QModelIndex() : model()->index(row, column, rootIndex());
}

QRect GridView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex()) {
        return {};
    }
    const int grid = showGrid() ? 1 : 0;
    const int h = row_height();
    return QRect(column_x(index.column()), index.row() * h - verticalOffset(),
                 columnWidth(index.column()) - grid, h - grid);
}

void GridView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != model()) {
        return;
    }
    const int h = row_height();
    const bool by_rows = verticalScrollMode() == QAbstractItemView::ScrollPerItem;
    const int unit = by_rows ? 1 : h;
    const int at = index.row() * unit;
    const int page = by_rows ? std::max(1, viewport()->height() / h) : viewport()->height();
    QScrollBar* rows = verticalScrollBar();
    int top = rows->value();
    switch (hint) {
        case PositionAtTop:
            top = at;
            break;
        case PositionAtBottom:
            top = at + unit - page;
            break;
        case PositionAtCenter:
            top = at - (page - unit) / 2;
            break;
        case EnsureVisible:
            if (at < top) {
                top = at;
            } else if (at + unit > top + page) {
                top = at + unit - page;
            }
            break;
    }
    rows->setValue(top);

    if (index.column() >= frozen_) {
        // Out from under the frozen columns on the left, or in from the right edge.
        const int x = column_x(index.column());
        const int left = frozen_width();
        const int right = viewport()->width();
        QScrollBar* columns = horizontalScrollBar();
        if (x < left) {
            columns->setValue(columns->value() - (left - x));
        } else if (x + columnWidth(index.column()) > right) {
            columns->setValue(columns->value() +
                              std::min(x + columnWidth(index.column()) - right, x - left));
        }
    }
    update(index);
}

void GridView::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (dx != 0) {
        // The frozen columns were scrolled with the rest as pixels: draw them in place again.
        viewport()->update();
        header_->viewport()->update();
        updateEditorGeometries();
    }
}

QRegion GridView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int h = row_height();
    const QRect screen = viewport()->rect();
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid()) {
            const QRect band(0, range.top() * h - verticalOffset(), screen.width(),
                             (range.bottom() - range.top() + 1) * h);
            region += band & screen;
        }
    }
    return region;
}

void GridView::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() != QEvent::FontChange) {
        return;
    }
    QHeaderView* rows = verticalHeader();
    const int h = row_height_for(font());
    if (rows->defaultSectionSize() != h) {
        // The header reports every row it resizes; the view is laid out once instead.
        const QSignalBlocker quiet(rows);
        rows->setDefaultSectionSize(h);
    }
    if (font_changed) {
        font_changed();
    }
    updateGeometries();
    viewport()->update();
}

void GridView::paintEvent(QPaintEvent* event) {
    if (model() == nullptr) {
        return;
    }
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int columns = model()->columnCount(rootIndex());
    const int frozen = std::min(frozen_, columns);
    const int left = frozen_width();
    if (frozen < columns) {
        const QRect scrolled =
            area & QRect(left, 0, viewport()->width() - left, viewport()->height());
        painter.setClipRect(scrolled);
        paint_cells(painter, scrolled, frozen, columns - 1, false);
    }
    if (frozen > 0) {
        const QRect fixed = area & QRect(0, 0, left, viewport()->height());
        painter.setClipRect(fixed);
        paint_cells(painter, fixed, 0, frozen - 1, true);
    }
}

void GridView::paint_cells(QPainter& painter, const QRect& area, int first_column, int last_column,
                           bool frozen) {
    if (area.isEmpty()) {
        return;
    }
    const int h = row_height();
    const int offset = verticalOffset();
    const int rows = model()->rowCount(rootIndex());
    const int first = std::max(0, (area.top() + offset) / h);
    const int last = std::min(rows - 1, (area.bottom() + offset) / h);
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    base.palette.setCurrentColorGroup(!isEnabled()       ? QPalette::Disabled
                                      : isActiveWindow() ? QPalette::Active
                                                         : QPalette::Inactive);
    const QColor grid = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &base, this)));
    const QItemSelectionModel* selection = selectionModel();
    const QModelIndex current = currentIndex();
    for (int c = first_column; c <= last_column; ++c) {
        const int x = column_x(c);
        const int w = columnWidth(c);
        if (isColumnHidden(c) || x + w <= area.left() || x > area.right()) {
            continue;
        }
        for (int r = first; r <= last; ++r) {
            const QModelIndex index = model()->index(r, c, rootIndex());
            QStyleOptionViewItem option = base;
            option.rect = QRect(x, r * h - offset, w - 1, h - 1);
            if (selection != nullptr && selection->isSelected(index)) {
                option.state |= QStyle::State_Selected;
            }
            if (index == current && hasFocus()) {
                option.state |= QStyle::State_HasFocus;
            }
            itemDelegateForIndex(index)->paint(&painter, option, index);
            painter.setPen(grid);
            painter.drawLine(option.rect.topRight() + QPoint(1, 0),
                             option.rect.bottomRight() + QPoint(1, 1));
            painter.drawLine(option.rect.bottomLeft() + QPoint(0, 1),
                             option.rect.bottomRight() + QPoint(1, 1));
        }
    }
    if (frozen && header_->offset() > 0) {
        // A firmer line where the scrolled columns go under the frozen ones.
        painter.setPen(palette().color(QPalette::Dark));
        const int edge = frozen_width() - 1;
        painter.drawLine(edge, area.top(), edge, area.bottom());
    }
}

}  // namespace vetra::storage::ui
