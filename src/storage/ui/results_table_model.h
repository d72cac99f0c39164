#pragma once

#include <QAbstractTableModel>
#include <boost/signals2/connection.hpp>
#include <cstdint>
#include <map>

#include "storage/results_table_text.h"

namespace vetra::storage::ui {

class DepthColumns;

// The results table for Qt's views. Holds nothing per row: every cell is read from the mapped
// file and formatted when the view paints it, so a rebuild after an append or a deletion costs
// the same at ten rows as at a million. An append tells the view about one new row.
class ResultsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultsTableModel(ResultsTableText& text, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    bool editing() const { return editing_; }
    void set_editing(bool on) { editing_ = on; }
    // After the column order or the font changed.
    void rebuild();
    // Cells re-processed and their values before (by row stamp, then value field): they are
    // marked, and with `show_originals` show the value they had.
    using Originals = std::map<std::uint32_t, std::map<int, float>>;
    void set_reprocessed(Originals originals, bool show_originals);
    bool showing_originals() const { return show_originals_; }
    // The program's own columns after the table's (null: none); `columns` must outlive this.
    void set_extra_columns(DepthColumns* columns);
    bool is_extra(int column) const { return extras_ != nullptr && column >= text_columns_; }

Q_SIGNALS:
    // A reset that should select the last row (opened, cleared, rows deleted).
    void rebuilt();
    // A reset for a new column list: the selection is to be kept.
    void columns_changed();
    void edit_refused(int column, const QString& text);

private:
    void on_table_changed(TableChange change, int row);
    void reset_counts();

    ResultsTableText& text_;
    bool editing_ = false;
    int rows_ = 0;
    int columns_ = 2;
    int text_columns_ = 2;
    DepthColumns* extras_ = nullptr;
    mutable bool check_queued_ = false;
    Originals originals_;
    bool show_originals_ = false;
    boost::signals2::scoped_connection connection_;
};

}  // namespace vetra::storage::ui
