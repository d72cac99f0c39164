// Back ends that write the spreadsheet file themselves, so no office suite is needed.
#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>

#include "library/atomic_file.h"
#include "library/cp1251.h"
#include "library/utf8_path.h"
#include "reports/spreadsheet.h"

namespace vetra::reports {
namespace {

constexpr const char* kSheetName = "Таблица";
// The limits of an Office Open XML sheet.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr std::size_t kMaxCellBytes = 32767;

std::string write_failed(const std::filesystem::path& path, const std::string& reason) {
    return "Не удалось записать файл \"" + library::utf8_from_path(path) + "\" (" + reason +
           ").\nПроверьте, есть ли место на диске и можно ли писать в эту папку.";
}

// The document's life: a new document takes cells once its first store has named the file;
// they stream into a temporary file beside it, and a later store to the same path puts the
// complete file in place. A document closed before that leaves the old file as it was.
class FileBackEnd : public SpreadsheetBackEnd {
public:
    explicit FileBackEnd(DocumentOpener opener) : opener_(std::move(opener)) {}
    ~FileBackEnd() override = default;

    bool connect() override { return true; }

    void open_document(bool hidden, const std::string& file_name) override {
        close();
        if (file_name.empty()) {
            open_ = true;
            return;
        }
        // A stored file is only ever opened to show it to the operator.
        std::error_code ec;
        if (hidden || !std::filesystem::is_regular_file(library::path_from_utf8(file_name), ec)) {
            throw SpreadsheetError(
                "Ошибка при открытии шаблона отчета.\nФайл поврежден или не найден.");
        }
        if (!opener_ || !opener_(file_name)) {
            throw SpreadsheetError("Файл \"" + file_name +
                                   "\" сохранён, но открыть его не удалось: в системе не "
                                   "найдена программа для электронных таблиц.");
        }
        open_ = true;
    }

    void select_sheet(int index) override {
        if (!open_ || index != 0) {
            throw SpreadsheetError("Лист " + std::to_string(index) + " не найден.");
        }
        activate_sheet(kSheetName);
    }

    void activate_sheet(const std::string& name) override {
        if (!open_ || name != kSheetName) {
            throw SpreadsheetError("Лист \"" + name + "\" не найден.");
        }
    }

    void set_cell_text(int column, int row, const std::string& text) override {
        set_cell(column, row, storage::TableCell::of_text(text));
    }

    void set_cell(int column, int row, const storage::TableCell& cell) override {
        if (!writer_ || complete_) {
            throw SpreadsheetError("Документ не сохранён: ячейки записать некуда.");
        }
        if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns) {
            throw SpreadsheetError("Таблица слишком велика для листа: на листе не более " +
                                   std::to_string(kMaxRows) + " строк и " +
                                   std::to_string(kMaxColumns) + " столбцов.");
        }
        // Rows go to disk as soon as the next one starts, so they must come in order.
        if (row < last_row_) {
            throw SpreadsheetError("Строки таблицы пришли не по порядку.");
        }
        last_row_ = row;
        if (cell.kind != storage::TableCell::Kind::empty) {
            write_cell(column, row, cell);
        }
    }

    void set_layout(const SheetLayout& layout) override { layout_ = layout; }

    void store(const std::string& path, int /*mode*/) override {
        if (!open_) {
            throw SpreadsheetError("Документ не открыт.");
        }
        if (!writer_) {
            writer_.emplace(library::path_from_utf8(path));
            if (!writer_->is_open()) {
                const std::string reason = std::strerror(errno);
                writer_.reset();
                throw SpreadsheetError(write_failed(path, reason));
            }
            begin(writer_->temporary_path());
            return;
        }
        if (writer_->target() != library::path_from_utf8(path)) {
            throw SpreadsheetError("Документ уже сохраняется в файл \"" +
                                   library::utf8_from_path(writer_->target()) + "\".");
        }
        if (complete_) {
            return;
        }
        const std::string error = finish();
        complete_ = true;
        if (!error.empty() || !writer_->commit()) {
            const std::string reason = error.empty() ? std::strerror(errno) : error;
            writer_->discard();
            throw SpreadsheetError(write_failed(path, reason));
        }
    }

    // Nothing on screen shows a file being written, so there is no view to hold still.
    void lock(bool /*unlock*/) override {}

    void close() override {
        if (writer_ && !complete_) {
            abandon();
        }
        writer_.reset();
        open_ = false;
        complete_ = false;
        last_row_ = 0;
    }

protected:
    virtual void begin(const std::filesystem::path& temporary) = 0;
    virtual void write_cell(int column, int row, const storage::TableCell& cell) = 0;
    // Completes the temporary file; an error text or empty.
    virtual std::string finish() = 0;
    virtual void abandon() = 0;

