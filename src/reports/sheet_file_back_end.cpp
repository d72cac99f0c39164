// Back ends that write the spreadsheet file themselves, so no office suite is needed.
#include <xlsxwriter.h>

#include <cerrno>
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
        write_cell(column, row, text);
    }

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
    virtual void write_cell(int column, int row, const std::string& text) = 0;
    // Completes the temporary file; an error text or empty.
    virtual std::string finish() = 0;
    virtual void abandon() = 0;

    library::AtomicFileWriter& writer() { return *writer_; }

private:
    DocumentOpener opener_;
    std::optional<library::AtomicFileWriter> writer_;
    bool open_ = false;
    bool complete_ = false;
    int last_row_ = 0;
};

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
    }

    void write_cell(int column, int row, const std::string& text) override {
        if (text.empty()) {
            return;
        }
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
        const std::string owned(cell);
        const lxw_error error =
            worksheet_write_string(sheet_, static_cast<lxw_row_t>(row),
                                   static_cast<lxw_col_t>(column), owned.c_str(), nullptr);
        if (error != LXW_NO_ERROR) {
            throw SpreadsheetError(write_failed(writer().target(), lxw_strerror(error)));
        }
    }

    std::string finish() override {
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
    std::string tmpdir_;
    std::string temporary_name_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
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

    void write_cell(int column, int row, const std::string& text) override {
        if (any_ && row != row_) {
            for (; row_ < row; ++row_) {
                buffer_ += "\r\n";
            }
            fields_ = 0;
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
        append_field(library::utf8_to_cp1251(text));
        ++fields_;
        if (buffer_.size() >= kChunk) {
            flush();
        }
    }

    std::string finish() override {
        if (any_) {
            buffer_ += "\r\n";
        }
        flush();
        return failed_ ? std::strerror(errno) : std::string();
    }

    void abandon() override { buffer_.clear(); }

private:
    static constexpr std::size_t kChunk = 1 << 16;

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
