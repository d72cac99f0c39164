#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/clock.h"
#include "storage/reprocessor.h"
#include "storage/results_table.h"

namespace vetra::storage {

// The audit trail of re-processed rows, beside "data.tim": a UTF-8 text file that only grows,
// one entry per re-processing or undo. An entry begins with what it will replace (every
// cell's old and new value, the calibration and windows used, the reason, the time) and is
// on disk before any row is touched; it ends with a line saying it was committed, cancelled
// (its rows put back) or recovered (completed after a crash). Each write puts the whole file
// in place at once, so a crash leaves the trail as it was or with the new lines whole.
inline constexpr const char* kTrailFileName = "пересчёт.txt";

struct TrailCell {
    int row = -1;
    std::uint32_t stamp = 0;
    std::string key;
    int column = -1;
    float old_value = 0;
    float new_value = 0;
};

enum class TrailState { begun, committed, cancelled, recovered };

struct TrailEntry {
    int id = 0;
    bool undo = false;
    int undoes = 0;  // the entry an undo restores
    std::string changed_at;
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    std::string calibration;       // what the operator chose: "текущая" or a file's name
    std::string calibration_text;  // the calibration's points and coefficients
    std::string windows;
    std::string reason;
    std::vector<TrailCell> cells;
    TrailState state = TrailState::begun;
    bool done() const { return state == TrailState::committed || state == TrailState::recovered; }
};

// What the operator says about a re-processing; the trail keeps it with every entry.
struct TrailNote {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    std::string calibration;
    std::string calibration_text;
    std::string windows;
    std::string reason;
};

class ReprocessTrail {
public:
    explicit ReprocessTrail(std::filesystem::path path) : path_(std::move(path)) {}

    // False when the file exists but cannot be read; a missing file is an empty trail.
    bool load();
    const std::vector<TrailEntry>& entries() const { return entries_; }
    const std::filesystem::path& path() const { return path_; }
    const TrailEntry* entry(int id) const;
    // The committed entry an undo without a number takes back: the newest re-processing
    // not undone yet.
    const TrailEntry* last_undoable() const;
    bool undone(int id) const;

    // Both write the whole file in place (flushed); false when it could not be written.
    bool begin(TrailEntry& entry, std::error_code* error = nullptr);
    bool end(int id, TrailState state, const std::string& at, std::error_code* error = nullptr);

private:
    bool append(const std::string& lines, std::error_code* error);

    std::filesystem::path path_;
    std::vector<TrailEntry> entries_;
};

struct ApplyOutcome {
    bool ok = false;
    int id = 0;
    int cells = 0;
    int rows = 0;
    int skipped = 0;      // cells that no longer held what the entry expected (undo, recovery)
    std::string message;  // why not, for the operator
};

// Writes the changed cells of `rows` into the table: the trail entry first, then the rows,
// then the table is flushed and the entry committed. `progress` (done, total) returning false
// cancels: the rows written are put back and the entry says so. Rows that are not
// recomputed, or changed nothing, are left alone.
ApplyOutcome apply_reprocessing(ResultsTable& table, ReprocessTrail& trail,
                                const std::vector<ReprocessedRow>& rows, const TrailNote& note,
                                const library::Clock& clock,
                                const std::function<bool(int, int)>& progress = {});

// Puts back the old values of entry `id` (0: the last re-processing not undone) where the
// cells still hold what it wrote; a cell changed since is left and counted as skipped.
ApplyOutcome undo_reprocessing(ResultsTable& table, ReprocessTrail& trail, int id,
                               const std::string& reason, const library::Clock& clock,
                               const std::function<bool(int, int)>& progress = {});

// Completes every entry a crash left begun: each cell that holds its old or its new value
// gets the new one, and the entry is marked recovered. The number of entries completed.
int recover_reprocessing(ResultsTable& table, ReprocessTrail& trail, const library::Clock& clock);

// The journal's line for a finished entry.
std::string journal_text(const TrailEntry& entry);
// "05.03.2011 14:07:00" of a row's time stamp.
std::string trail_time_text(std::uint32_t stamp);

}  // namespace vetra::storage