    library::AtomicFileWriter& writer() { return *writer_; }
    const SheetLayout& layout() const { return layout_; }
    int last_row() const { return last_row_; }

private:
    DocumentOpener opener_;
    SheetLayout layout_;
    std::optional<library::AtomicFileWriter> writer_;
    bool open_ = false;
    bool complete_ = false;
    int last_row_ = 0;
};

// Characters a cell's text takes on screen, for the column widths.
int display_width(const storage::TableCell& cell) {
    switch (cell.kind) {
        case storage::TableCell::Kind::empty:
            return 0;
        case storage::TableCell::Kind::date_time:
            return 16;  // 08.12.2026 14:07
        case storage::TableCell::Kind::number: {
            const double magnitude = std::fabs(cell.value);
            const int digits = magnitude < 10 ? 1 : static_cast<int>(std::log10(magnitude)) + 1;
            return digits + (cell.decimals > 0 ? cell.decimals + 1 : 0) + (cell.value < 0 ? 1 : 0);
        }
        case storage::TableCell::Kind::text:
            break;
    }
    int letters = 0;
    for (const char c : cell.text) {
        letters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return letters;
}

std::string text_within_limit(const std::string& text) {
    std::string_view cell = text;
    if (cell.size() > kMaxCellBytes) {
        cell = cell.substr(0, kMaxCellBytes);
        while (!cell.empty() && (static_cast<unsigned char>(cell.back()) & 0xC0) == 0x80) {
            cell.remove_suffix(1);
        }
        if (!cell.empty() && static_cast<unsigned char>(cell.back()) >= 0xC0) {
            cell.remove_suffix(1);
        }
    }
    return std::string(cell);
}

// A workbook a person likes to open: numbers as numbers with the table's decimals, the date
// as a date, a bold header row with a filter, frozen panes and columns wide enough.
class XlsxBackEnd final : public FileBackEnd {
public:
    using FileBackEnd::FileBackEnd;
    ~XlsxBackEnd() override { close(); }

protected:
    void begin(const std::filesystem::path& temporary) override {
        // Row data waits in a file in the target's folder, not in memory or in /tmp.
        // The library takes UTF-8 names (and widens them itself on Windows).
        tmpdir_ = temporary.parent_path().empty()
                      ? std::string(".")
                      : library::utf8_from_path(temporary.parent_path());
        temporary_name_ = library::utf8_from_path(temporary);
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpdir_.data();
        options.use_zip64 = LXW_TRUE;
        workbook_ = workbook_new_opt(temporary_name_.c_str(), &options);
        sheet_ = workbook_ ? workbook_add_worksheet(workbook_, kSheetName) : nullptr;
        if (!sheet_) {
            abandon();
            throw SpreadsheetError(write_failed(temporary.parent_path(), "нет памяти"));
        }
        header_ = workbook_add_format(workbook_);
        format_set_bold(header_);
        format_set_bg_color(header_, 0xE0E0E0);
        format_set_align(header_, LXW_ALIGN_CENTER);
        format_set_align(header_, LXW_ALIGN_VERTICAL_CENTER);
        date_ = workbook_add_format(workbook_);
        format_set_num_format(date_, "d.mm.yyyy hh:mm");
        numbers_.fill(nullptr);
        widths_.clear();
        columns_ = 0;
    }

    void write_cell(int column, int row, const storage::TableCell& cell) override {
        const auto r = static_cast<lxw_row_t>(row);
        const auto c = static_cast<lxw_col_t>(column);
        lxw_error error = LXW_NO_ERROR;
        switch (cell.kind) {
            case storage::TableCell::Kind::empty:
                return;
            case storage::TableCell::Kind::number:
                if (!std::isfinite(cell.value)) {
                    return;
                }
                error =
                    worksheet_write_number(sheet_, r, c, cell.value, number_format(cell.decimals));
                break;
            case storage::TableCell::Kind::date_time:
                error = worksheet_write_number(sheet_, r, c, cell.value, date_);
                break;
            case storage::TableCell::Kind::text:
                error = worksheet_write_string(sheet_, r, c, text_within_limit(cell.text).c_str(),
                                               row == 0 ? header_ : nullptr);
                break;
        }
        if (error != LXW_NO_ERROR) {
            throw SpreadsheetError(write_failed(writer().target(), lxw_strerror(error)));
        }
        columns_ = std::max(columns_, column + 1);
        // The widths follow the header and the first rows: the rest look like them.
        if (row <= kWidthRows) {
            if (widths_.size() <= static_cast<std::size_t>(column)) {
                widths_.resize(static_cast<std::size_t>(column) + 1, 0);
            }
            const int w = display_width(cell);
            auto& width = widths_[static_cast<std::size_t>(column)];
            width = std::max(width, row == 0 ? std::min(w, kMaxHeaderWidth) : w);
        }
    }

    std::string finish() override {
        dress_sheet();
        const lxw_error error = workbook_close(workbook_);
        workbook_ = nullptr;
        sheet_ = nullptr;
        return error == LXW_NO_ERROR ? std::string() : std::string(lxw_strerror(error));
    }

    void abandon() override {
        // The library has no way to drop a workbook unwritten; closing it is the only way
        // to free it, and the temporary file is removed afterwards.
        if (workbook_) {
            workbook_close(workbook_);
            workbook_ = nullptr;
            sheet_ = nullptr;
        }
    }

private:
    static constexpr int kWidthRows = 200;
    static constexpr int kMaxHeaderWidth = 30;

    lxw_format* number_format(int decimals) {
        decimals = std::clamp(decimals, 0, static_cast<int>(numbers_.size()) - 1);
        auto& format = numbers_[static_cast<std::size_t>(decimals)];
        if (!format) {
            format = workbook_add_format(workbook_);
            const std::string code = decimals == 0 ? "0" : "0." + std::string(decimals, '0');
            format_set_num_format(format, code.c_str());
        }
        return format;
    }

    void dress_sheet() {
        for (std::size_t c = 0; c < widths_.size(); ++c) {
            const double width = std::clamp(widths_[c] + 2, 6, 60);
            worksheet_set_column(sheet_, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 width, nullptr);
        }
        const SheetLayout& l = layout();
        if (l.frozen_rows > 0 || l.frozen_columns > 0) {
            worksheet_freeze_panes(sheet_, static_cast<lxw_row_t>(std::max(l.frozen_rows, 0)),
                                   static_cast<lxw_col_t>(std::max(l.frozen_columns, 0)));
        }
        if (columns_ > 0) {
            worksheet_autofilter(sheet_, 0, 0, static_cast<lxw_row_t>(last_row()),
                                 static_cast<lxw_col_t>(columns_ - 1));
        }
        title_ = l.title;
        subject_ = l.subject;
        lxw_doc_properties properties{};
        properties.title = title_.data();
        properties.subject = subject_.data();
        properties.keywords = subject_.data();
        properties.comments = program_.data();
        workbook_set_properties(workbook_, &properties);
    }

    std::string tmpdir_;
    std::string temporary_name_;
    std::string program_ = "Хроматограф (Vetra)";
    std::string title_;
    std::string subject_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* header_ = nullptr;
    lxw_format* date_ = nullptr;
    std::array<lxw_format*, 8> numbers_{};
    std::vector<int> widths_;
    int columns_ = 0;
};

class CsvBackEnd final : public FileBackEnd {
public:
    using FileBackEnd::FileBackEnd;
    ~CsvBackEnd() override { close(); }

protected:
    void begin(const std::filesystem::path&) override {
        buffer_.clear();
        row_ = 0;
        fields_ = 0;
        any_ = false;
        failed_ = false;
    }

    void write_cell(int column, int row, const storage::TableCell& cell) override {
        if (any_ && row != row_) {
            for (; row_ < row; ++row_) {
                end_row();
            }
        }
        if (any_ && row == row_ && column < fields_) {
            throw SpreadsheetError("Ячейки строки пришли не по порядку.");
        }
        row_ = row;
        any_ = true;
        for (; fields_ < column; ++fields_) {
            if (fields_ > 0) {
                buffer_ += ';';
            }
        }
        if (fields_ > 0) {
            buffer_ += ';';
        }
        append_field(library::utf8_to_cp1251(cell_as_text(cell)));
        ++fields_;
        if (buffer_.size() >= kChunk) {
            flush();
        }
    }

    std::string finish() override {
        if (any_) {
            end_row();
        }
        flush();
        return failed_ ? std::strerror(errno) : std::string();
    }

    void abandon() override { buffer_.clear(); }

private:
    static constexpr std::size_t kChunk = 1 << 16;

    // Every row has all its fields, empty ones at the end too, so columns stay columns.
    void end_row() {
        for (; fields_ < layout().columns; ++fields_) {
            if (fields_ > 0) {
                buffer_ += ';';
            }
        }
        buffer_ += "\r\n";
        fields_ = 0;
    }

    void append_field(const std::string& field) {
        if (field.find_first_of(";\"\r\n") == std::string::npos) {
            buffer_ += field;
            return;
        }
        buffer_ += '"';
        for (const char c : field) {
            buffer_ += c;
            if (c == '"') {
                buffer_ += '"';
            }
        }
        buffer_ += '"';
    }

    void flush() {
        if (!buffer_.empty() && !failed_ && !writer().write(buffer_)) {
            failed_ = true;
        }
        buffer_.clear();
    }

    std::string buffer_;
    int row_ = 0;
    int fields_ = 0;  // fields of the current row already written
    bool any_ = false;
    bool failed_ = false;
};

}  // namespace

std::string to_url(std::string_view path) {
    std::string url = "file://localhost";
    // A POSIX path brings its own leading slash; a drive path ("C:\...") needs one.
    if (path.empty() || (path.front() != '/' && path.front() != '\\')) {
        url += '/';
    }
    for (const char c : path) {
        if (c == ' ') {
            url += "%20";
        } else if (c == '\\') {
            url += '/';
        } else {
            url += c;
        }
    }
    return url;
}

std::unique_ptr<SpreadsheetBackEnd> make_file_back_end(SheetFormat format, DocumentOpener opener) {
    if (format == SheetFormat::csv) {
        return std::make_unique<CsvBackEnd>(std::move(opener));
    }
    return std::make_unique<XlsxBackEnd>(std::move(opener));
}

}  // namespace vetra::reports
