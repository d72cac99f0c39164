#pragma once

#include <filesystem>
#include <string>

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

// The results table as a LAS file: one curve per stored column (named by its gas code, unit
// from the column list), the gas ratios too while the table shows them, then TIME. Rows without
// a depth are left out.
[[nodiscard]] bool write_table_las(const storage::ResultsTableText& table, const LasWellInfo& well,
                                   const std::filesystem::path& target, std::string& error);

}  // namespace vetra::reports
