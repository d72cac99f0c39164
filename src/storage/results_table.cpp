#include "storage/results_table.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <system_error>

#include "library/cp1251.h"
#include "library/utf8_path.h"

namespace vetra::storage {
namespace {

constexpr int kDepthField = -1;
constexpr std::size_t kValuesOffset = 13;
constexpr double kEditThreshold = 0.00001;
// The fixed fields that close every entry of the column file.
constexpr unsigned char kColumnTail[25] = {0xFF, 0xFF, 0xFF, 0xFF,  // -1
                                           0x00, 0x00, 0xC8, 0x42,  // 100.0f
                                           0x00, 0x00, 0x00, 0x00,  // 0.0f
                                           0x00, 0x00, 0x00, 0x00,  // 0.0f
                                           0x00, 0x00, 0xC8, 0x42,  // 100.0f
                                           0x01, 0x00, 0x00, 0x00,  // 1
                                           0x00};

template <typename T>
void put(unsigned char* out, std::size_t offset, T value) {
    std::memcpy(out + offset, &value, sizeof value);  // little-endian hosts only
}

template <typename T>
T get(const unsigned char* bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

int month_days(int month, bool leap) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::uint64_t row_offset(int row) {
    return static_cast<std::uint64_t>(row) * kRowSize;
}

}  // namespace

void encode_row(const TableRow& row, unsigned char* out) {
    std::memset(out, 0, kRowSize);
    out[0] = row.flag;
    put(out, 1, row.stamp);
    put(out, 5, row.depth);
    std::memcpy(out + kValuesOffset, row.values.data(), sizeof(float) * kMaxValues);
}

TableRow decode_row(const unsigned char* bytes) {
    TableRow row;
    row.flag = bytes[0];
    row.stamp = get<std::uint32_t>(bytes, 1);
    row.depth = get<float>(bytes, 5);
    std::memcpy(row.values.data(), bytes + kValuesOffset, sizeof(float) * kMaxValues);
    return row;
}

std::string encode_columns(const std::vector<ColumnEntry>& columns) {
    std::string out;
    const std::size_t count = std::min<std::size_t>(columns.size(), kMaxValues);
    for (std::size_t i = 0; i < count; ++i) {
        const ColumnEntry& c = columns[i];
        for (const std::string* text : {&c.name, &c.name2, &c.unit, &c.key}) {
            out += library::utf8_to_cp1251(*text);
            out += '\0';
        }
        out.append(reinterpret_cast<const char*>(kColumnTail), sizeof kColumnTail);
    }
    return out;
}

std::vector<ColumnEntry> decode_columns(std::string_view bytes) {
    std::vector<ColumnEntry> columns;
    while (columns.size() < kMaxValues && !bytes.empty()) {
        ColumnEntry c;
        bool complete = true;
        for (std::string* text : {&c.name, &c.name2, &c.unit, &c.key}) {
            const auto end = bytes.find('\0');
            if (end == std::string_view::npos) {
                complete = false;
                break;
            }
            *text = library::cp1251_to_utf8(bytes.substr(0, end));
            bytes.remove_prefix(end + 1);
        }
        if (!complete || bytes.size() < sizeof kColumnTail) {
            break;
        }
        bytes.remove_prefix(sizeof kColumnTail);
        columns.push_back(std::move(c));
    }
    return columns;
}

namespace {

// Columns and records are known by their key; one without a key, by its name.
const std::string& identity(const std::string& key, const std::string& name) {
    return key.empty() ? name : key;
}

}  // namespace

RowLayout place_results(const std::vector<ColumnEntry>& columns,
                        const std::vector<analysis::GazResult>& results) {
    RowLayout layout;
    layout.columns = columns;
    if (layout.columns.size() > static_cast<std::size_t>(kMaxValues)) {
        layout.columns.resize(kMaxValues);
    }
    // A key twice in one list (two gases of one name) takes a second column, not the first.
    std::vector<bool> taken(layout.columns.size(), false);
    for (const analysis::GazResult& r : results) {
        const std::string& id = identity(r.key, r.name);
        int field = -1;
        for (std::size_t c = 0; c < layout.columns.size() && field < 0; ++c) {
            const ColumnEntry& column = layout.columns[c];
            if (!taken[c] && identity(column.key, column.name) == id) {
                field = static_cast<int>(c);
            }
        }
        if (field < 0 && layout.columns.size() < static_cast<std::size_t>(kMaxValues)) {
            field = static_cast<int>(layout.columns.size());
            layout.columns.push_back({r.name, r.name, "%", r.key});
            taken.push_back(false);
        }
        if (field >= 0) {
            taken[static_cast<std::size_t>(field)] = true;
        }
        layout.fields.push_back(field);
    }
    return layout;
}

std::uint32_t time_stamp(const library::LocalTime& t) {
    const std::int64_t y = t.year;
    std::int64_t days = y * 365 - 719050 + (y - 1968) / 4;
    const bool leap = y % 4 == 0;
    if (leap) {
        days -= 1;
    }
    for (int m = 1; m < std::clamp(t.month, 1, 13); ++m) {
        days += month_days(m, leap);
    }
    days += t.day;
    const std::int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    return static_cast<std::uint32_t>(seconds);
}

library::LocalTime stamp_time(std::uint32_t stamp) {
    library::LocalTime t;
    const std::uint32_t seconds = stamp % 86400;
    t.hour = static_cast<int>(seconds / 3600);
    t.minute = static_cast<int>(seconds / 60 % 60);
    t.second = static_cast<int>(seconds % 60);
    // Day 1 is 1 January 1970; day 0, 31 December 1969.
    std::int64_t day = stamp / 86400;
    int year = 1969;
    if (day == 0) {
        day = 365;
    } else {
        year = 1970;
        // Every run of four years holds exactly one leap year in this calendar.
        const std::int64_t blocks = (day - 1) / 1461;
        year += static_cast<int>(blocks * 4);
        day -= blocks * 1461;
        while (day > (year % 4 == 0 ? 366 : 365)) {
            day -= year % 4 == 0 ? 366 : 365;
            ++year;
        }
    }
    const bool leap = year % 4 == 0;
    int month = 1;
    while (month < 12 && day > month_days(month, leap)) {
        day -= month_days(month, leap);
        ++month;
    }
    t.year = year;
    t.month = month;
    t.day = static_cast<int>(day);
    return t;
}

ResultsTable::ResultsTable(const library::Clock& clock) : clock_(clock) {}

ResultsTable::~ResultsTable() = default;

bool ResultsTable::open(const std::filesystem::path& path, bool read_only) {
    path_ = path;
    read_only_ = read_only;
    const bool ok = file_.open(path_, !read_only_);
    if (!ok || !file_.writable()) {
        // Said now, before a result is lost to it.
        report(path_, false, file_.error());
    }
    count_rows();
    load_columns();
    changed(TableChange::reset, 0);
    return ok;
}

void ResultsTable::close() {
    file_.close();
    rows_ = 0;
    changed(TableChange::reset, 0);
}

void ResultsTable::count_rows() {
    damaged_ = false;
    const auto size = file_.current_size();
    // A partial row at the end (a crash during an append) is not counted.
    rows_ = size ? static_cast<int>(std::min<std::uint64_t>(*size / kRowSize, INT_MAX)) : 0;
}

void ResultsTable::load_columns() {
    const auto bytes = library::read_whole_file(path_.parent_path() / kColumnFileName);
    auto columns = bytes ? decode_columns(*bytes) : std::vector<ColumnEntry>{};
    columns_written_ = bytes ? encode_columns(columns) : std::string{};
    if (columns != columns_) {
        columns_ = std::move(columns);
        ++columns_version_;
    }
}

// Another instance appending to the same table may have given a new gas its column; the
// file is what describes the rows, so its list is taken before the next row is placed. A
// missing or unreadable file keeps the list in memory, which is then written again.
void ResultsTable::adopt_column_file() {
    const auto bytes = library::read_whole_file(path_.parent_path() / kColumnFileName);
    if (!bytes || *bytes == columns_written_) {
        return;
    }
    auto columns = decode_columns(*bytes);
    if (columns.empty()) {
        return;
    }
    columns_written_ = encode_columns(columns);
    if (columns != columns_) {
        columns_ = std::move(columns);
        ++columns_version_;
    }
}

void ResultsTable::write_columns() {
    const std::string bytes = encode_columns(columns_);
    const std::filesystem::path path = path_.parent_path() / kColumnFileName;
    std::error_code ec;
    // The same list is rewritten only when the file went missing.
    if (bytes == columns_written_ && std::filesystem::exists(path, ec)) {
        return;
    }
    std::error_code error;
    const bool ok = library::write_file_atomically(path, bytes, &error);
    if (ok) {
        columns_written_ = bytes;
    }
    report(path, ok, error);
}

void ResultsTable::report(const std::filesystem::path& file, bool ok, std::error_code error) {
    if (reporter_ != nullptr && !read_only_) {
        reporter_->report(library::utf8_from_path(file), ok, error);
    }
}

bool ResultsTable::append(const std::vector<analysis::GazResult>& results, float depth) {
    if (path_.empty() || read_only_) {
        return false;
    }
    // A row written to a file that another program has replaced or removed would be lost;
    // a table that could not be opened (a full disk, a read-only folder) is tried again.
    bool reopened = false;
    if (!file_.writable() || !file_.still_at(path_)) {
        file_.open(path_, true);
        reopened = true;
    }
    if (!file_.writable()) {
        report(path_, false, file_.error());
        if (reopened) {
            count_rows();
            changed(TableChange::reset, 0);
        }
        return false;
    }
    const std::uint64_t version_before = columns_version_;
    adopt_column_file();
    // No stored row can be relabelled in an empty table, so it starts a column list afresh.
    const auto size = file_.current_size();
    const bool empty = size && *size < kRowSize;
    RowLayout layout = place_results(empty ? std::vector<ColumnEntry>{} : columns_, results);
    TableRow row;
    row.stamp = time_stamp(clock_.local_now());
    row.depth = depth;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (const int field = layout.fields[i]; field >= 0) {
            row.values[static_cast<std::size_t>(field)] =
                static_cast<float>(results[i].concentration);
        }
    }
    unsigned char bytes[kRowSize];
    encode_row(row, bytes);

