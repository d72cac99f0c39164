#include "reports/las_export.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <sstream>
#include <vector>

#include "analysis/gas_shows.h"
#include "analysis/gaz_list.h"
#include "analysis/gaz_result.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "reports/table_las.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "support/temp_dir.h"

namespace vetra::reports {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(LasExport, a_small_table_gives_the_file_written_by_hand) {
    test::TempDir dir;
    const std::vector<LasRecord> rows{
        {1200.5, 1765184400, {0.00004f, std::nullopt}},
        {0, 1765184500, {9, 9}},  // no depth: not a log sample
        {1100, 1765184600, {0.5, 2}},
    };
    const LasWellInfo well{"Буровик", "12-бис", "Северная", "куст 4", "ГТИ", "08.12.2026"};
    const LasResult result =
        write_las(dir.path() / "t.las", well, {{"C1", "%", "метан"}, {"GS", "%", "сумм_газ"}},
                  {3, [&](int i) { return rows[static_cast<std::size_t>(i)].depth; },
                   [&](int i, LasRecord& r) { r = rows[static_cast<std::size_t>(i)]; }});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(result.without_depth, 1);
    const auto text = library::read_whole_file(dir.path() / "t.las");
    ASSERT_TRUE(text);
    const std::vector<std::string> expected{
        "~Version information\r",
        " VERS.       2.0                    : CWLS LOG ASCII STANDARD - VERSION 2.0\r",
        " WRAP.       NO                     : ONE LINE PER DEPTH STEP\r",
        "~Well information\r",
        " STRT.M      1100.00                : START DEPTH\r",
        " STOP.M      1200.50                : STOP DEPTH\r",
        " STEP.M      0.00                   : STEP (samples are irregular)\r",
        " NULL.       -999.25                : NULL VALUE\r",
        " COMP.       Буровик                : COMPANY\r",
        " WELL.       12-бис                 : WELL\r",
        " FLD.        Северная               : FIELD\r",
        " LOC.        куст 4                 : LOCATION\r",
        " SRVC.       ГТИ                    : SERVICE COMPANY\r",
        " DATE.       08.12.2026             : DATE\r",
        "~Curve information\r",
        " DEPT.M                             : DEPTH\r",
        " C1.%                               : метан\r",
        " GS.%                               : сумм_газ\r",
        " TIME.S                             : seconds since 1970-01-01 00:00 local time\r",
        "~A  DEPTH C1 GS TIME\r",
        "     1100.00          0.5            2 1765184600\r",
        "     1200.50      0.00004      -999.25 1765184400\r",  // the digits the value has
    };
    // Texts are cp1251 on disk; the widths above count cp1251 bytes, one per letter.
    std::vector<std::string> got;
    for (const auto& line : lines_of(*text)) {
        got.push_back(library::cp1251_to_utf8(line));
    }
    EXPECT_EQ(got, expected);
}

TEST(LasExport, mnemonics_and_an_unwritable_target) {
    EXPECT_EQ(las_mnemonic("метан_абс", "C1", 0), "C1");
    EXPECT_EQ(las_mnemonic("изобутан_отн", "C4i", 3), "C4IR");
    EXPECT_EQ(las_mnemonic("Метан_абс", "С1", 3), "C1");  // a Cyrillic С typed as the code
    EXPECT_EQ(las_mnemonic("сумм_газ", "", 6), "GS");
    EXPECT_EQ(las_mnemonic("что-то", "", 9), "COL10");
    EXPECT_EQ(las_mnemonic("что-то", "Э2", 9), "COL10");
    std::string error;
    EXPECT_FALSE(write_las(
        "/nonexistent-dir/t.las", {}, {}, 1,
        [](int) {
            return LasRecord{5, 0, {}};
        },
        error));
    EXPECT_FALSE(error.empty());
    // A LAS file is indexed by depth: a table without one gives no file and says why.
    test::TempDir dir;
    EXPECT_FALSE(write_las(
        dir.path() / "t.las", {}, {}, 2, [](int) { return LasRecord{}; }, error));
    EXPECT_EQ(error, kNoDepthText);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "t.las"));
}

// Texts from the settings never break the file's lines, and two curves of one gas stay two.
TEST(LasExport, header_texts_are_one_line_and_mnemonics_unique) {
    test::TempDir dir;
    LasWellInfo well{"Буровик\r\n~A", "12", "Север", "", "", "08.12.2026"};
    std::string error;
    ASSERT_TRUE(write_las(
        dir.path() / "t.las", well,
        {{"C1", "%", "метан"}, {"C1", "%", "метан\nвторой"}, {"C1", "", ""}}, 1,
        [](int) {
            return LasRecord{1000, 0, {1, 2, 3}};
        },
        error));
    const auto lines =
        lines_of(library::cp1251_to_utf8(*library::read_whole_file(dir.path() / "t.las")));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("~A", 0) == 0; }),
              1);
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), " COMP.       Буровик  ~A            : COMPANY\r"),
        lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "~A  DEPTH C1 C1_2 C1_3 TIME\r"), lines.end());
}

