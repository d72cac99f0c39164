#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include "analysis/gaz_result.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/number_text.h"
#include "reports/spreadsheet.h"
#include "reports/table_export.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "support/memory_table.h"
#include "support/temp_dir.h"
#include "support/xlsx_reader.h"

using namespace vetra;
using reports::SheetFormat;

namespace {

struct UrlCase {
    const char* path;
    const char* url;
};

class ToUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ToUrl, blanks_and_backslashes_become_url_characters) {
    EXPECT_EQ(reports::to_url(GetParam().path), GetParam().url);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ToUrl,
    ::testing::Values(UrlCase{R"(C:\Program Files\Vetra\TextData\table.xls)",
                              "file://localhost/C:/Program%20Files/Vetra/TextData/table.xls"},
                      UrlCase{"/home/operator/my wells/TextData/table.xlsx",
                              "file://localhost/home/operator/my%20wells/TextData/table.xlsx"},
                      UrlCase{R"(D:\a  b\%c.xls)", "file://localhost/D:/a%20%20b/%c.xls"}),
    [](const auto& info) { return "path" + std::to_string(info.index); });

std::vector<std::string> folder_names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class Export : public ::testing::Test {
protected:
    std::string path() const { return reports::export_path(dir.dir()).string(); }
    reports::ExportOutcome run(const storage::TableText& table,
                               const reports::ExportProgress& progress = {}) {
        auto back_end = reports::make_file_back_end(SheetFormat::xlsx);
        return reports::export_table(table, *back_end, path(), progress);
    }
    test::TempDir dir;
};

TEST_F(Export, the_workbook_read_back_holds_the_display_texts_and_nothing_else_is_left) {
    test::MemoryTable table = test::MemoryTable::results(40, 6);
    table.cells[3][2] = "";  // an empty cell stays empty
    table.cells[5][1] = "  <a & \"b\">  ";
    std::int64_t last = 0;
    std::int64_t maximum = 0;
    const auto outcome = run(table, [&](std::int64_t position, std::int64_t max) {
        EXPECT_GT(position, last);
        last = position;
        maximum = max;
        return true;
    });
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(last, 41 * 7);
    EXPECT_EQ(maximum, 41 * 7);
    VETRA_SKIP_READING_WITHOUT_UNZIP();
    EXPECT_EQ(test::read_first_sheet(path()), table.cells);
    EXPECT_EQ(folder_names(dir / "TextData"), std::vector<std::string>{"table.xlsx"});
}

TEST_F(Export, an_empty_table_exports_its_header_row_and_a_second_export_overwrites) {
    const test::MemoryTable empty = test::MemoryTable::results(0, 13);
    ASSERT_TRUE(run(empty).ok);
    VETRA_SKIP_READING_WITHOUT_UNZIP();
    EXPECT_EQ(test::read_first_sheet(path()), empty.cells);

    const test::MemoryTable full = test::MemoryTable::results(5, 3);
    ASSERT_TRUE(run(full).ok);
    EXPECT_EQ(test::read_first_sheet(path()), full.cells);
}

TEST_F(Export, a_cancelled_export_leaves_the_previous_file_whole_and_no_leftovers) {
    const test::MemoryTable first = test::MemoryTable::results(3, 2);
    ASSERT_TRUE(run(first).ok);
    const auto outcome =
        run(test::MemoryTable::results(1000, 4),
            [](std::int64_t position, std::int64_t max) { return position < max / 2; });
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.cancelled);
    VETRA_SKIP_READING_WITHOUT_UNZIP();
    EXPECT_EQ(test::read_first_sheet(path()), first.cells);
    EXPECT_EQ(folder_names(dir / "TextData"), std::vector<std::string>{"table.xlsx"});
}

TEST_F(Export, a_folder_that_cannot_be_written_gives_a_message_naming_the_file) {
    test::write_bytes(dir / "TextData", "a file where the folder should be");
    const auto outcome = run(test::MemoryTable::results(2, 2));
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_NE(outcome.message.find("table.xlsx"), std::string::npos) << outcome.message;
}

TEST(SheetBackEnd, refuses_cells_before_the_file_is_named_and_rows_out_of_order) {
    test::TempDir dir;
    auto back_end = reports::make_file_back_end(SheetFormat::xlsx);
    ASSERT_TRUE(back_end->connect());
    back_end->open_document(true, "");
    EXPECT_THROW(back_end->set_cell_text(0, 0, "x"), reports::SpreadsheetError);
    back_end->store((dir / "t.xlsx").string(), reports::kStoreAsUrl);
    back_end->select_sheet(0);
    EXPECT_THROW(back_end->select_sheet(1), reports::SpreadsheetError);
    back_end->set_cell_text(0, 5, "row 6");
    EXPECT_THROW(back_end->set_cell_text(0, 4, "row 5"), reports::SpreadsheetError);
    // A sheet's last row and column take a cell; one past either is refused with a message.
    const int last_row = 1048575, last_column = 16383;
    EXPECT_NO_THROW(back_end->set_cell_text(last_column, last_row, "last"));
    EXPECT_THROW(back_end->set_cell_text(last_column + 1, last_row, "x"),
                 reports::SpreadsheetError);
    try {
        back_end->set_cell_text(0, last_row + 1, "x");
        ADD_FAILURE() << "a row past the sheet's last was taken";
    } catch (const reports::SpreadsheetError& e) {
        EXPECT_NE(std::string(e.what()).find("не более 1048576 строк"), std::string::npos)
            << e.what();
    }
    back_end->close();
    // Closed before the completing store: nothing appears, nothing is left.
    EXPECT_TRUE(folder_names(dir.path()).empty());
}

