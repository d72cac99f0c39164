#include "storage/reprocess_trail.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>

#include "library/atomic_file.h"
#include "library/utf8_path.h"

namespace vetra::storage {
namespace {

constexpr std::string_view kFirstLine = "vetra-trail\t1\n";

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(tab + 1);
    }
}

template <typename T>
bool number(std::string_view text, T& value, int base = 10) {
    const auto* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value, base);
    return r.ec == std::errc() && r.ptr == end;
}

std::string bits_text(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char out[16];
    std::snprintf(out, sizeof out, "%08x", bits);
    return out;
}

bool bits_value(std::string_view text, float& value) {
    std::uint32_t bits = 0;
    if (text.size() != 8 || !number(text, bits, 16)) {
        return false;
    }
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

std::string value_text(float value) {
    char out[32];
    std::snprintf(out, sizeof out, "%.9g", static_cast<double>(value));
    return out;
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const char* state_word(TrailState state) {
    switch (state) {
        case TrailState::committed:
            return "committed";
        case TrailState::cancelled:
            return "cancelled";
        case TrailState::recovered:
            return "recovered";
        case TrailState::begun:
            break;
    }
    return "begun";
}

std::string now_text(const library::Clock& clock) {
    return library::format_date_time(clock.local_now());
}

// The row that holds a cell's analysis: where it was, else wherever rows deleted since have
// moved it; -1 when it is gone.
int locate(const ResultsTable& table, const TrailCell& cell) {
    if (const auto row = table.row(cell.row); row && row->stamp == cell.stamp) {
        return cell.row;
    }
    for (int r = 0; r < table.row_count(); ++r) {
        if (const auto row = table.row(r); row && row->stamp == cell.stamp) {
            return r;
        }
    }
    return -1;
}

using RowCells = std::map<int, std::pair<std::uint32_t, std::vector<std::pair<int, float>>>>;

// Writes the cells row by row, the new values or the old ones; stops at the first row that
// cannot be written, and tells `progress` of each row.
bool write_cells(ResultsTable& table, const std::vector<TrailCell>& cells, bool new_values,
                 const std::function<bool(int, int)>& progress, int* rows_written) {
    RowCells rows;
    for (const TrailCell& c : cells) {
        auto& row = rows[c.row];
        row.first = c.stamp;
        row.second.emplace_back(c.column, new_values ? c.new_value : c.old_value);
    }
    int done = 0;
    const int total = static_cast<int>(rows.size());
    for (const auto& [index, row] : rows) {
        if (!table.write_values(index, row.first, row.second)) {
            return false;
        }
        ++done;
        if (rows_written != nullptr) {
            *rows_written = done;
        }
        if (progress && !progress(done, total)) {
            return false;
        }
    }
    return true;
}

// The cells of the first `rows` rows (in row order) of a cell list.
std::vector<TrailCell> first_rows(const std::vector<TrailCell>& cells, int rows) {
    std::vector<int> indices;
    for (const auto& c : cells) {
        indices.push_back(c.row);
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    if (rows < static_cast<int>(indices.size())) {
        indices.resize(static_cast<std::size_t>(std::max(rows, 0)));
    }
    std::vector<TrailCell> out;
    for (const auto& c : cells) {
        if (std::binary_search(indices.begin(), indices.end(), c.row)) {
            out.push_back(c);
        }
    }
    return out;
}

// Runs an entry's cells into the table: begun on disk first, committed after the flush; a
// cancel or a failed write puts back the rows written and ends it cancelled.
ApplyOutcome run_entry(ResultsTable& table, ReprocessTrail& trail, TrailEntry entry,
                       const library::Clock& clock, const std::function<bool(int, int)>& progress) {
    ApplyOutcome out;
    std::error_code error;
    if (!trail.begin(entry, &error)) {
        out.message = "Не удалось записать журнал пересчёта " +
                      library::utf8_from_path(trail.path()) + ": " + error.message();
        return out;
    }
    out.id = entry.id;
    bool cancelled = false;
    const auto watch = [&](int done, int total) {
        if (progress && !progress(done, total)) {
            cancelled = true;
            return false;
        }
        return true;
    };
    int rows_written = 0;
    const bool written = write_cells(table, entry.cells, true, watch, &rows_written);
    if (written && table.flush()) {
        out.ok = trail.end(entry.id, TrailState::committed, now_text(clock), &error);
        out.cells = static_cast<int>(entry.cells.size());
        if (!out.ok) {
            // The rows hold the new values and the entry says what they were: the next
            // start completes it.
            out.message =
                "Строки записаны, но отметка в журнале пересчёта не записана: " + error.message();
        }
        return out;
    }
    const auto back = first_rows(entry.cells, rows_written);
    const bool restored = write_cells(table, back, false, {}, nullptr) && table.flush();
    if (restored) {
        (void)trail.end(entry.id, TrailState::cancelled, now_text(clock), &error);
    }
    out.message =
        cancelled ? "Пересчёт отменён, прежние значения восстановлены"
                  : "Не удалось записать строки таблицы; прежние значения " +
                        std::string(restored ? "восстановлены" : "будут восстановлены при запуске");
    return out;
}

}  // namespace

std::string trail_time_text(std::uint32_t stamp) {
    return library::format_date_time(stamp_time(stamp));
}

bool ReprocessTrail::load() {
    entries_.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) {
        return true;
    }
    const auto bytes = library::read_whole_file(path_);
    if (!bytes) {
        return false;
    }
    std::map<int, std::size_t> by_id;
    std::string_view text = *bytes;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        const auto line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        const auto f = fields_of(line);
        int id = 0;
        if (f.size() < 2 || !number(f[1], id)) {
            continue;
        }
        if (f[0] == "begin" && f.size() >= 12 && by_id.count(id) == 0) {
            TrailEntry e;
            e.id = id;
            e.undo = f[2] == "undo";
            (void)number(f[3], e.undoes);
            e.changed_at = unescaped(f[4]);
            (void)number(f[5], e.from);
            (void)number(f[6], e.to);
            e.calibration = unescaped(f[7]);
            e.windows = unescaped(f[8]);
            e.reason = unescaped(f[9]);
            e.calibration_text = unescaped(f[11]);
            by_id[id] = entries_.size();
            entries_.push_back(std::move(e));
        } else if (f[0] == "cell" && f.size() >= 9 && by_id.count(id) != 0) {
            TrailCell c;
            if (number(f[2], c.row) && number(f[3], c.stamp) && number(f[6], c.column) &&
                bits_value(f[7], c.old_value) && bits_value(f[8], c.new_value)) {
                c.key = unescaped(f[5]);
                entries_[by_id[id]].cells.push_back(std::move(c));
            }
        } else if (f[0] == "end" && f.size() >= 3 && by_id.count(id) != 0) {
            TrailEntry& e = entries_[by_id[id]];
            e.state = f[2] == "committed"   ? TrailState::committed
                      : f[2] == "recovered" ? TrailState::recovered
                      : f[2] == "cancelled" ? TrailState::cancelled
                                            : e.state;
        }
    }
    return true;
}

