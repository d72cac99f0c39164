#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/gas_shows.h"
#include "analysis/gaz_list.h"
#include "reports/las_export.h"

namespace vetra::storage {
class ResultsTableText;
}
namespace vetra::settings {
class GlobalSettings;
class RigSettings;
}  // namespace vetra::settings

namespace vetra::reports {

// The well header: WELL and FLD from "скважина" and "площадь", the rest from the rig settings,
// DATE today.
LasWellInfo las_well(const settings::GlobalSettings& settings, const settings::RigSettings& rig);

// The well's shows for two curves after the table's: BKG, the background of the total gas
// ("сумм_газ") as the show picker takes it over the rows in their order, and SHOW, the class
// of the show a row falls in (0 none, 1 drilled, 2 connection gas, 3 trip gas).
struct LasShows {
    std::vector<analysis::GasShow> shows;
    analysis::ShowParameters parameters;
};

// The results table as a LAS file: one curve per stored column (named by its gas code, unit
// from the column list), the gas ratios too while the table shows them, then TIME. Rows without
// a depth are left out and counted.
LasResult write_table_las(const storage::ResultsTableText& table, const LasWellInfo& well,
                          const std::filesystem::path& target, const LasProgress& progress = {},
                          const LasShows* shows = nullptr);

// The same from the table file itself, opened read-only on the calling thread, so a worker
// writes the file while the window goes on with its own table: the rows present when it
// opens, the gas codes of `gases`, the ratios when `show_ratios`.
LasResult write_table_file_las(const std::filesystem::path& table_file,
                               const std::vector<analysis::GazOption>& gases, bool show_ratios,
                               const LasWellInfo& well, const std::filesystem::path& target,
                               const LasProgress& progress = {}, const LasShows* shows = nullptr);

// What the operator reads after an export that worked.
std::string las_done_text(const LasResult& result, const std::string& path);

}  // namespace vetra::reports
