#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "library/clock.h"
#include "library/number_text.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "support/temp_dir.h"

using namespace vetra;
using storage::ResultsTable;
using storage::ResultsTableText;

namespace {

// The result list of `gases` gases: absolute values, the total, relative values.
std::vector<analysis::GazResult> result_list(int gases, double base = 0) {
    std::vector<analysis::GazResult> list;
    for (int i = 0; i < gases; ++i) {
        list.push_back({0, "газ" + std::to_string(i), "", "газ" + std::to_string(i) + "_абс", "",
                        "C" + std::to_string(i), base + i, 0, 0, false});
    }
    list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", base + 100, 0, 0, true});
    for (int i = 0; i < gases; ++i) {
        list.push_back({0, "газ" + std::to_string(i) + "_отн", "", "", "",
                        "C" + std::to_string(i) + "r", base + 200 + i, 0, 0, true});
    }
    return list;
}

struct Fixture : testing::Test {
    void SetUp() override {
        library::set_decimal_separator(',');
        ASSERT_TRUE(table.open(path));
    }
    void TearDown() override { library::set_decimal_separator('.'); }

    // Rows whose first value is their index.
    void fill(int rows) {
        for (int r = 0; r < rows; ++r) {
            auto list = result_list(6);
            list[0].concentration = r;
            table.append(list, static_cast<float>(r));
        }
    }
    std::vector<float> first_values() {
        std::vector<float> out;
        for (int r = 0; r < table.row_count(); ++r) {
            out.push_back(table.row(r)->values[0]);
        }
        return out;
    }

    test::TempDir dir;
    std::filesystem::path path = dir / "data.tim";
    library::ManualClock clock{{2011, 3, 5, 14, 7, 0, 0}};
    ResultsTable table{clock};
    ResultsTableText text{table};
};

}  // namespace

TEST_F(Fixture, a_list_of_13_records_fills_13_values_and_13_column_entries) {
    table.append(result_list(6, 0.5), 1234.5f);
    ASSERT_EQ(table.row_count(), 1);
    EXPECT_EQ(std::filesystem::file_size(path), storage::kRowSize);
    const auto row = table.row(0);
    EXPECT_EQ(row->stamp, 1299420420u);
    EXPECT_EQ(row->depth, 1234.5f);
    for (int i = 0; i < storage::kMaxValues; ++i) {
        EXPECT_EQ(row->values[i], i < 6 ? 0.5f + i : i == 6 ? 100.5f : i < 13 ? 193.5f + i : 0.f);
    }
    const std::string nbl = test::read_bytes(dir / "inpgti.nbl");
    const auto columns = storage::decode_columns(nbl);
    ASSERT_EQ(columns.size(), 13u);
    EXPECT_EQ(columns[6].name, "сумм_газ");
    // cp1251 "газ0" twice, "%", "газ0_абс", then the fixed fields.
    const std::string first(
        "\xE3\xE0\xE7"
        "0\0\xE3\xE0\xE7"
        "0\0%\0\xE3\xE0\xE7"
        "0_\xE0\xE1\xF1\0"
        "\xFF\xFF\xFF\xFF\0\0\xC8\x42\0\0\0\0\0\0\0\0\0\0\xC8\x42\1\0\0\0\0",
        45);
    EXPECT_EQ(nbl.substr(0, first.size()), first);
    // A second table on the same files sees the same rows and columns.
    ResultsTable again(clock);
    ASSERT_TRUE(again.open(path, true));
    EXPECT_EQ(again.row_count(), 1);
    EXPECT_EQ(again.columns(), table.columns());
}

struct StampCase {
    library::LocalTime time;
    std::uint32_t stamp;
};

void PrintTo(const StampCase& c, std::ostream* out) {
    *out << c.stamp;
}

class Stamps : public testing::TestWithParam<StampCase> {};

