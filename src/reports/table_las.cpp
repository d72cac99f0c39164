#include "reports/table_las.h"

#include <chrono>
#include <cstdio>

#include "analysis/gas_ratios.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/utf8_path.h"
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

LasResult write_table_las(const storage::ResultsTableText& text, const LasWellInfo& well,
                          const std::filesystem::path& target, const LasProgress& progress) {
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
    LasSource source;
    source.row_count = table.row_count();
    // A row gone meanwhile (the table shortened elsewhere) has no depth and is left out.
    source.depth = [&](int index) {
        const auto row = table.row(index);
        return row ? static_cast<double>(row->depth) : 0.0;
    };
    source.row = [&](int index, LasRecord& record) {
        const auto row = table.row(index);
        if (!row) {
            return;
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
    };
    return write_las(target, well, columns, source, progress);
}

LasResult write_table_file_las(const std::filesystem::path& table_file,
                               const std::vector<analysis::GazOption>& gases, bool show_ratios,
                               const LasWellInfo& well, const std::filesystem::path& target,
                               const LasProgress& progress) {
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    if (!table.open(table_file, true)) {
        LasResult result;
        result.error = "Не удалось открыть таблицу " + library::utf8_from_path(table_file);
        return result;
    }
    analysis::GazList list;
    list.resize(static_cast<int>(gases.size()));
    for (std::size_t i = 0; i < gases.size(); ++i) {
        list.gas(static_cast<int>(i)) = gases[i];
    }
    storage::ResultsTableText text(table);
    text.set_gas_list(&list);
    text.set_show_ratios(show_ratios);
    return write_table_las(text, well, target, progress);
}

std::string las_done_text(const LasResult& result, const std::string& path) {
    std::string text =
        "Таблица записана в файл " + path + " (строк: " + std::to_string(result.written) + ").";
    if (result.without_depth > 0) {
        text += "\nСтрок без глубины, не вошедших в файл: " + std::to_string(result.without_depth) +
                ".";
    }
    return text;
}

}  // namespace vetra::reports