    // Always at a row boundary: a torn row left by a crash is overwritten, never built upon.
    const std::uint64_t opens = file_.opens();
    const auto index = file_.append_record(bytes, kRowSize);
    reopened = reopened || file_.opens() != opens;
    report(path_, index.has_value(), file_.error());
    if (!index || *index >= INT_MAX) {
        if (reopened) {
            count_rows();
            changed(TableChange::reset, 0);
        }
        return false;
    }
    const auto at_rows = static_cast<int>(*index);
    const bool known_rows = at_rows == rows_ && !reopened;
    rows_ = at_rows + 1;
    if (layout.columns != columns_) {
        columns_ = std::move(layout.columns);
        ++columns_version_;
    }
    const bool new_columns = columns_version_ != version_before;
    write_columns();
    if (!known_rows) {
        changed(TableChange::reset, 0);  // another process changed the file meanwhile
    } else {
        changed(new_columns ? TableChange::columns : TableChange::appended, at_rows);
    }
    return true;
}

std::optional<TableRow> ResultsTable::row(int index) const {
    if (index < 0 || index >= rows_) {
        return std::nullopt;
    }
    unsigned char bytes[kRowSize];
    if (!file_.read(row_offset(index), bytes, kRowSize)) {
        damaged_ = true;
        return std::nullopt;
    }
    return decode_row(bytes);
}

void ResultsTable::check() {
    const auto size = file_.current_size();
    const int rows =
        size ? static_cast<int>(std::min<std::uint64_t>(*size / kRowSize, INT_MAX)) : 0;
    if (damaged_ || rows != rows_) {
        count_rows();
        changed(TableChange::reset, 0);
    }
}

bool ResultsTable::set_field(int index, int field, double value) {
    auto current = row(index);
    if (!current || field < kDepthField || field >= kMaxValues || !std::isfinite(value)) {
        return false;
    }
    float& stored = field == kDepthField ? current->depth : current->values[field];
    if (std::fabs(value - static_cast<double>(stored)) < kEditThreshold) {
        return false;
    }
    const float written = static_cast<float>(value);
    const std::size_t offset = field == kDepthField ? 5 : kValuesOffset + 4 * field;
    if (!file_.write(row_offset(index) + offset, &written, sizeof written)) {
        return false;
    }
    changed(TableChange::edited, index);
    return true;
}

bool ResultsTable::write_values(int index, std::uint32_t stamp,
                                const std::vector<std::pair<int, float>>& cells) {
    const auto current = row(index);
    if (!current || current->stamp != stamp || !file_.writable()) {
        return false;
    }
    for (const auto& [column, value] : cells) {
        if (column < 0 || column >= kMaxValues ||
            !file_.write(row_offset(index) + kValuesOffset + 4 * static_cast<std::size_t>(column),
                         &value, sizeof value)) {
            return false;
        }
    }
    changed(TableChange::edited, index);
    return true;
}

bool ResultsTable::flush() {
    const bool ok = file_.flush();
    report(path_, ok, file_.error());
    return ok;
}

bool ResultsTable::delete_rows(int first, int last, bool zeros_only) {
    first = std::max(first, 0);
    last = std::min(last, rows_ - 1);
    if (first > last || !file_.writable()) {
        return false;
    }
    if (zeros_only) {
        static constexpr float kZeros[kMaxValues] = {};
        bool ok = true;
        for (int r = first; r <= last && ok; ++r) {
            ok = file_.write(row_offset(r) + kValuesOffset, kZeros, sizeof kZeros);
        }
        changed(TableChange::reset, 0);
        return ok;
    }
    auto removal = begin_removal(first, last);
    return removal && removal->copy() && finish_removal(*removal);
}

std::unique_ptr<RowRemoval> ResultsTable::begin_removal(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, rows_ - 1);
    if (first > last || !file_.writable()) {
        return nullptr;
    }
    return std::make_unique<RowRemoval>(path_, rows_, first, last);
}