TEST_P(Stamps, convert_both_ways) {
    const auto& c = GetParam();
    EXPECT_EQ(storage::time_stamp(c.time), c.stamp);
    const auto back = storage::stamp_time(c.stamp);
    EXPECT_EQ(
        std::vector<int>({back.year, back.month, back.day, back.hour, back.minute, back.second}),
        std::vector<int>(
            {c.time.year, c.time.month, c.time.day, c.time.hour, c.time.minute, c.time.second}));
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, Stamps,
    testing::Values(StampCase{{1970, 1, 1, 0, 0, 0, 0}, 86400u},
                    StampCase{{2011, 3, 5, 14, 7, 0, 0}, 1299420420u},
                    StampCase{{1969, 12, 31, 23, 59, 59, 0}, 86399u},
                    StampCase{{2012, 2, 29, 23, 59, 59, 0}, 1330559999u + 86400u},
                    StampCase{{2012, 12, 31, 12, 0, 0, 0}, 1356955200u + 86400u},
                    StampCase{{2026, 12, 8, 13, 40, 46, 0}, 1796737246u + 86400u}));

TEST(Calendar, every_day_from_1970_to_2105_comes_back_as_itself) {
    std::uint32_t previous = 0;
    for (int y = 1970; y <= 2105; ++y) {
        for (int m = 1; m <= 12; ++m) {
            const int days =
                m == 2 ? (y % 4 == 0 ? 29 : 28) : (m == 4 || m == 6 || m == 9 || m == 11 ? 30 : 31);
            for (int d = 1; d <= days; ++d) {
                const library::LocalTime t{y, m, d, 23, 59, 58, 0};
                const std::uint32_t s = storage::time_stamp(t);
                ASSERT_GT(s, previous) << y << "-" << m << "-" << d;
                previous = s;
                const auto back = storage::stamp_time(s);
                ASSERT_EQ(std::vector<int>({back.year, back.month, back.day, back.second}),
                          std::vector<int>({y, m, d, 58}));
            }
        }
    }
}

class DeleteRows : public Fixture, public testing::WithParamInterface<bool> {};