// The gas list names the codes: "Метан" and "н-бутан" are C1 and C4 for the ratios and the
// curves although no built-in name matches them.
TEST(LasExport, ratios_and_curves_follow_the_gas_list_codes) {
    test::TempDir dir;
    library::ManualClock clock{{2026, 12, 8, 10, 0, 0, 0}};
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(dir.path() / "data.tim"));
    analysis::GazList gases;
    gases.resize(3);
    const std::vector<std::pair<const char*, const char*>> named{
        {"Метан", "C1"}, {"этан", ""}, {"н-бутан", "C4"}};
    std::vector<analysis::GazResult> list;
    for (int i = 0; i < 3; ++i) {
        const auto& [name, code] = named[static_cast<std::size_t>(i)];
        gases.gas(i).name = name;
        gases.gas(i).code = code;
        list.push_back(
            {0, name, "", std::string(name) + "_абс", "", "", 2.0 - i * 0.5, 0, 0, false});
    }
    list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", 4.5, 0, 0, true});
    list.push_back({0, "Метан_отн", "", "Метан_отн", "", "", 44.4, 0, 0, true});
    table.append(list, 1500.f);
    storage::ResultsTableText text(table);
    text.set_show_ratios(true);
    const int wetness = 2 + 5;
    EXPECT_EQ(text.cell_text(1, wetness), " 100.00 ");  // этан alone: the built-in name
    text.set_gas_list(&gases);
    EXPECT_EQ(text.cell_text(1, wetness), " 55.56 ");  // (1.5 + 1) / 4.5

    const LasResult result = write_table_las(text, {}, dir.path() / "t.las");
    ASSERT_TRUE(result.ok) << result.error;
    const auto lines =
        lines_of(library::cp1251_to_utf8(*library::read_whole_file(dir.path() / "t.las")));
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "~A  DEPTH C1 C2 C4 GS C1R WH BH CH C1C2 C1C3 C1C4 C1C5 TIME\r"),
              lines.end());
}

// A stored table with the ratios shown: the display and the LAS file carry the same ratios, a
// zero denominator is an empty cell and a NULL value, and the row without a depth is only
// on the screen.
TEST(LasExport, the_results_table_with_its_gas_ratios) {
    test::TempDir dir;
    library::ManualClock clock{{2026, 12, 8, 10, 0, 0, 0}};
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(dir.path() / "data.tim"));
    const auto list = [](double c1, double c2, double c3) {
        std::vector<analysis::GazResult> r;
        for (const auto& [name, value] : {std::pair{"метан", c1}, {"этан", c2}, {"пропан", c3}}) {
            r.push_back({0, name, "", std::string(name) + "_абс", "", "", value, 0, 0, false});
        }
        r.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", c1 + c2 + c3, 0, 0, true});
        return r;
    };
    table.append(list(8, 1, 1), 1500.5f);
    table.append(list(2, 0, 0), 1400.f);
    table.append(list(1, 1, 1), 0.f);
    storage::ResultsTableText text(table);
    text.set_show_ratios(true);
    const int first_ratio = 2 + 4;
    ASSERT_EQ(text.column_count(), first_ratio + storage::ResultsTableText::kRatioColumns);
    EXPECT_EQ(text.cell_text(0, first_ratio), "Wh,%");
    EXPECT_EQ(text.cell_text(0, first_ratio + 7), "Флюид");
    EXPECT_EQ(text.cell_text(1, first_ratio), " 20.00 ");     // (1 + 1) / 10
    EXPECT_EQ(text.cell_text(1, first_ratio + 1), " 9.00 ");  // (8 + 1) / 1
    EXPECT_EQ(text.cell_text(2, first_ratio + 1), "");        // no C3..C5
    EXPECT_EQ(text.cell_text(2, first_ratio + 7), "сухой газ, непродуктивно");
    EXPECT_EQ(text.set_cell(0, first_ratio, "5"), storage::EditResult::not_editable);

    const LasResult result = write_table_las(text, {}, dir.path() / "t.las");
    ASSERT_TRUE(result.ok) << result.error;
    const auto lines =
        lines_of(library::cp1251_to_utf8(*library::read_whole_file(dir.path() / "t.las")));
    const auto has = [&](const std::string& start) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has(" C1.%    ") && has(" C3.%    ") && has(" GS.%    ") && has(" WH.%    "));
    EXPECT_TRUE(has("~A  DEPTH C1 C2 C3 GS WH BH CH C1C2 C1C3 C1C4 C1C5 TIME"));
    EXPECT_TRUE(
        has("     1400.00            2            0            0            2            0"
            "      -999.25"));
    EXPECT_TRUE(
        has("     1500.50            8            1            1           10           20"
            "            9"));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("     1", 0) == 0; }),
              2);
}