bool ResultsTable::finish_removal(RowRemoval& removal) {
    const bool ok = removal.copied_ && removal.table_ == path_ && file_.writable();
    return replace_file(ok, removal.writer_, [&] {
        const auto size = file_.current_size();
        const int rows_now = size ? static_cast<int>(*size / kRowSize) : -1;
        // Rows appended while the copy ran follow the rows kept.
        return rows_now >= removal.rows_ && removal.copy_rows(removal.rows_, rows_now);
    });
}

bool ResultsTable::clear() {
    library::AtomicFileWriter empty(path_);
    return replace_file(file_.writable(), empty, [] { return true; });
}

// Appenders wait from the last look at the size through the rename (they open the new file
// when they get the lock), so no row goes to the file being replaced.
bool ResultsTable::replace_file(bool ok, library::AtomicFileWriter& writer,
                                const std::function<bool()>& last_rows) {
    const bool locked = ok && file_.lock_appenders();
    // Another program may have replaced the file since the rows were read.
    ok = locked && file_.still_at(path_) && last_rows();
    if (ok) {
        file_.prepare_for_replace();
        ok = writer.commit();
    }
    if (!ok) {
        writer.fail();
    }
    if (locked && file_.is_open()) {
        file_.unlock_appenders();
    }
    file_.open(path_, true);
    count_rows();
    changed(TableChange::reset, 0);
    return ok;
}

RowRemoval::RowRemoval(std::filesystem::path table, int rows, int first, int last)
    : table_(std::move(table)), rows_(rows), first_(first), last_(last), writer_(table_) {}

bool RowRemoval::copy() {
    copied_ = copy_rows(0, first_) && copy_rows(last_ + 1, rows_);
    return copied_;
}

// Copies rows from..to-1 of the table file to the end of the new file, reading the file
// itself rather than the mapping, which the main thread may replace.
bool RowRemoval::copy_rows(int from, int to) {
    if (!writer_.ok()) {
        return false;
    }
    return from >= to ||
           writer_.append_from(table_, row_offset(from), row_offset(to) - row_offset(from));
}

}  // namespace vetra::storage
