#include "storage/ui/results_table_model.h"

#include <QColor>
#include <QTimer>

#include "storage/ui/depth_columns.h"

namespace vetra::storage::ui {
namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

ResultsTableModel::ResultsTableModel(ResultsTableText& text, QObject* parent)
    : QAbstractTableModel(parent), text_(text) {
    reset_counts();
    connection_ = text_.table().changed.connect(
        [this](TableChange change, int row) { on_table_changed(change, row); });
}

void ResultsTableModel::reset_counts() {
    rows_ = text_.data_rows();
    text_columns_ = text_.column_count();
    columns_ = text_columns_ + (extras_ ? DepthColumns::kCount : 0);
}

void ResultsTableModel::set_extra_columns(DepthColumns* columns) {
    if (columns == extras_) {
        return;
    }
    extras_ = columns;
    if (extras_) {
        extras_->refresh();
    }
    rebuild();
    Q_EMIT columns_changed();
}

int ResultsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ResultsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

void ResultsTableModel::set_reprocessed(Originals originals, bool show_originals) {
    beginResetModel();
    originals_ = std::move(originals);
    show_originals_ = show_originals;
    endResetModel();
}

QVariant ResultsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columns_) {
        return {};
    }
    const int column = index.column();
    // A re-processed cell: marked, and its first value shown on request.
    if (!originals_.empty() &&
        (role == Qt::DisplayRole || role == Qt::BackgroundRole || role == Qt::ToolTipRole)) {
        const ValueColumn* v = text_.value_column(column);
        const auto row = v != nullptr ? text_.table().row(index.row()) : std::nullopt;
        const auto found = row ? originals_.find(row->stamp) : originals_.end();
        const auto cell = found != originals_.end() ? found->second.find(v->field)
                                                    : std::map<int, float>::const_iterator{};
        if (found != originals_.end() && cell != found->second.end()) {
            TableRow original = *row;
            original.values[static_cast<std::size_t>(v->field)] = cell->second;
            if (role == Qt::BackgroundRole) {
                return QColor(255, 226, 150);
            }
            if (role == Qt::ToolTipRole) {
                return show_originals_ ? "Исходное значение; после пересчёта " +
                                             q(text_.data_text(*row, column))
                                       : "Пересчитано; исходное значение " +
                                             q(text_.data_text(original, column));
            }
            if (show_originals_) {
                return q(text_.data_text(original, column));
            }
        }
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole: {
            const auto row = text_.table().row(index.row());
            if (!row) {
                // The file changed under us: look at it again once painting is over.
                if (!check_queued_) {
                    check_queued_ = true;
                    QTimer::singleShot(0, this, [this] {
                        check_queued_ = false;
                        text_.table().check();
                    });
                }
                return {};
            }
            if (is_extra(column)) {
                return extras_->text(column - text_columns_, index.row(), row->stamp, row->depth);
            }
            return q(role == Qt::EditRole ? text_.edit_text(*row, column)
                                          : text_.data_text(*row, column));
        }
        case Qt::BackgroundRole:
            if (is_extra(column)) {
                return QColor(240, 240, 240);
            }
            if (const ValueColumn* v = text_.value_column(column)) {
                return QColor(v->colour.r, v->colour.g, v->colour.b);
            }
            return {};
        case Qt::TextAlignmentRole:
            return column == 1 || (is_extra(column) && column == text_columns_)
                       ? int(Qt::AlignLeft | Qt::AlignVCenter)
                       : int(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant ResultsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Vertical) {
        return section + 1;
    }
    if (is_extra(section)) {
        return DepthColumns::header(section - text_columns_);
    }
    return q(text_.header_text(section));
}

Qt::ItemFlags ResultsTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editing_ && index.isValid() && index.column() != 1 && !is_extra(index.column())) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

bool ResultsTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !editing_ || !index.isValid() || is_extra(index.column())) {
        return false;
    }
    const QString text = value.toString();
    switch (text_.set_cell(index.row(), index.column(), text.toStdString())) {
        case EditResult::written:
        case EditResult::unchanged:
            return true;
        case EditResult::not_a_number:
        case EditResult::out_of_range:
            Q_EMIT edit_refused(index.column(), text);
            return false;
        case EditResult::not_editable:
            return false;
    }
    return false;
}

void ResultsTableModel::rebuild() {
    beginResetModel();
    reset_counts();
    endResetModel();
}

void ResultsTableModel::on_table_changed(TableChange change, int row) {
    switch (change) {
        case TableChange::appended:
            if (row == rows_ && text_.data_rows() == rows_ + 1) {
                beginInsertRows({}, row, row);
                rows_ = row + 1;
                endInsertRows();
                if (extras_) {
                    // The row's depth record is written right after the row itself.
                    QTimer::singleShot(0, this, [this, row] {
                        if (extras_ && row < rows_) {
                            extras_->refresh();
                            Q_EMIT dataChanged(index(row, text_columns_), index(row, columns_ - 1));
                        }
                    });
                }
                return;
            }
            rebuild();
            Q_EMIT rebuilt();
            return;
        case TableChange::columns:
            rebuild();
            Q_EMIT columns_changed();
            return;
        case TableChange::edited:
            Q_EMIT dataChanged(index(row, 0), index(row, columns_ - 1));
            return;
        case TableChange::reset:
            rebuild();
            Q_EMIT rebuilt();
            return;
    }
}

}  // namespace vetra::storage::ui