// BKG is the running background of "сумм_газ" that a show does not raise, SHOW the class of
// the show a row was made in; a later pass over the show's depth is not marked, and a table
// without "сумм_газ" gets SHOW alone.
TEST(LasExport, background_and_show_curves_after_the_tables) {
    test::TempDir dir;
    library::ManualClock clock{{2026, 12, 8, 10, 0, 0, 0}};
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(dir.path() / "data.tim"));
    const auto list = [](double total) {
        std::vector<analysis::GazResult> r;
        r.push_back({0, "метан", "", "метан_абс", "", "", total / 2, 0, 0, false});
        r.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", total, 0, 0, true});
        return r;
    };
    analysis::GasShow show;
    for (int i = 0; i < 12; ++i) {
        clock.advance(std::chrono::minutes(5));
        const bool in_show = i == 6 || i == 7;
        if (i == 6) {
            show.start = clock.now_day_number() - 3.0 / (24 * 60);
        }
        if (i == 7) {
            show.end = clock.now_day_number() - 3.0 / (24 * 60);
        }
        table.append(list(in_show ? 3.0 : 0.5), 1000.f + static_cast<float>(i));
    }
    clock.advance(std::chrono::hours(2));
    table.append(list(0.5), 1006.5f);  // reaming back over the show
    show.top = 1006;
    show.bottom = 1007;
    show.show_class = analysis::ShowClass::connection;
    LasShows shows{{show}, {10, 2, 0.05}};
    storage::ResultsTableText text(table);
    const LasResult result = write_table_las(text, {}, dir.path() / "t.las", {}, &shows);
    ASSERT_TRUE(result.ok) << result.error;
    const auto lines =
        lines_of(library::cp1251_to_utf8(*library::read_whole_file(dir.path() / "t.las")));
    std::map<std::string, std::vector<std::string>> rows;  // depth -> C1 GS BKG SHOW
    bool in_data = false;
    for (const auto& l : lines) {
        if (l.rfind("~A", 0) == 0) {
            EXPECT_EQ(l.rfind("~A  DEPTH C1 GS BKG SHOW TIME", 0), 0u) << l;
            in_data = true;
            continue;
        }
        if (in_data) {
            std::istringstream in(l);
            std::string depth;
            std::vector<std::string> values(4);
            in >> depth >> values[0] >> values[1] >> values[2] >> values[3];
            rows[depth + (rows.count(depth) ? "b" : "")] = values;
        }
    }
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows["1000.00"][2], "-999.25");  // too few readings yet
    EXPECT_EQ(rows["1003.00"][2], "0.5");
    EXPECT_EQ(rows["1005.00"][3], "0");
    EXPECT_EQ(rows["1006.00"][3], "2");
    EXPECT_EQ(rows["1007.00"][3], "2");
    EXPECT_EQ(rows["1007.00"][2], "0.5");  // the show does not raise its background
    EXPECT_EQ(rows["1011.00"][2], "0.5");
    EXPECT_EQ(rows["1006.50"][3], "0");

    // Without "сумм_газ": no BKG.
    std::filesystem::create_directories(dir.path() / "plain");
    storage::ResultsTable plain(clock);
    ASSERT_TRUE(plain.open(dir.path() / "plain" / "data.tim"));
    plain.append({{0, "метан", "", "метан_абс", "", "", 1, 0, 0, false}}, 1006.5f);
    storage::ResultsTableText plain_text(plain);
    ASSERT_TRUE(write_table_las(plain_text, {}, dir.path() / "p.las", {}, &shows).ok);
    const auto plain_lines =
        lines_of(library::cp1251_to_utf8(*library::read_whole_file(dir.path() / "p.las")));
    EXPECT_TRUE(std::any_of(plain_lines.begin(), plain_lines.end(), [](const std::string& l) {
        return l.rfind("~A  DEPTH C1 SHOW TIME", 0) == 0;
    }));
}

}  // namespace
}  // namespace vetra::reports
