#include "reports/las_export.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "library/atomic_file.h"
#include "library/cp1251.h"
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
        {1200.5, 1765184400, {1.25, std::nullopt}},
        {0, 1765184500, {9, 9}},  // no depth: not a log sample
        {1100, 1765184600, {0.5, 2}},
    };
    const LasWellInfo well{"Буровик", "12-бис", "Северная", "куст 4", "ГТИ", "08.12.2026"};
    std::string error;
    ASSERT_TRUE(write_las(
        dir.path() / "t.las", well, {{"C1", "%", "метан"}, {"GS", "%", "сумм_газ"}}, 3,
        [&](int i) { return rows[static_cast<std::size_t>(i)]; }, error));
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
        "     1100.00       0.5000       2.0000 1765184600\r",
        "     1200.50       1.2500    -999.2500 1765184400\r",
    };
    // Texts are cp1251 on disk; the widths above count cp1251 bytes, one per letter.
    std::vector<std::string> got;
    for (const auto& line : lines_of(*text)) {
        got.push_back(library::cp1251_to_utf8(line));
    }
    EXPECT_EQ(got, expected);
}

TEST(LasExport, mnemonics_and_an_unwritable_target) {
    EXPECT_EQ(las_mnemonic("метан_абс", 0), "C1");
    EXPECT_EQ(las_mnemonic("изобутан_отн", 3), "C4IR");
    EXPECT_EQ(las_mnemonic("сумм_газ", 6), "GS");
    EXPECT_EQ(las_mnemonic("что-то", 9), "COL10");
    std::string error;
    EXPECT_FALSE(write_las(
        "/nonexistent-dir/t.las", {}, {}, 0, [](int) { return LasRecord{}; }, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vetra::reports