TEST(SheetBackEnd, showing_a_stored_file_hands_it_to_the_opener_or_says_why_not) {
    test::TempDir dir;
    const std::string path = (dir / "t.xlsx").string();
    std::vector<std::string> opened;
    auto shown = reports::make_file_back_end(SheetFormat::xlsx, [&](const std::string& p) {
        opened.push_back(p);
        return true;
    });
    EXPECT_FALSE(reports::show_export(*shown, path).ok);  // not stored yet
    ASSERT_TRUE(
        reports::write_table_file(test::MemoryTable::results(1, 1), path, SheetFormat::xlsx).ok);
    EXPECT_TRUE(reports::show_export(*shown, path).ok);
    EXPECT_EQ(opened, std::vector<std::string>{path});
    auto nobody = reports::make_file_back_end(SheetFormat::xlsx);
    EXPECT_FALSE(reports::show_export(*nobody, path).ok);
}

TEST(CsvBackEnd, writes_cp1251_fields_separated_by_semicolons_quoted_where_needed) {
    test::TempDir dir;
    const test::MemoryTable table(
        {{"Глубина, м", "C1;C2", ""}, {" 1234,5 ", "он сказал \"да\"", "две\nстроки"}});
    const auto path = dir / "table.csv";
    ASSERT_TRUE(reports::write_table_file(table, path.string(), SheetFormat::csv).ok);
    EXPECT_EQ(test::read_bytes(path),
              library::utf8_to_cp1251("Глубина, м;\"C1;C2\";\r\n"
                                      " 1234,5 ;\"он сказал \"\"да\"\"\";\"две\nстроки\"\r\n"));
}

// The results table as a reader of the workbook finds it: numbers with the table's decimals,
// the date as a date, empty cells where a ratio has no value, texts unpadded; the CSV of the
// same table has the same numbers in the system's form.
TEST(TypedExport, numbers_dates_and_texts_keep_their_types) {
    test::TempDir dir;
    library::ManualClock clock{{2026, 12, 8, 14, 7, 30, 0}};
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(dir / "data.tim"));
    std::vector<analysis::GazResult> list;
    for (const auto& [name, value] : {std::pair{"метан", 1.70002}, {"этан", 0.00004}}) {
        list.push_back({0, name, "", std::string(name) + "_абс", "", "", value, 0, 0, false});
    }
    list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", 1.70006, 0, 0, true});
    list.push_back({0, "метан_отн", "", "метан_отн", "", "", 99.99765, 0, 0, true});
    table.append(list, 1234.5f);
    list[1].concentration = 0;  // no этан: C1/C2 has no value
    table.append(list, 0.f);
    storage::ResultsTableText text(table);
    text.set_show_ratios(true);

    reports::SheetLayout layout;
    layout.title = "Результаты";
    layout.subject = "Скважина 12, площадь Северная";
    layout.frozen_columns = text.repeated_columns();
    const auto xlsx = dir / "t.xlsx";
    ASSERT_TRUE(reports::write_table_file(text, xlsx.string(), SheetFormat::xlsx, layout).ok);
    VETRA_SKIP_READING_WITHOUT_UNZIP();
    const auto cells = test::read_typed_cells(xlsx);
    const auto cell = [&](const char* ref) {
        const auto it = cells.find(ref);
        return it == cells.end() ? test::XlsxCell{"absent", "", ""} : it->second;
    };
    const auto text_cell = [&](const char* ref, const char* value) {
        EXPECT_EQ(cell(ref).type, "inlineStr") << ref;
        EXPECT_EQ(cell(ref).value, value) << ref;
    };
    const auto number_cell = [&](const char* ref, const char* format, double value) {
        EXPECT_EQ(cell(ref).type, "n") << ref;
        EXPECT_EQ(cell(ref).format, format) << ref;
        EXPECT_NEAR(std::stod(cell(ref).value), value, std::fabs(value) * 1e-9) << ref;
    };
    text_cell("A1", "Глубина, м");
    text_cell("B1", "Дата Время");
    text_cell("C1", "метан,%");
    number_cell("A2", "0.0", 1234.5);
    number_cell("B2", "d.mm.yyyy hh:mm", 46364 + (14 * 3600 + 7 * 60 + 30) / 86400.0);
    number_cell("C2", "0.00000", 1.70002);
    number_cell("D2", "0.00000", 0.00004);
    number_cell("F2", "0.0", 99.99765);
    number_cell("G2", "0.00", 0.00004 / 1.70006 * 100);  // Wh
    EXPECT_EQ(cells.count("A3"), 0u);                    // no depth: an empty cell
    EXPECT_EQ(cells.count("K3"), 0u);                    // C1/C2 without этан
    const std::string sheet = test::run_output("unzip -p '" + xlsx.string() +
                                               "' xl/worksheets/sheet1.xml docProps/core.xml");
    EXPECT_NE(sheet.find("<pane xSplit=\"2\" ySplit=\"1\""), std::string::npos);
    EXPECT_NE(sheet.find("<autoFilter ref=\"A1:"), std::string::npos);
    EXPECT_NE(sheet.find("<dc:title>Результаты</dc:title>"), std::string::npos);
    EXPECT_NE(sheet.find("Скважина 12, площадь Северная"), std::string::npos);

    library::set_decimal_separator(',');
    const auto csv = dir / "t.csv";
    ASSERT_TRUE(reports::write_table_file(text, csv.string(), SheetFormat::csv).ok);
    library::set_decimal_separator('.');
    const std::string lines = library::cp1251_to_utf8(test::read_bytes(csv));
    EXPECT_NE(lines.find("\r\n1234,5;08.12.2026 14:07;1,70002;0,00004;1,70006;100,0;0,00;"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("\r\n;08.12.2026 14:07;1,70002;0,00000;1,70006;100,0;0,00;;"),
              std::string::npos);
}

