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

inline constexpr const char* kNoDepthText =
    "Ни у одной строки таблицы нет глубины: файл LAS (индекс по глубине) не записан.";

// Where the rows come from: the depth of row i (0 or less: none), then its record, asked
// for in depth order.
struct LasSource {
    int row_count = 0;
    std::function<double(int)> depth;
    std::function<void(int, LasRecord&)> row;
};

struct LasResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;      // for the operator when not ok
    int written = 0;        // rows in the file
    int without_depth = 0;  // rows left out for want of a depth
};

// Told the rows written of the rows to write; false cancels.
using LasProgress = std::function<bool(int done, int total)>;

// The LAS 2.0 text of the rows that have a depth, sorted by depth; rows of one depth keep
// their order (the order of the analyses), so the index never goes back but may repeat.
// Values carry the digits of the stored number. Written beside the target and renamed into
// place; without a row that has a depth nothing is written.
LasResult write_las(const std::filesystem::path& target, const LasWellInfo& well,
                    const std::vector<LasColumn>& columns, const LasSource& source,
                    const LasProgress& progress = {});

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
