#include "app/ui/gas_log_rows.h"

#include <algorithm>
#include <limits>

#include "analysis/gaz_list.h"
#include "settings/lag_settings.h"
#include "storage/results_table_text.h"

namespace vetra::app::ui {
namespace {

bool drawn_code(const std::string& code) {
    static const char* kCodes[] = {"C1",  "C2",  "C3",  "C4",  "C5", "C6",
                                   "C2i", "C3i", "C4i", "C5i", "C6i"};
    return std::find(std::begin(kCodes), std::end(kCodes), code) != std::end(kCodes);
}

}  // namespace

std::string gas_log_code(const storage::ColumnEntry& column, const analysis::GazList* gases) {
    // The same reading as the table's ratio columns: absolute values, coded by the gas list.
    const bool absolute = column.key.size() > 8 && column.key.ends_with("_абс");
    const std::string code = !absolute          ? std::string{}
                             : gases != nullptr ? analysis::gas_code(*gases, column.name)
                                                : analysis::known_gas_code(column.name);
    return drawn_code(code) ? code : std::string{};
}

TableGasLogRows::TableGasLogRows(storage::ResultsTable& table, const analysis::GazList* gases,
                                 const settings::LagSettings* lag)
    : table_(table), gas_list_(gases), lag_(lag) {
    // Appends only add rows; everything else may change rows already read.
    connection_ = table.changed.connect([this](storage::TableChange change, int) {
        if (change != storage::TableChange::appended) {
            ++changes_;
        }
    });
}

void TableGasLogRows::refresh_columns() const {
    if (columns_version_ == table_.columns_version()) {
        return;
    }
    columns_version_ = table_.columns_version();
    gases_.clear();
    fields_.clear();
    total_field_ = -1;
    const auto defaults = analysis::GazList::default_gases();
    const auto& columns = table_.columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].key == "сумм_газ" && total_field_ < 0) {
            total_field_ = static_cast<int>(i);
        }
        const std::string code = gas_log_code(columns[i], gas_list_);
        if (code.empty() || gases_.size() == display::kMaxLogGases) {
            continue;
        }
        display::GasLogGas g{columns[i].name, code, 0};
        bool found = false;
        if (gas_list_ != nullptr) {
            for (int k = 0; k < gas_list_->count() && !found; ++k) {
                if (gas_list_->gas(k).name == g.name) {
                    g.colour = gas_list_->gas(k).colour;
                    found = true;
                }
            }
        }
        for (std::size_t k = 0; k < defaults.size() && !found; ++k) {
            if (defaults[k].code == code) {
                g.colour = defaults[k].colour;
                found = true;
            }
        }
        gases_.push_back(std::move(g));
        fields_.push_back(static_cast<int>(i));
    }
}

const std::vector<display::GasLogGas>& TableGasLogRows::gases() const {
    refresh_columns();
    return gases_;
}

bool TableGasLogRows::read(int index, display::GasLogSample& out) const {
    refresh_columns();
    const auto row = table_.row(index);
    if (!row) {
        return false;
    }
    out.depth = row->depth;
    out.stamp = row->stamp;
    for (std::size_t g = 0; g < fields_.size(); ++g) {
        out.gases[g] = row->values[static_cast<std::size_t>(fields_[g])];
    }
    out.total = total_field_ >= 0 ? row->values[static_cast<std::size_t>(total_field_)]
                                  : std::numeric_limits<float>::quiet_NaN();
    return true;
}

std::uint64_t TableGasLogRows::generation() const {
    return (changes_ << 32) ^ table_.columns_version();
}

analysis::ShowParameters TableGasLogRows::show_parameters() const {
    if (lag_ == nullptr) {
        return {};
    }
    return {lag_->background_metres, lag_->show_factor, lag_->show_minimum};
}

std::string TableGasLogRows::stamp_text(std::uint32_t stamp) const {
    return storage::stamp_text(stamp);
}

}  // namespace vetra::app::ui
