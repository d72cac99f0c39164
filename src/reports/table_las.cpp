#include "reports/table_las.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "analysis/gas_ratios.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/utf8_path.h"
#include "settings/global_settings.h"
#include "settings/rig_settings.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"

namespace vetra::reports {
namespace {

// From a show's last injection to its last row's calculation: longer than any cycle.
constexpr library::DayNumber kShowRowSlack = 30.0 / (24 * 60);

int show_flag(analysis::ShowClass c) {
    switch (c) {
        case analysis::ShowClass::connection:
            return 2;
        case analysis::ShowClass::trip:
            return 3;
        case analysis::ShowClass::drilled:
            break;
    }
    return 1;
}

// The background per row, as the picker takes it over the rows in their order (NaN before it
// has enough readings). The picker leaves the readings of a show out of its own background.
std::vector<float> row_backgrounds(const storage::ResultsTable& table, std::size_t total_column,
                                   const analysis::ShowParameters& parameters) {
    analysis::ShowPicker picker(parameters);
    std::vector<float> out(static_cast<std::size_t>(std::max(0, table.row_count())), NAN);
    for (int i = 0; i < table.row_count(); ++i) {
        const auto row = table.row(i);
        if (!row || total_column >= row->values.size()) {
            continue;
        }
        if (const auto b = picker.background_after(row->depth, row->values[total_column])) {
            out[static_cast<std::size_t>(i)] = static_cast<float>(*b);
        }
    }
    return out;
}

library::DayNumber stamp_day(std::uint32_t stamp) {
    return library::to_day_number(storage::stamp_time(stamp));
}

}  // namespace

LasWellInfo las_well(const settings::GlobalSettings& settings, const settings::RigSettings& rig) {
    const auto now = library::local_time_of(std::chrono::system_clock::now());
    char date[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", now.day, now.month, now.year);
    return {rig.las_company, settings.well, settings.area, rig.las_location, rig.las_service, date};
}

LasResult write_table_las(const storage::ResultsTableText& text, const LasWellInfo& well,
                          const std::filesystem::path& target, const LasProgress& progress,
                          const LasShows* shows) {
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
    std::vector<float> backgrounds;
    if (shows != nullptr) {
        // The stored column written as GS, the total gas ("сумм_газ").
        const auto total = std::find_if(columns.begin(), columns.begin() + stored.size(),
                                        [](const LasColumn& c) { return c.mnemonic == "GS"; });
        if (total != columns.begin() + stored.size()) {
            backgrounds = row_backgrounds(table, static_cast<std::size_t>(total - columns.begin()),
                                          shows->parameters);
            columns.push_back({"BKG", "%", "Фон суммарного газа"});
        }
        columns.push_back(
            {"SHOW", "", "Газопоказание: 0 нет, 1 при бурении, 2 наращивание, 3 после СПО"});
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
        if (shows == nullptr) {
            return;
        }
        if (!backgrounds.empty()) {
            const float b = backgrounds[static_cast<std::size_t>(index)];
            record.values.push_back(std::isnan(b) ? std::nullopt : std::optional<double>(b));
        }
        // A row is in a show when its depth is within the show's and it was made while the
        // show's gas came (its stamp is the calculation, minutes after the injection), so
        // reaming back over an old show later does not mark it again.
        int flag = 0;
        const library::DayNumber day = stamp_day(row->stamp);
        for (const analysis::GasShow& s : shows->shows) {
            if (row->depth >= s.top && row->depth <= s.bottom && day >= s.start - 1e-9 &&
                day <= s.end + kShowRowSlack) {
                flag = show_flag(s.show_class);
                break;
            }
        }
        record.values.emplace_back(flag);
    };
    return write_las(target, well, columns, source, progress);
}

LasResult write_table_file_las(const std::filesystem::path& table_file,
                               const std::vector<analysis::GazOption>& gases, bool show_ratios,
                               const LasWellInfo& well, const std::filesystem::path& target,
                               const LasProgress& progress, const LasShows* shows) {
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
    return write_table_las(text, well, target, progress, shows);
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