TEST(RowFeed, a_worker_exports_rows_fed_in_blocks_from_another_thread) {
    test::TempDir dir;
    const test::MemoryTable table = test::MemoryTable::results(2500, 5);
    reports::RowFeed feed(table.row_count(), table.column_count(), 2);
    reports::ExportOutcome outcome;
    const std::string path = (dir / "t.xlsx").string();
    std::jthread worker(
        [&] { outcome = reports::write_table_file(feed, path, SheetFormat::xlsx); });
    for (int r = 0; r < table.row_count();) {
        if (!feed.has_room()) {
            std::this_thread::yield();
            continue;
        }
        std::vector<reports::RowFeed::Row> block;
        for (const int end = std::min(r + 300, table.row_count()); r < end; ++r) {
            table.row_cells(r, block.emplace_back());
        }
        feed.push(std::move(block));
    }
    worker.join();
    ASSERT_TRUE(outcome.ok) << outcome.message;
    VETRA_SKIP_READING_WITHOUT_UNZIP();
    EXPECT_EQ(test::read_first_sheet(path), table.cells);
}

TEST(RowFeed, cancelling_wakes_a_waiting_reader_and_the_export_stores_nothing) {
    test::TempDir dir;
    reports::RowFeed feed(10, 2);
    reports::ExportOutcome outcome;
    std::jthread worker([&] {
        outcome = reports::write_table_file(feed, (dir / "t.xlsx").string(), SheetFormat::xlsx);
    });
    feed.push({{storage::TableCell::of_text("a"), storage::TableCell::of_text("b")}});
    feed.cancel();
    worker.join();
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(folder_names(dir.path()).empty());
}

TEST(FragmentTable, keeps_the_header_row_and_first_column_and_clips_to_the_table) {
    test::MemoryTable table;
    for (int r = 0; r < 6; ++r) {
        table.cells.emplace_back();
        for (int c = 0; c < 5; ++c) {
            table.cells.back().push_back(std::to_string(r) + ":" + std::to_string(c));
        }
    }
    const struct {
        reports::TableSelection selection;
        test::MemoryTable expected;
    } cases[] = {
        {{2, 3, 3, 4},
         test::MemoryTable({{"0:0", "0:2", "0:3"}, {"3:0", "3:2", "3:3"}, {"4:0", "4:2", "4:3"}})},
        // Past the last row and column: up to them.
        {{3, 4, 9, 9},
         test::MemoryTable({{"0:0", "0:3", "0:4"}, {"4:0", "4:3", "4:4"}, {"5:0", "5:3", "5:4"}})},
        // Into the header row and first column: they are not repeated.
        {{0, 0, 1, 1}, test::MemoryTable({{"0:0", "0:1"}, {"1:0", "1:1"}})},
    };
    for (const auto& c : cases) {
        const reports::FragmentTable fragment(table, c.selection);
        ASSERT_EQ(fragment.row_count(), c.expected.row_count());
        ASSERT_EQ(fragment.column_count(), c.expected.column_count());
        for (int r = 0; r < c.expected.row_count(); ++r) {
            for (int col = 0; col < c.expected.column_count(); ++col) {
                EXPECT_EQ(fragment.cell_text(r, col), c.expected.cell_text(r, col))
                    << c.selection.left << " " << r << "," << col;
            }
        }
    }
}

}  // namespace
