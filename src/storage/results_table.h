#pragma once

#include <array>
#include <boost/signals2/signal.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/gaz_result.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/file_reporter.h"
#include "storage/mapped_file.h"

namespace vetra::storage {

inline constexpr std::size_t kRowSize = 145;
inline constexpr int kMaxValues = 32;
inline constexpr const char* kTableFileName = "data.tim";
inline constexpr const char* kColumnFileName = "inpgti.nbl";

// One row of "data.tim", decoded.
struct TableRow {
    std::uint8_t flag = 0;
    std::uint32_t stamp = 0;
    float depth = 0;
    std::array<float, kMaxValues> values{};
};

void encode_row(const TableRow& row, unsigned char* out);  // kRowSize bytes
TableRow decode_row(const unsigned char* bytes);

// One entry of "inpgti.nbl"; its fixed fields are always the same and are not kept.
struct ColumnEntry {
    std::string name;
    std::string name2;
    std::string unit;
    std::string key;
    bool operator==(const ColumnEntry&) const = default;
};

std::string encode_columns(const std::vector<ColumnEntry>& columns);
// At most 32 entries; reading stops at the end of the bytes, an entry cut short is dropped.
std::vector<ColumnEntry> decode_columns(std::string_view bytes);

// Where the records of one result list go in a row. Each record keeps the column its key
// already has, so a gas list reordered, grown or shortened never moves what a stored row
// means: a new key gets a new column at the end while there is room (32), and a column
// whose gas is gone stays, with 0 in the rows that follow.
struct RowLayout {
    std::vector<ColumnEntry> columns;  // the column list once this row is stored
    std::vector<int> fields;           // per record, its value index; -1: no room left
};
RowLayout place_results(const std::vector<ColumnEntry>& columns,
                        const std::vector<analysis::GazResult>& results);

// The row's time stamp: seconds of a calendar that counts every fourth year as a leap year,
// one day ahead of the Unix count. Years before 1969 or after 2105 do not fit.
std::uint32_t time_stamp(const library::LocalTime& t);
library::LocalTime stamp_time(std::uint32_t stamp);

enum class TableChange {
    appended,  // one row at the end, the columns as before
    columns,   // one row at the end with a new column list
    edited,    // a row changed in place
    reset,     // opened, cleared, rows deleted, or the file changed under us
};

// A copy of the rows to keep, made beside the table while the table stays in use; only
// `ResultsTable` starts and finishes one.
class RowRemoval;

// The results table: "data.tim" mapped into memory, shared with other processes, plus the
// column list of "inpgti.nbl". Rows are read straight from the mapping, so nothing grows with
// the row count. Main thread only, except `RowRemoval::copy`.
class ResultsTable {
public:
    explicit ResultsTable(const library::Clock& clock);
    ~ResultsTable();

    // Creates the file when missing unless `read_only`. False when it cannot be opened; the
    // table is then closed and shows no rows, and each append tries to open it again.
    bool open(const std::filesystem::path& path, bool read_only = false);
    void close();
    bool is_open() const { return file_.is_open(); }
    const std::filesystem::path& path() const { return path_; }

    // The listener on the calculator's results: each value goes into the column of its key
    // (`place_results`; an empty table starts a new column list). Other processes may append
    // to the same file at the same time. False when the row could not be written; the next
    // append tries again.
    bool append(const std::vector<analysis::GazResult>& results, float depth);
    // Told how every write of "data.tim" and "inpgti.nbl" went (not for a read-only table).
    void set_reporter(library::FileReporter* reporter) { reporter_ = reporter; }
    int row_count() const { return rows_; }
    std::optional<TableRow> row(int index) const;
    const std::vector<ColumnEntry>& columns() const { return columns_; }
    // Changes with every new column list.
    std::uint64_t columns_version() const { return columns_version_; }

    // `field` -1 is the depth, 0..31 a value. A change smaller than 0.00001 writes nothing.
    // False when nothing was written.
    bool set_field(int row, int field, double value);
    // Rows first..last (from 0): zeros only sets their values to 0, otherwise they are
    // removed by writing the rows kept beside the file and renaming it over "data.tim".
    bool delete_rows(int first, int last, bool zeros_only);
    // Writes values exactly as given (column, value) into the row whose stamp is `stamp`,
    // one change told; false when that row is not at `row` or a write failed.
    bool write_values(int row, std::uint32_t stamp,
                      const std::vector<std::pair<int, float>>& cells);
    // Puts the writes so far on the disk.
    bool flush();
    // The same removal in two halves, so the copy can run off the main thread.
    std::unique_ptr<RowRemoval> begin_removal(int first, int last);
    bool finish_removal(RowRemoval& removal);
    bool clear();
    // Looks again at the file after a read failed or another process may have changed it.
    void check();
    bool damaged() const { return damaged_; }

    boost::signals2::signal<void(TableChange, int row)> changed;

private:
    void count_rows();
    void load_columns();
    void adopt_column_file();
    void write_columns();
    void report(const std::filesystem::path& file, bool ok, std::error_code error = {});
    // Renames `writer`'s file over the table once `last_rows` has added what it must.
    bool replace_file(bool ok, library::AtomicFileWriter& writer,
                      const std::function<bool()>& last_rows);

    const library::Clock& clock_;
    library::FileReporter* reporter_ = nullptr;
    std::filesystem::path path_;
    bool read_only_ = false;
    MappedFile file_;
    int rows_ = 0;
    mutable bool damaged_ = false;
    std::vector<ColumnEntry> columns_;
    std::uint64_t columns_version_ = 0;
    std::string columns_written_;
};

class RowRemoval {
public:
    RowRemoval(std::filesystem::path table, int rows, int first, int last);
    // Copies the rows kept into the new file; safe on any thread.
    bool copy();

private:
    friend class ResultsTable;
    bool copy_rows(int from, int to);

    std::filesystem::path table_;
    int rows_;
    int first_;
    int last_;
    library::AtomicFileWriter writer_;
    bool copied_ = false;
};

}  // namespace vetra::storage
