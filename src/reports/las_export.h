#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vetra::reports {

// One curve of the "~Curve" section after DEPT.
struct LasColumn {
    std::string mnemonic;
    std::string unit;
    std::string description;  // UTF-8; written in cp1251 like the program's other text files
};

struct LasWellInfo {
    std::string company;
    std::string well;
    std::string field;
    std::string location;
    std::string service;
    std::string date;  // of the export, as the operator reads dates
};

// One row of the table: its depth (0 or less: unknown), its time as seconds since 1 January
// 1970 local time, and a value per column (absent values are written as NULL).
struct LasRecord {
    double depth = 0;
    std::int64_t time_seconds = 0;
    std::vector<std::optional<double>> values;
};

inline constexpr double kLasNull = -999.25;

// The LAS 2.0 text of rows that have a depth, sorted by depth (rows of equal depth keep their
// order). `row` is asked for each index once to learn the depths and once more when written,
// so a table of any size is streamed, never copied. The file is written beside the target
// and renamed into place; false (with `error` set) when it could not be written, and the
// target is then untouched.
[[nodiscard]] bool write_las(const std::filesystem::path& target, const LasWellInfo& well,
                             const std::vector<LasColumn>& columns, int row_count,
                             const std::function<LasRecord(int)>& row, std::string& error);

// A curve name LAS readers accept for a results-table column with the gas code `code`
// ("метан_абс" C1, "метан_отн" C1R, "сумм_газ" GS): Latin capitals, digits and '_' only;
// COLn with n from 1 when the code gives none.
std::string las_mnemonic(const std::string& key, const std::string& code, int index);

}  // namespace vetra::reports
