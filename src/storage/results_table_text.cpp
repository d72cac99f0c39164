#include "storage/results_table_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "analysis/gaz_list.h"
#include "library/format_auto.h"
#include "library/number_text.h"

namespace vetra::storage {
namespace {

constexpr const char* kTotalName = "сумм_газ";
constexpr const char* kDepthHeader = "Глубина, м";
constexpr const char* kTimeHeader = "      Дата Время      ";
constexpr const char* kNoDepth = "-------     ";

std::string with_separator(std::string text) {
    std::replace(text.begin(), text.end(), '.', library::decimal_separator());
    return text;
}

// A stored float as the double a reader should see: 1.70002f is 1.70002, not
// 1.7000200748443604.
double shown_value(float value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    double out = value;
    std::from_chars(buffer, end, out);
    return out;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string{}
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

namespace {

enum class ColumnKind { absolute, total, relative };

// By name and key rather than by place: a gas added after the table began has its columns
// after the relative ones, and is still an absolute value followed by a relative one.
ColumnKind kind_of(const ColumnEntry& c) {
    if (c.name == kTotalName) {
        return ColumnKind::total;
    }
    return c.key.ends_with("_отн") || c.name.ends_with("_отн") ? ColumnKind::relative
                                                               : ColumnKind::absolute;
}

}  // namespace

std::vector<ValueColumn> value_columns(const std::vector<ColumnEntry>& columns, bool reverse) {
    const int count = static_cast<int>(columns.size());
    std::vector<ValueColumn> out;
    out.reserve(columns.size());
    const auto add = [&](ColumnKind kind, Rgb colour, int decimals) {
        for (int i = 0; i < count; ++i) {
            if (kind_of(columns[static_cast<std::size_t>(i)]) == kind) {
                out.push_back({i, colour, decimals});
            }
        }
    };
    if (!reverse) {
        // The absolute values, the total, then the relative values.
        add(ColumnKind::absolute, kAbsoluteColour, 5);
        add(ColumnKind::total, kTotalColour, 5);
        add(ColumnKind::relative, kTotalColour, 1);
    } else {
        // The total and the relative values first, then the absolute values.
        add(ColumnKind::total, kTotalColour, 5);
        add(ColumnKind::relative, kAbsoluteColour, 1);
        add(ColumnKind::absolute, kTotalColour, 5);
    }
    return out;
}

std::string stamp_text(std::uint32_t stamp) {
    const library::LocalTime t = stamp_time(stamp);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%i.%02i.%i %i:%02i ", t.day, t.month, t.year, t.hour,
                  t.minute);
    return buffer;
}

int ResultsTableText::row_count() const {
    return std::max(table_.row_count() + 1, 2);
}

int ResultsTableText::column_count() const {
    return static_cast<int>(layout().size()) + 2 + (show_ratios_ ? kRatioColumns : 0);
}

int ResultsTableText::ratio_column(int column) const {
    const int index = column - 2 - static_cast<int>(layout().size());
    return show_ratios_ && index >= 0 && index < kRatioColumns ? index : -1;
}

void ResultsTableText::set_gas_list(const analysis::GazList* gases) {
    gases_ = gases;
    gas_codes_changed();
}

const std::vector<std::string>& ResultsTableText::column_codes() const {
    if (codes_version_ != table_.columns_version()) {
        codes_.clear();
        absolute_.clear();
        for (const auto& c : table_.columns()) {
            const std::string name(analysis::gas_name_of_key(c.key));
            codes_.push_back(gases_ ? analysis::gas_code(*gases_, name)
                                    : analysis::known_gas_code(name));
            absolute_.push_back(c.key.size() > name.size() && c.key.ends_with("_абс"));
        }
        codes_version_ = table_.columns_version();
    }
    return codes_;
}

analysis::GasRatios ResultsTableText::ratios(const TableRow& row) const {
    // Only the absolute values take part; relatives and the total do not.
    const auto& codes = column_codes();
    std::vector<analysis::CodedValue> values;
    for (std::size_t i = 0; i < codes.size() && i < row.values.size(); ++i) {
        if (absolute_[i] && !codes[i].empty()) {
            values.push_back({codes[i], row.values[i]});
        }
    }
    return analysis::gas_ratios(analysis::light_gases(values));
}

std::string ResultsTableText::ratio_text(const TableRow& row, int index) const {
    const analysis::GasRatios r = ratios(row);
    if (index == kRatioColumns - 1) {
        return analysis::fluid_character_hint(r);
    }
    const auto value = analysis::ratio_values(r)[static_cast<std::size_t>(index)];
    return value ? " " + library::fixed_to_text(*value, 2) + " " : std::string{};
}

const std::vector<ValueColumn>& ResultsTableText::layout() const {
    if (layout_version_ != table_.columns_version() || layout_reverse_ != reverse_mode_) {
        layout_ = value_columns(table_.columns(), reverse_mode_);
        layout_version_ = table_.columns_version();
        layout_reverse_ = reverse_mode_;
    }
    return layout_;
}

const ValueColumn* ResultsTableText::value_column(int column) const {
    const auto& columns = layout();
    if (column < 2 || column - 2 >= static_cast<int>(columns.size())) {
        return nullptr;
    }
    return &columns[static_cast<std::size_t>(column - 2)];
}

std::string ResultsTableText::header_text(int column) const {
    if (column == 0) {
        return kDepthHeader;
    }
    if (column == 1) {
        return kTimeHeader;
    }
    if (const int r = ratio_column(column); r >= 0) {
        return r < kRatioColumns - 1 ? analysis::ratio_titles()[static_cast<std::size_t>(r)]
                                     : std::string("Флюид");
    }
    const ValueColumn* v = value_column(column);
    return v ? table_.columns()[static_cast<std::size_t>(v->field)].name + ",%" : std::string{};
}

std::string ResultsTableText::data_text(const TableRow& row, int column) const {
    if (column == 0) {
        return row.depth == 0 ? kNoDepth : " " + library::fixed_to_text(row.depth, 1) + " ";
    }
    if (column == 1) {
        return stamp_text(row.stamp);
    }
    if (const int r = ratio_column(column); r >= 0) {
        return ratio_text(row, r);
    }
    const ValueColumn* v = value_column(column);
    if (v == nullptr) {
        return {};
    }
    return " " + library::formatAuto(row.values[static_cast<std::size_t>(v->field)], v->decimals) +
           " ";
}

std::string ResultsTableText::cell_text(int row, int column) const {
    if (row == 0) {
        return header_text(column);
    }
    const auto data = table_.row(row - 1);
    return data ? data_text(*data, column) : std::string{};
}

TableCell ResultsTableText::data_cell(const TableRow& row, int column,
                                      const analysis::GasRatios* ratios) const {
    if (column == 0) {
        return row.depth == 0 ? TableCell{} : TableCell::of_number(shown_value(row.depth), 1);
    }
    if (column == 1) {
        // The stamp counts seconds from 31 December 1969; day numbers from 30 December 1899.
        return TableCell::of_date_time(row.stamp / 86400.0 + 25568.0);
    }
    if (const int r = ratio_column(column); r >= 0) {
        const analysis::GasRatios computed = ratios ? *ratios : this->ratios(row);
        if (r == kRatioColumns - 1) {
            return TableCell::of_text(analysis::fluid_character_hint(computed));
        }
        const auto value = analysis::ratio_values(computed)[static_cast<std::size_t>(r)];
        return value ? TableCell::of_number(*value, 2) : TableCell{};
    }
    const ValueColumn* v = value_column(column);
    if (v == nullptr) {
        return {};
    }
    return TableCell::of_number(shown_value(row.values[static_cast<std::size_t>(v->field)]),
                                v->decimals);
}

TableCell ResultsTableText::cell(int row, int column) const {
    if (row == 0) {
        return TableCell::of_text(trimmed(header_text(column)));
    }
    const auto data = table_.row(row - 1);
    return data ? data_cell(*data, column, nullptr) : TableCell{};
}

void ResultsTableText::row_cells(int row, std::vector<TableCell>& out) const {
    out.clear();
    const int columns = column_count();
    if (row == 0) {
        for (int c = 0; c < columns; ++c) {
            out.push_back(cell(0, c));
        }
        return;
    }
    const auto data = table_.row(row - 1);
    if (!data) {
        out.resize(static_cast<std::size_t>(columns));
        return;
    }
    // The ratios of a row are computed once for its eight columns.
    const analysis::GasRatios ratios = show_ratios_ ? this->ratios(*data) : analysis::GasRatios{};
    for (int c = 0; c < columns; ++c) {
        out.push_back(data_cell(*data, c, &ratios));
    }
}

std::string ResultsTableText::edit_text(const TableRow& row, int column) const {
    const ValueColumn* v = value_column(column);
    if (column != 0 && v == nullptr) {
        return data_text(row, column);
    }
    const float value = column == 0 ? row.depth : row.values[static_cast<std::size_t>(v->field)];
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return with_separator(std::string(buffer, result.ptr));
}

EditResult ResultsTableText::set_cell(int row, int column, std::string_view text) {
    const ValueColumn* v = value_column(column);
    if (column != 0 && v == nullptr) {
        return EditResult::not_editable;
    }
    // The grid once wrote 0 for a text that is not a number; refusing it loses nothing.
    const auto value = library::parse_number(text);
    if (!value || !std::isfinite(*value)) {
        return EditResult::not_a_number;
    }
    if (!library::number_in_range(text, *cell_range(column))) {
        return EditResult::out_of_range;
    }
    return table_.set_field(row, column == 0 ? -1 : v->field, *value) ? EditResult::written
                                                                      : EditResult::unchanged;
}

std::optional<library::NumberRange> ResultsTableText::cell_range(int column) const {
    // A depth beyond any well, or a share beyond the whole, is a slip: a float would not
    // even keep 99999999 as typed.
    if (column == 0) {
        return library::NumberRange{0, 20000, 2};
    }
    if (const ValueColumn* v = value_column(column)) {
        return library::NumberRange{0, 100, v->decimals};
    }
    return std::nullopt;
}

void ResultsTableText::register_bindings(settings::BindingList& list) {
    list.add_bool(&reverse_mode_, "TextGrid", "reverse_mode");
}

}  // namespace vetra::storage
