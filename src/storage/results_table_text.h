#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/gas_ratios.h"
#include "library/number_range.h"
#include "settings/ini_options.h"
#include "storage/results_table.h"
#include "storage/table_text.h"

namespace vetra::analysis {
class GazList;
}

namespace vetra::storage {

struct Rgb {
    std::uint8_t r = 255;
    std::uint8_t g = 255;
    std::uint8_t b = 255;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kAbsoluteColour{240, 255, 240};  // light green
inline constexpr Rgb kTotalColour{240, 255, 255};     // light cyan

// What a value column of the display shows: which value of the row, on which background,
// with how many decimals.
struct ValueColumn {
    int field = 0;
    Rgb colour;
    int decimals = 5;
};

enum class EditResult { written, unchanged, not_a_number, out_of_range, not_editable };

// The results table as the grid shows it: the header row, the depth and time columns, then
// the value columns in normal or reverse order, every cell formatted from the mapped row when
// it is asked for. The window, printing, export and vetra-tool all read cells here. It is
// also the "TextGrid" settings group. Main thread only.
class ResultsTableText : public TableText, public settings::IniOptions {
public:
    explicit ResultsTableText(ResultsTable& table) : table_(table) {}

    ResultsTable& table() { return table_; }
    const ResultsTable& table() const { return table_; }
    bool reverse_mode() const { return reverse_mode_; }
    void set_reverse_mode(bool on) { reverse_mode_ = on; }
    // The gas ratios and a fluid hint after the value columns, computed from each row's
    // absolute values; not editable.
    bool show_ratios() const { return show_ratios_; }
    void set_show_ratios(bool on) { show_ratios_ = on; }
    static constexpr int kRatioColumns = 8;
    // The ratios of a data row, for exports that write numbers.
    analysis::GasRatios ratios(const TableRow& row) const;
    // Gas codes come from this list (the owner keeps it alive; null: the known gases only);
    // call gas_codes_changed() whenever it was edited or loaded.
    void set_gas_list(const analysis::GazList* gases);
    void gas_codes_changed() { codes_version_ = ~std::uint64_t{0}; }
    // The gas code of each stored column, "метан_абс" and "метан_отн" alike; empty for the
    // total and for gases nobody knows.
    const std::vector<std::string>& column_codes() const;

    // The grid: R + 1 rows (at least 2) and C + 2 columns.
    int row_count() const override;
    int column_count() const override;
    std::string cell_text(int row, int column) const override;
    TableCell cell(int row, int column) const override;
    int repeated_columns() const override { return 2; }
    void row_cells(int row, std::vector<TableCell>& out) const override;

    int data_rows() const { return table_.row_count(); }
    std::string header_text(int column) const;
    // Column c >= 2 of the display; nothing for the depth and time columns.
    const ValueColumn* value_column(int column) const;
    // A cell of a data row already read (`column` counted as in the grid).
    std::string data_text(const TableRow& row, int column) const;
    // What an editor starts from: the stored number in full, so Enter alone changes nothing.
    std::string edit_text(const TableRow& row, int column) const;
    // Writes a cell of data row `row` (from 0). Column 1, the time, is not editable.
    EditResult set_cell(int row, int column, std::string_view text);
    // What an editable cell of `column` may hold; nothing for a column that is not edited.
    std::optional<library::NumberRange> cell_range(int column) const;

protected:
    void register_bindings(settings::BindingList& list) override;

private:
    const std::vector<ValueColumn>& layout() const;
    // Which ratio column `column` is (0 .. kRatioColumns - 1), or -1.
    int ratio_column(int column) const;
    std::string ratio_text(const TableRow& row, int index) const;
    TableCell data_cell(const TableRow& row, int column, const analysis::GasRatios* ratios) const;

    ResultsTable& table_;
    bool reverse_mode_ = false;
    mutable std::vector<ValueColumn> layout_;
    mutable std::uint64_t layout_version_ = ~std::uint64_t{0};
    mutable bool layout_reverse_ = false;
    bool show_ratios_ = false;
    const analysis::GazList* gases_ = nullptr;
    mutable std::vector<std::string> codes_;  // the gas code of each stored column, or empty
    mutable std::vector<bool> absolute_;      // which stored columns are absolute values
    mutable std::uint64_t codes_version_ = ~std::uint64_t{0};
};

// The value columns in display order for a column list.
std::vector<ValueColumn> value_columns(const std::vector<ColumnEntry>& columns, bool reverse);
// "5.03.2011 14:07 ": the time column's text.
std::string stamp_text(std::uint32_t stamp);

}  // namespace vetra::storage
