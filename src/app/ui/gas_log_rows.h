#pragma once

#include <boost/signals2/connection.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "display/gas_log_model.h"
#include "storage/results_table.h"

namespace vetra::analysis {
class GazList;
}
namespace vetra::settings {
class LagSettings;
}

namespace vetra::app::ui {

// The gas code of a stored column, empty for columns the log does not draw (relative values,
// the total, gases without a known code). The one place the log looks codes up.
std::string gas_log_code(const storage::ColumnEntry& column, const analysis::GazList* gases);

// The results table as the gas log reads it: the absolute values of C1 .. C6 (iso forms
// included) in the gas list's colours, and the total gas ("сумм_газ").
class TableGasLogRows final : public display::GasLogRows {
public:
    // `gases` may be null (vetra-tool without a gas list: default colours); `lag` too (the
    // background taken as by default). Both must outlive the rows.
    TableGasLogRows(storage::ResultsTable& table, const analysis::GazList* gases,
                    const settings::LagSettings* lag = nullptr);

    const std::vector<display::GasLogGas>& gases() const override;
    int size() const override { return table_.row_count(); }
    bool read(int index, display::GasLogSample& out) const override;
    std::uint64_t generation() const override;
    std::string stamp_text(std::uint32_t stamp) const override;
    analysis::ShowParameters show_parameters() const override;

private:
    void refresh_columns() const;

    const storage::ResultsTable& table_;
    const analysis::GazList* gas_list_;
    const settings::LagSettings* lag_;
    std::uint64_t changes_ = 0;
    boost::signals2::scoped_connection connection_;
    mutable std::uint64_t columns_version_ = ~std::uint64_t{0};
    mutable std::vector<display::GasLogGas> gases_;
    mutable std::vector<int> fields_;
    mutable int total_field_ = -1;
};

}  // namespace vetra::app::ui
