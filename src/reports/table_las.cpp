#include "reports/table_las.h"

#include <chrono>
#include <cstdio>

#include "analysis/gas_ratios.h"
#include "library/datetime.h"
#include "settings/global_settings.h"
#include "settings/rig_settings.h"
#include "storage/results_table_text.h"

namespace vetra::reports {

LasWellInfo las_well(const settings::GlobalSettings& settings, const settings::RigSettings& rig) {
    const auto now = library::local_time_of(std::chrono::system_clock::now());
    char date[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", now.day, now.month, now.year);
    return {rig.las_company, settings.well, settings.area, rig.las_location, rig.las_service, date};
}

bool write_table_las(const storage::ResultsTableText& text, const LasWellInfo& well,
                     const std::filesystem::path& target, std::string& error) {
    const storage::ResultsTable& table = text.table();
    const auto stored = table.columns();
    const auto& codes = text.column_codes();
    std::vector<LasColumn> columns;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        columns.push_back({las_mnemonic(stored[i].key, codes[i], static_cast<int>(i)),
                           stored[i].unit.empty() ? "%" : stored[i].unit, stored[i].name});
    }
    const bool ratios = text.show_ratios();
    if (ratios) {
        static const char* kMnemonics[] = {"WH", "BH", "CH", "C1C2", "C1C3", "C1C4", "C1C5"};
        const auto& titles = analysis::ratio_titles();
        for (std::size_t i = 0; i < titles.size(); ++i) {
            columns.push_back({kMnemonics[i], i == 0 ? "%" : "", titles[i]});
        }
    }
    return write_las(
        target, well, columns, table.row_count(),
        [&](int index) {
            LasRecord record;
            const auto row = table.row(index);
            if (!row) {
                return record;  // shortened elsewhere meanwhile: no depth, left out
            }
            record.depth = row->depth;
            // The stamp counts from 31 December 1969.
            record.time_seconds = static_cast<std::int64_t>(row->stamp) - 86400;
            for (std::size_t i = 0; i < stored.size(); ++i) {
                record.values.emplace_back(row->values[i]);
            }
            if (ratios) {
                for (const auto& v : analysis::ratio_values(text.ratios(*row))) {
                    record.values.push_back(v);
                }
            }
            return record;
        },
        error);
}

}  // namespace vetra::reports