const TrailEntry* ReprocessTrail::entry(int id) const {
    for (const auto& e : entries_) {
        if (e.id == id) {
            return &e;
        }
    }
    return nullptr;
}

bool ReprocessTrail::undone(int id) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [id](const TrailEntry& e) { return e.undo && e.undoes == id && e.done(); });
}

const TrailEntry* ReprocessTrail::last_undoable() const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (!it->undo && it->done() && !undone(it->id)) {
            return &*it;
        }
    }
    return nullptr;
}

bool ReprocessTrail::append(const std::string& lines, std::error_code* error) {
    std::error_code ec;
    std::string bytes;
    if (std::filesystem::exists(path_, ec)) {
        const auto old = library::read_whole_file(path_);
        if (!old) {
            if (error != nullptr) {
                *error = std::make_error_code(std::errc::io_error);
            }
            return false;  // never write over a trail that could not be read
        }
        bytes = *old;
    }
    if (bytes.empty()) {
        bytes = kFirstLine;
    } else if (bytes.back() != '\n') {
        bytes += '\n';
    }
    bytes += lines;
    return library::write_file_atomically(path_, bytes, error);
}

bool ReprocessTrail::begin(TrailEntry& entry, std::error_code* error) {
    if (!load()) {
        if (error != nullptr) {
            *error = std::make_error_code(std::errc::io_error);
        }
        return false;
    }
    int id = 0;
    for (const auto& e : entries_) {
        id = std::max(id, e.id);
    }
    entry.id = id + 1;
    entry.state = TrailState::begun;
    std::string lines =
        "begin\t" + std::to_string(entry.id) + '\t' + (entry.undo ? "undo" : "apply") + '\t' +
        std::to_string(entry.undoes) + '\t' + escaped(entry.changed_at) + '\t' +
        std::to_string(entry.from) + '\t' + std::to_string(entry.to) + '\t' +
        escaped(entry.calibration) + '\t' + escaped(entry.windows) + '\t' + escaped(entry.reason) +
        '\t' + std::to_string(entry.cells.size()) + '\t' + escaped(entry.calibration_text) + '\n';
    for (const TrailCell& c : entry.cells) {
        lines += "cell\t" + std::to_string(entry.id) + '\t' + std::to_string(c.row) + '\t' +
                 std::to_string(c.stamp) + '\t' + trail_time_text(c.stamp) + '\t' + escaped(c.key) +
                 '\t' + std::to_string(c.column) + '\t' + bits_text(c.old_value) + '\t' +
                 bits_text(c.new_value) + '\t' + value_text(c.old_value) + '\t' +
                 value_text(c.new_value) + '\n';
    }
    if (!append(lines, error)) {
        return false;
    }
    entries_.push_back(entry);
    return true;
}

bool ReprocessTrail::end(int id, TrailState state, const std::string& at, std::error_code* error) {
    if (!append("end\t" + std::to_string(id) + '\t' + state_word(state) + '\t' + escaped(at) + '\n',
                error)) {
        return false;
    }
    for (auto& e : entries_) {
        if (e.id == id) {
            e.state = state;
        }
    }
    return true;
}

