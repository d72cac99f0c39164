#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_list.h"
#include "analysis/gaz_result.h"
#include "storage/results_table.h"
#include "storage/run_extra.h"
#include "storage/run_file.h"

namespace vetra::storage {

// How stored analyses are computed again.
struct ReprocessMethod {
    const analysis::EtalonStorage* calibration = nullptr;  // none: every concentration is 0
    // The gas names in the order of the calibration's pairs (the gas list it belongs to);
    // empty: each run's own gas order.
    std::vector<std::string> calibration_gases;
    // Windows by gas name; empty: each run's windows as stored. A gas not named keeps its own.
    std::vector<analysis::GazOption> windows;
};

enum class RowState {
    recomputed,
    no_run_file,     // no run file names this row
    replaced,        // its run file was replaced (within the same minute) or changed
    unreadable,      // the run file cannot be read
    not_reproduced,  // with its own windows the run file's areas do not come out again
    incomplete,      // a gas's window lies beyond the stored analysis
};

// The operator's word for a row's state.
const char* row_state_text(RowState state);

struct CellChange {
    int column = -1;
    std::string key;
    float old_value = 0;
    float new_value = 0;
    bool changed() const;  // bit for bit
};

struct ReprocessedRow {
    int row = -1;
    std::uint32_t stamp = 0;
    RowState state = RowState::no_run_file;
    std::filesystem::path run_file;
    std::vector<CellChange> cells;  // every column the re-run gives a value for
    int changed_cells() const;
};

// The run files of a time range, found through their companions by the row each names.
class RunCatalog {
public:
    struct Entry {
        std::filesystem::path run_file;
        RunExtra extra;
    };
    // Looks at the day folders of "Analiz" from the day of `from` to the day after `to`.
    void scan(const std::string& program_dir, std::uint32_t from, std::uint32_t to);
    // The run of a row; nothing when no companion names it, or more than one does.
    const Entry* find(std::uint32_t stamp) const;
    bool replaced(std::uint32_t stamp) const { return replaced_.count(stamp) != 0; }
    int size() const { return static_cast<int>(entries_.size()); }

private:
    std::vector<Entry> entries_;
    std::map<std::uint32_t, std::size_t> by_stamp_;
    std::set<std::uint32_t> replaced_;
};

// Runs the live calculation over a stored analysis: the same `GazCalculator`, fed the
// restored samples in the steps at which the live cycle had them, so that with the windows
// and calibration that made a row it gives that row's values bit for bit.
class RunRecomputer {
public:
    RunRecomputer();
    ~RunRecomputer();
    RunRecomputer(const RunRecomputer&) = delete;
    RunRecomputer& operator=(const RunRecomputer&) = delete;

    // The result list; nothing when some gas could not be computed. `same_areas` (when
    // given) tells whether every gas's area and maximum equal the run file's.
    std::optional<std::vector<analysis::GazResult>> recompute(const StoredRun& run,
                                                              const RunExtra& extra,
                                                              const ReprocessMethod& method,
                                                              bool* same_areas = nullptr);

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// The rows of a time range and the run files matched to them; the cheap first half of a
// re-processing, which reads only the companions.
struct ReprocessPlan {
    struct Item {
        int row = -1;
        std::uint32_t stamp = 0;
        const RunCatalog::Entry* run = nullptr;
        RowState state = RowState::no_run_file;  // before recomputing
    };
    RunCatalog catalog;
    std::vector<Item> items;
};

void plan_reprocess(ReprocessPlan& plan, const ResultsTable& table, const std::string& program_dir,
                    std::uint32_t from, std::uint32_t to);

// Computes one planned row again and compares it with what the table holds.
ReprocessedRow reprocess_row(const ReprocessPlan::Item& item, const ResultsTable& table,
                             const ReprocessMethod& method, RunRecomputer& recomputer);

// The whole range; `progress` (done, total) returns false to stop, and the rows so far are
// returned.
std::vector<ReprocessedRow> reprocess(const ResultsTable& table, const std::string& program_dir,
                                      std::uint32_t from, std::uint32_t to,
                                      const ReprocessMethod& method,
                                      const std::function<bool(int, int)>& progress = {});

// The column of a result key in the table's column list; -1 when the table has none.
int column_of_key(const std::vector<ColumnEntry>& columns, const std::string& key);

}  // namespace vetra::storage
