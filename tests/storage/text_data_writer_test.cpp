#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/clock.h"
#include "library/cp1251.h"
#include "library/number_text.h"
#include "storage/text_data_writer.h"
#include "support/temp_dir.h"

using namespace vetra;

namespace {

std::vector<analysis::GazResult> results() {
    return {{0, "метан", "", "метан_абс", "", "C1", 0.12345, 10.5, 0, false},
            {0, "этан", "", "этан_абс", "", "C2", 12.5, 200.25, 0, false},
            {0, "сумм_газ", "", "сумм_газ", "", "GS", 12.62345, 0, 0, true},
            {0, "метан_отн", "", "метан_отн", "", "C1r", 0.978, 0, 0, true},
            {0, "этан_отн", "", "этан_отн", "", "C2r", 99.022, 0, 0, true}};
}

struct TextData : testing::Test {
    TextData() {
        library::set_decimal_separator(',');
        writer.set_directory(dir / "TextData");
        writer.short_date = [](const library::LocalTime&) { return std::string("12/08/26"); };
        writer.long_time = [](const library::LocalTime&) { return std::string("14:07:00"); };
    }
    ~TextData() override { library::set_decimal_separator('.'); }
    std::string file() { return test::read_bytes(dir / "TextData" / "12-08-26.txt"); }

    test::TempDir dir;
    library::ManualClock clock;
    storage::TextDataWriter writer{clock};
    bool science = false;
};

}  // namespace

TEST_F(TextData, fixed_widths_crlf_and_a_header_when_due) {
    writer.save_science_values = [this] { return science; };
    ASSERT_TRUE(writer.write(results(), 1234.56f));
    ASSERT_TRUE(writer.write(results(), 0.f));
    writer.mark_header();
    science = true;
    ASSERT_TRUE(writer.write(results(), 5.f));
    const std::string header = "    Time  Depth       C1       C2       GS      C1r      C2r";
    const std::string values = "  0,1235  12,5000  12,6235   0,9780  99,0220";
    EXPECT_EQ(file(), header + "\r\n" +                           //
                          "14:07:00 1234,6 " + values + "\r\n" +  //
                          "14:07:00    0,0 " + values + "\r\n" +  //
                          header + "     C1_S     C2_S\r\n" +     //
                          "14:07:00    5,0 " + values + "  10,5000 200,2500\r\n");
}

TEST_F(TextData, a_new_file_starts_with_its_header_and_a_lost_line_keeps_it_due) {
    ASSERT_TRUE(writer.write(results(), 1.f));
    std::filesystem::remove(dir / "TextData" / "12-08-26.txt");
    ASSERT_TRUE(writer.write(results(), 1.f));
    EXPECT_EQ(file().substr(0, 8), "    Time");

    writer.set_directory(dir / "blocked");
    test::write_bytes(dir / "blocked", "a file, not a folder");
    writer.mark_header();
    EXPECT_FALSE(writer.write(results(), 1.f));
    writer.set_directory(dir / "TextData");
    ASSERT_TRUE(writer.write(results(), 2.f));
    EXPECT_EQ(library::cp1251_to_utf8(file()).find("    Time", 10), 2 * 62u);
}

TEST_F(TextData, a_line_lost_on_a_full_disk_is_reported) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    std::filesystem::create_directories(dir / "TextData");
    std::filesystem::create_symlink("/dev/full", dir / "TextData" / "12-08-26.txt");
    EXPECT_FALSE(writer.write(results(), 1.f));
}

TEST(TextDataNames, characters_a_file_name_cannot_hold_become_dashes) {
    EXPECT_EQ(storage::file_name_safe("12/08/26"), "12-08-26");
    EXPECT_EQ(storage::file_name_safe("08.12.2026"), "08.12.2026");
    EXPECT_EQ(storage::file_name_safe(".."), "-");
    EXPECT_EQ(storage::file_name_safe("a\\b:c"), "a-b-c");
}