TEST_P(DeleteRows, rows_2_to_4_of_10) {
    const bool zeros_only = GetParam();
    fill(10);
    ASSERT_TRUE(table.delete_rows(2, 4, zeros_only));
    if (zeros_only) {
        EXPECT_EQ(first_values(), std::vector<float>({0, 1, 0, 0, 0, 5, 6, 7, 8, 9}));
        EXPECT_EQ(table.row(3)->depth, 3.f);  // depth and time stay
        EXPECT_EQ(table.row(3)->values[12], 0.f);
    } else {
        EXPECT_EQ(first_values(), std::vector<float>({0, 1, 5, 6, 7, 8, 9}));
        EXPECT_EQ(std::filesystem::file_size(path), 7 * storage::kRowSize);
    }
    // Nothing is left beside the table.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

INSTANTIATE_TEST_SUITE_P(Both, DeleteRows, testing::Bool());

TEST_F(Fixture, rows_appended_while_a_removal_copies_follow_the_rows_kept) {
    fill(5);
    auto removal = table.begin_removal(1, 2);
    ASSERT_TRUE(removal);
    ASSERT_TRUE(removal->copy());
    auto list = result_list(6);
    list[0].concentration = 42;
    table.append(list, 0);
    ASSERT_TRUE(table.finish_removal(*removal));
    EXPECT_EQ(first_values(), std::vector<float>({0, 3, 4, 42}));
}

TEST_F(Fixture, a_torn_row_at_the_end_is_ignored_and_never_shifts_the_next) {
    fill(3);
    table.close();
    {
        std::string bytes = test::read_bytes(path);
        test::write_bytes(path, bytes + std::string(50, '\x7F'));
    }
    ASSERT_TRUE(table.open(path));
    EXPECT_EQ(table.row_count(), 3);
    // A second instance has the file mapped, and Windows shortens no mapped file: the torn
    // row is overwritten in place.
    ResultsTable other{clock};
    ASSERT_TRUE(other.open(path));
    fill(1);
    EXPECT_EQ(std::filesystem::file_size(path), 4 * storage::kRowSize);
    EXPECT_EQ(first_values(), std::vector<float>({0, 1, 2, 0}));
    EXPECT_EQ(table.row(3)->flag, 0);
    ASSERT_TRUE(other.append(result_list(6, 9), 9));
    other.check();
    EXPECT_EQ(other.row_count(), 5);
    EXPECT_EQ(other.row(4)->depth, 9.0f);
}

TEST_F(Fixture, a_file_cut_short_by_another_process_reads_as_missing_rows_not_a_crash) {
    fill(100);  // several pages
    std::error_code cut;
    std::filesystem::resize_file(path, 0, cut);
    if (cut) {
        GTEST_SKIP() << "this system refuses to cut a mapped file (Windows)";
    }
    EXPECT_FALSE(table.row(99));
    EXPECT_FALSE(table.row(0));
    EXPECT_EQ(text.cell_text(50, 2), "");
    EXPECT_TRUE(table.damaged());
    EXPECT_FALSE(table.set_field(5, 0, 7.0));
    int resets = 0;
    table.changed.connect(
        [&](storage::TableChange c, int) { resets += c == storage::TableChange::reset; });
    table.check();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(table.row_count(), 0);
    fill(1);
    EXPECT_EQ(table.row_count(), 1);
}

TEST_F(Fixture, a_table_file_replaced_or_removed_elsewhere_gets_the_next_row) {
    fill(3);
    std::filesystem::remove(path);
    if (std::filesystem::exists(path)) {
        GTEST_SKIP() << "a removed file keeps its name while it is open (Wine)";
    }
    fill(1);
    EXPECT_EQ(std::filesystem::file_size(path), storage::kRowSize);
    test::write_bytes(dir / "other", std::string(2 * storage::kRowSize, '\0'));
    std::error_code refused;
    std::filesystem::rename(dir / "other", path, refused);
    if (refused) {
        GTEST_SKIP() << "this system refuses to replace an open file (Windows)";
    }
    fill(1);
    EXPECT_EQ(table.row_count(), 3);
    EXPECT_EQ(std::filesystem::file_size(path), 3 * storage::kRowSize);
}

TEST_F(Fixture, clear_leaves_an_empty_file_and_a_table_that_takes_rows_again) {
    fill(4);
    ASSERT_TRUE(table.clear());
    EXPECT_EQ(table.row_count(), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(text.row_count(), 2);  // the grid keeps one empty data row
    fill(2);
    EXPECT_EQ(first_values(), std::vector<float>({0, 1}));
}

TEST(ResultsTableOpen, a_table_that_cannot_be_opened_is_empty_and_skips_appends) {
    test::TempDir dir;
    library::ManualClock clock;
    ResultsTable table(clock);
    EXPECT_FALSE(table.open(dir.path()));  // a directory
    table.append(result_list(2), 1);
    EXPECT_EQ(table.row_count(), 0);
    EXPECT_FALSE(table.row(0));
    EXPECT_FALSE(table.open(dir / "missing" / "data.tim"));
}

TEST_F(Fixture, fields_from_the_depth_to_the_32nd_value_are_edited_and_none_past_them) {
    fill(2);
    EXPECT_TRUE(table.set_field(1, -1, 5));
    EXPECT_TRUE(table.set_field(1, 31, 7));
    EXPECT_FALSE(table.set_field(1, 32, 8));
    EXPECT_FALSE(table.set_field(1, -2, 8));
    EXPECT_FALSE(table.set_field(2, 0, 8));
    EXPECT_FALSE(table.set_field(-1, 0, 8));
    EXPECT_EQ(table.row(1)->depth, 5.0f);
    EXPECT_EQ(table.row(1)->values[31], 7.0f);
    EXPECT_EQ(table.row(0)->depth, 0.0f);  // the next row's bytes are not touched
    EXPECT_EQ(std::filesystem::file_size(path), 2 * storage::kRowSize);
}

struct EditCase {
    const char* name;
    int column;
    const char* text;
    storage::EditResult result;
    float depth;
    float value1;  // value of field 1 afterwards (stored 1.5)
};

void PrintTo(const EditCase& c, std::ostream* out) {
    *out << c.name;
}

class Edit : public Fixture, public testing::WithParamInterface<EditCase> {};

TEST_P(Edit, writes_only_a_number_that_differs_by_at_least_0_00001) {
    const auto& c = GetParam();
    auto list = result_list(6);
    list[1].concentration = 1.5;
    table.append(list, 10.f);
    const std::string before = test::read_bytes(path);
    EXPECT_EQ(text.set_cell(0, c.column, c.text), c.result);
    EXPECT_EQ(table.row(0)->depth, c.depth);
    EXPECT_EQ(table.row(0)->values[1], c.value1);
    if (c.result != storage::EditResult::written) {
        EXPECT_EQ(test::read_bytes(path), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cells, Edit,
    testing::Values(
        EditCase{"depth_with_comma", 0, " 1234,5 ", storage::EditResult::written, 1234.5f, 1.5f},
        EditCase{"value_with_point", 3, "2.25", storage::EditResult::written, 10.f, 2.25f},
        EditCase{"within_threshold", 3, "1,500009", storage::EditResult::unchanged, 10.f, 1.5f},
        EditCase{"at_threshold", 3, "1,50001", storage::EditResult::written, 10.f, 1.50001f},
        EditCase{"not_a_number", 3, "1,5abc", storage::EditResult::not_a_number, 10.f, 1.5f},
        EditCase{"empty", 0, "", storage::EditResult::not_a_number, 10.f, 1.5f},
        EditCase{"depth_beyond_any_well", 0, "99999999", storage::EditResult::out_of_range, 10.f,
                 1.5f},
        EditCase{"negative_depth", 0, "-1", storage::EditResult::out_of_range, 10.f, 1.5f},
        EditCase{"share_above_the_whole", 3, "100,5", storage::EditResult::out_of_range, 10.f,
                 1.5f},
        EditCase{"time_column", 1, "5", storage::EditResult::not_editable, 10.f, 1.5f},
        EditCase{"past_the_columns", 15, "5", storage::EditResult::not_editable, 10.f, 1.5f}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, the_grid_shows_header_depth_time_and_values_in_either_order) {
    table.append(result_list(6, 0.123456), 0.f);
    table.append(result_list(6), 1234.5f);
    ASSERT_EQ(text.row_count(), 3);
    ASSERT_EQ(text.column_count(), 15);
    EXPECT_EQ(text.cell_text(0, 0), "Глубина, м");
    EXPECT_EQ(text.cell_text(0, 1), "      Дата Время      ");
    EXPECT_EQ(text.cell_text(0, 2), "газ0,%");
    EXPECT_EQ(text.cell_text(1, 0), "-------     ");
    EXPECT_EQ(text.cell_text(2, 0), " 1234,5 ");
    EXPECT_EQ(text.cell_text(1, 1), "5.03.2011 14:07 ");
    EXPECT_EQ(text.cell_text(1, 2), " 0,12346 ");
    EXPECT_EQ(text.cell_text(1, 8), " 100,12346 ");  // the total: 5 decimals
    EXPECT_EQ(text.cell_text(1, 9), " 200,1 ");      // relative: 1 decimal
    EXPECT_EQ(text.cell_text(2, 2), " 0 ");
    EXPECT_EQ(text.cell_text(3, 2), "");

    std::vector<int> fields;
    std::vector<int> decimals;
    std::vector<bool> green;
    const auto collect = [&] {
        fields.clear();
        decimals.clear();
        green.clear();
        for (int c = 2; c < text.column_count(); ++c) {
            fields.push_back(text.value_column(c)->field);
            decimals.push_back(text.value_column(c)->decimals);
            green.push_back(text.value_column(c)->colour == storage::kAbsoluteColour);
        }
    };
    collect();
    EXPECT_EQ(fields, std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(decimals, std::vector<int>({5, 5, 5, 5, 5, 5, 5, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(green, std::vector<bool>({1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}));

    text.set_reverse_mode(true);
    collect();
    EXPECT_EQ(fields, std::vector<int>({6, 7, 8, 9, 10, 11, 12, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(decimals, std::vector<int>({5, 1, 1, 1, 1, 1, 1, 5, 5, 5, 5, 5, 5}));
    EXPECT_EQ(green, std::vector<bool>({0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(text.cell_text(0, 2), "сумм_газ,%");
    EXPECT_EQ(text.cell_text(1, 3), " 200,1 ");
    // An edit goes to the value shown, whatever the order.
    EXPECT_EQ(text.set_cell(1, 3, "7"), storage::EditResult::written);
    EXPECT_EQ(table.row(1)->values[7], 7.f);
}

namespace {

// The result list the calculator makes for (gas, concentration) pairs, in the order given.
std::vector<analysis::GazResult> gas_results(
    const std::vector<std::pair<std::string, double>>& gases) {
    std::vector<analysis::GazResult> list;
    double total = 0;
    for (const auto& [name, c] : gases) {
        list.push_back({0, name, "", name + "_абс", "", "", c, 0, 0, false});
        total += c;
    }
    list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", total, 0, 0, true});
    for (const auto& [name, c] : gases) {
        list.push_back({0, name + "_отн", "", name + "_отн", "", "", c / total * 100, 0, 0, true});
    }
    return list;
}

// Every value cell of every row, by its header: what the screen, print and exports show.
std::vector<std::map<std::string, double>> shown(const ResultsTableText& text) {
    std::vector<std::map<std::string, double>> rows;
    for (int r = 1; r <= text.data_rows(); ++r) {
        auto& row = rows.emplace_back();
        for (int c = 2; c < text.column_count(); ++c) {
            row[text.header_text(c)] = text.cell(r, c).value;
        }
    }
    return rows;
}

}  // namespace

TEST_F(Fixture, editing_the_gas_list_between_appends_never_relabels_a_stored_row) {
    using Gases = std::vector<std::pair<std::string, double>>;
    const std::vector<Gases> cycles{
        {{"метан", 1.7}, {"этан", 0.3}},
        {{"этан", 0.4}, {"метан", 1.6}},                    // reordered
        {{"метан", 1.5}, {"этан", 0.5}, {"пропан", 0.25}},  // a gas added
        {{"метан", 1.75}, {"пропан", 0.25}},                // ethane removed
    };
    std::vector<std::map<std::string, double>> expected;
    for (const Gases& gases : cycles) {
        ASSERT_TRUE(table.append(gas_results(gases), 0.f));
        // A gas the row does not have shows 0 under its header.
        auto& row = expected.emplace_back();
        for (const char* name : {"метан", "этан", "пропан"}) {
            row[std::string(name) + ",%"] = 0;
            row[std::string(name) + "_отн,%"] = 0;
        }
        double total = 0;
        for (const auto& [name, c] : gases) {
            total += c;
        }
        row["сумм_газ,%"] = total;
        for (const auto& [name, c] : gases) {
            row[name + ",%"] = c;
            row[name + "_отн,%"] = c / total * 100;
        }
    }
    const auto near = [](const auto& got, const auto& want) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t r = 0; r < want.size(); ++r) {
            ASSERT_EQ(got[r].size(), want[r].size()) << "row " << r;
            for (const auto& [header, value] : want[r]) {
                ASSERT_TRUE(got[r].count(header)) << header;
                EXPECT_NEAR(got[r].at(header), value, 1e-4) << "row " << r << " " << header;
            }
        }
    };
    near(shown(text), expected);
    // The new gas's columns come last in the file and are shown with their kind.
    std::vector<std::string> headers;
    for (int c = 2; c < text.column_count(); ++c) {
        headers.push_back(text.header_text(c));
    }
    EXPECT_EQ(headers, std::vector<std::string>({"метан,%", "этан,%", "пропан,%", "сумм_газ,%",
                                                 "метан_отн,%", "этан_отн,%", "пропан_отн,%"}));
    EXPECT_EQ(table.columns()[5].key, "пропан_абс");
    EXPECT_EQ(text.value_column(4)->decimals, 5);
    // "inpgti.nbl" describes every column, so a table opened afresh reads the same.
    EXPECT_EQ(storage::decode_columns(test::read_bytes(dir / "inpgti.nbl")), table.columns());
    ResultsTable again(clock);
    ASSERT_TRUE(again.open(path, true));
    ResultsTableText again_text(again);
    near(shown(again_text), expected);

    // Another instance adding a gas to the same table: its column survives this one's row.
    ResultsTable other(clock);
    ASSERT_TRUE(other.open(path));
    ASSERT_TRUE(other.append(gas_results({{"метан", 1}, {"бутан", 0.5}}), 0.f));
    ASSERT_TRUE(table.append(gas_results({{"метан", 2}}), 0.f));
    ASSERT_EQ(table.row_count(), 6);
    const auto rows = shown(text);
    EXPECT_NEAR(rows[4].at("бутан,%"), 0.5, 1e-6);
    EXPECT_NEAR(rows[5].at("метан,%"), 2, 1e-6);
    EXPECT_NEAR(rows[5].at("бутан,%"), 0, 1e-6);

    // An empty table has no row to relabel: it starts its columns afresh. (Windows clears
    // no table that another instance holds open.)
    other.close();
    again.close();
    ASSERT_TRUE(table.clear());
    ASSERT_TRUE(table.append(gas_results({{"пропан", 0.5}}), 0.f));
    ASSERT_EQ(table.columns().size(), 3u);
    EXPECT_EQ(table.columns()[0].key, "пропан_абс");
}

TEST(ColumnPlacement, keys_keep_their_columns_until_all_32_are_taken) {
    std::vector<storage::ColumnEntry> full;
    for (int i = 0; i < storage::kMaxValues; ++i) {
        full.push_back({"g" + std::to_string(i), "", "%", "g" + std::to_string(i) + "_абс"});
    }
    auto results = gas_results({{"g5", 1}, {"new", 2}, {"g5", 3}});
    auto layout = storage::place_results(full, results);
    EXPECT_EQ(layout.columns, full);  // no room: the new key is not stored
    EXPECT_EQ(layout.fields[0], 5);
    EXPECT_EQ(layout.fields[1], -1);
    EXPECT_EQ(layout.fields[2], -1);  // a second g5 finds no second column
    full.resize(6);
    layout = storage::place_results(full, results);
    EXPECT_EQ(layout.fields, std::vector<int>({5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(layout.columns[7].key, "g5_абс");
}

TEST(ColumnFile, hostile_bytes_give_at_most_32_whole_entries) {
    std::vector<storage::ColumnEntry> many(40, {"a", "a", "%", "a_абс"});
    const std::string bytes = storage::encode_columns(many);
    EXPECT_EQ(storage::decode_columns(bytes).size(), 32u);
    // Cut inside the 3rd entry's fixed fields: two entries.
    EXPECT_EQ(storage::decode_columns(bytes.substr(0, 2 * 36 + 30)).size(), 2u);
    EXPECT_TRUE(storage::decode_columns(std::string(1000, 'x')).empty());
    EXPECT_TRUE(storage::decode_columns({}).empty());
}