ApplyOutcome apply_reprocessing(ResultsTable& table, ReprocessTrail& trail,
                                const std::vector<ReprocessedRow>& rows, const TrailNote& note,
                                const library::Clock& clock,
                                const std::function<bool(int, int)>& progress) {
    TrailEntry entry;
    entry.changed_at = now_text(clock);
    entry.from = note.from;
    entry.to = note.to;
    entry.calibration = note.calibration;
    entry.calibration_text = note.calibration_text;
    entry.windows = note.windows;
    entry.reason = note.reason;
    int row_count = 0;
    for (const ReprocessedRow& r : rows) {
        if (r.state != RowState::recomputed || r.changed_cells() == 0) {
            continue;
        }
        ++row_count;
        for (const CellChange& c : r.cells) {
            if (c.changed()) {
                entry.cells.push_back({r.row, r.stamp, c.key, c.column, c.old_value, c.new_value});
            }
        }
    }
    if (entry.cells.empty()) {
        ApplyOutcome out;
        out.ok = true;
        out.message = "Пересчёт не изменил ни одного значения";
        return out;
    }
    ApplyOutcome out = run_entry(table, trail, std::move(entry), clock, progress);
    out.rows = row_count;
    return out;
}

ApplyOutcome undo_reprocessing(ResultsTable& table, ReprocessTrail& trail, int id,
                               const std::string& reason, const library::Clock& clock,
                               const std::function<bool(int, int)>& progress) {
    ApplyOutcome out;
    if (!trail.load()) {
        out.message = "Не удалось прочитать журнал пересчёта";
        return out;
    }
    const TrailEntry* target = id == 0 ? trail.last_undoable() : trail.entry(id);
    if (target == nullptr || target->undo || !target->done() || trail.undone(target->id)) {
        out.message = "Нет пересчёта, который можно отменить";
        return out;
    }
    TrailEntry entry;
    entry.undo = true;
    entry.undoes = target->id;
    entry.changed_at = now_text(clock);
    entry.from = target->from;
    entry.to = target->to;
    entry.calibration = target->calibration;
    entry.windows = target->windows;
    entry.reason = reason;
    std::vector<int> rows;
    for (const TrailCell& c : target->cells) {
        const int row = locate(table, c);
        const auto current = row >= 0 ? table.row(row) : std::nullopt;
        const auto column = static_cast<std::size_t>(c.column);
        if (!current || column >= kMaxValues || !same_bits(current->values[column], c.new_value)) {
            ++out.skipped;
            continue;
        }
        entry.cells.push_back({row, c.stamp, c.key, c.column, c.new_value, c.old_value});
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    const auto row_count = std::unique(rows.begin(), rows.end()) - rows.begin();
    if (entry.cells.empty()) {
        out.message = "Значения пересчёта уже изменены; восстанавливать нечего";
        return out;
    }
    const int skipped = out.skipped;
    out = run_entry(table, trail, std::move(entry), clock, progress);
    out.skipped = skipped;
    out.rows = static_cast<int>(row_count);
    return out;
}

int recover_reprocessing(ResultsTable& table, ReprocessTrail& trail, const library::Clock& clock) {
    if (!trail.load()) {
        return 0;
    }
    int completed = 0;
    const std::vector<TrailEntry> entries = trail.entries();
    for (const TrailEntry& e : entries) {
        if (e.state != TrailState::begun) {
            continue;
        }
        std::vector<TrailCell> cells;
        for (TrailCell c : e.cells) {
            c.row = locate(table, c);
            const auto current = c.row >= 0 ? table.row(c.row) : std::nullopt;
            const auto column = static_cast<std::size_t>(c.column);
            if (current && column < kMaxValues &&
                (same_bits(current->values[column], c.old_value) ||
                 same_bits(current->values[column], c.new_value))) {
                cells.push_back(c);
            }
        }
        if (write_cells(table, cells, true, {}, nullptr) && table.flush() &&
            trail.end(e.id, TrailState::recovered, now_text(clock))) {
            ++completed;
        }
    }
    return completed;
}

std::string journal_text(const TrailEntry& e) {
    std::vector<std::uint32_t> stamps;
    for (const auto& c : e.cells) {
        stamps.push_back(c.stamp);
    }
    std::sort(stamps.begin(), stamps.end());
    const auto rows = std::unique(stamps.begin(), stamps.end()) - stamps.begin();
    if (e.undo) {
        return "Отменён пересчёт №" + std::to_string(e.undoes) + ": восстановлено значений " +
               std::to_string(e.cells.size()) + " в строках " + std::to_string(rows);
    }
    return "Пересчёт №" + std::to_string(e.id) + " анализов с " + trail_time_text(e.from) + " по " +
           trail_time_text(e.to) + ", калибровка: " + e.calibration + ", изменено значений " +
           std::to_string(e.cells.size()) + " в строках " + std::to_string(rows);
}

}  // namespace vetra::storage
