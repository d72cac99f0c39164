#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "library/cp1251.h"
#include "support/temp_dir.h"

namespace vetra::settings {
namespace {

using library::utf8_to_cp1251;
using test::read_bytes;
using test::TempDir;
using test::write_bytes;

// Writes UTF-8 text to disk as cp1251 and opens it.
IniFile open_text(const TempDir& dir, const std::string& utf8) {
    const auto path = dir / "test.ini";
    write_bytes(path, utf8_to_cp1251(utf8));
    IniFile file;
    EXPECT_TRUE(file.open(path));
    return file;
}

std::vector<std::string> directory_entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// --- case-insensitive lookup ----------------------------------------------------------

struct LookupCase {
    const char* section;
    const char* key;
    const char* expected;
};

class CaseInsensitiveLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(CaseInsensitiveLookup, finds_section_and_key_whatever_their_case) {
    TempDir dir;
    const IniFile file = open_text(dir,
                                   "[Порт]\r\nИмя=COM3\r\n"
                                   "[VetraSystem]\r\nWork_Mode=02000000\r\n"
                                   "[расчёт]\r\nDemo=1\r\n");
    EXPECT_EQ(file.read_string(GetParam().section, GetParam().key, "missing"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, CaseInsensitiveLookup,
    ::testing::Values(LookupCase{"Порт", "Имя", "COM3"}, LookupCase{"порт", "имя", "COM3"},
                      LookupCase{"ПОРТ", "ИМЯ", "COM3"}, LookupCase{"пОрТ", "иМя", "COM3"},
                      LookupCase{"vetrasystem", "work_mode", "02000000"},
                      LookupCase{"VETRASYSTEM", "WORK_MODE", "02000000"},
                      LookupCase{"РАСЧЁТ", "DEMO", "1"}, LookupCase{"Расчёт", "demo", "1"},
                      // Different words are not matched by case folding.
                      LookupCase{"порты", "имя", "missing"}, LookupCase{"порт", "имя2", "missing"},
                      LookupCase{"расчет", "demo", "missing"}));

TEST(IniFile, write_with_another_case_replaces_the_existing_key) {
    TempDir dir;
    IniFile file = open_text(dir, "[Порт]\r\nимя=COM1\r\n");
    file.write_string("ПОРТ", "ИМЯ", "COM7");
    EXPECT_EQ(file.read_string("порт", "имя", ""), "COM7");
    EXPECT_EQ(file.section_names().size(), 1u);
    EXPECT_EQ(file.key_names("порт").size(), 1u);
}

// --- quotes ----------------------------------------------------------------------------

struct QuoteCase {
    const char* stored;
    const char* read;
};

class EnclosingQuotes : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(EnclosingQuotes, one_pair_is_removed_on_read) {
    TempDir dir;
    const IniFile file = open_text(dir, std::string("[a]\r\nk=") + GetParam().stored + "\r\n");
    EXPECT_EQ(file.read_string("a", "k", "default"), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EnclosingQuotes,
    ::testing::Values(QuoteCase{"\"TAHOMA\"", "TAHOMA"}, QuoteCase{"\"a b\"", "a b"},
                      QuoteCase{"  \"a b\"  ", "a b"}, QuoteCase{"\"\"x\"\"", "\"x\""},
                      QuoteCase{"\"\"", ""}, QuoteCase{"\"", "\""}, QuoteCase{"\"open", "\"open"},
                      QuoteCase{"close\"", "close\""}, QuoteCase{"in\"side\"", "in\"side\""},
                      QuoteCase{"plain", "plain"}));

// --- defaults --------------------------------------------------------------------------

TEST(IniFile, reads_give_the_default_for_a_missing_section_or_key) {
    TempDir dir;
    const IniFile file = open_text(dir, "[a]\r\nk=5\r\nempty=\r\n");
    EXPECT_EQ(file.read_string("b", "k", "dflt"), "dflt");
    EXPECT_EQ(file.read_string("a", "other", "dflt"), "dflt");
    EXPECT_FALSE(file.read("a", "other").has_value());
    EXPECT_EQ(file.read_integer("b", "k", -3), -3);
    EXPECT_EQ(file.read_integer("a", "other", 17), 17);
    EXPECT_TRUE(file.read_bool("a", "other", true));
    EXPECT_FALSE(file.read_bool("a", "other", false));
    // A present key with an empty value is an empty text, not the default.
    EXPECT_EQ(file.read_string("a", "empty", "dflt"), "");
    EXPECT_EQ(file.read_integer("a", "k", 0), 5);
}

TEST(IniFile, a_missing_file_opens_as_an_empty_document) {
    TempDir dir;
    IniFile file;
    EXPECT_TRUE(file.open(dir / "absent.ini"));
    EXPECT_TRUE(file.section_names().empty());
    EXPECT_EQ(file.read_string("a", "k", "d"), "d");
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.ini"));
}

// --- writing ---------------------------------------------------------------------------

TEST(IniFile, write_creates_the_section_and_the_key) {
    TempDir dir;
    const auto path = dir / "new.ini";
    IniFile file;
    ASSERT_TRUE(file.open(path));
    file.write_string("порт", "имя", "\"COM1\"");
    file.write_integer("порт", "скорость", 19200);
    file.write_bool("режим_работы", "FirstStart", false);
    ASSERT_TRUE(file.save());
    EXPECT_EQ(read_bytes(path), utf8_to_cp1251("[порт]\r\nимя=\"COM1\"\r\nскорость=19200\r\n"
                                               "[режим_работы]\r\nFirstStart=0\r\n"));
}

TEST(IniFile, write_replaces_an_existing_key_in_place) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n");
    file.write_integer("a", "x", 9);
    file.write_integer("b", "z", -4);
    ASSERT_TRUE(file.save());
    EXPECT_EQ(read_bytes(dir / "test.ini"), "[a]\r\nx=9\r\ny=2\r\n[b]\r\nz=-4\r\n");
}

// A value pasted with its line breaks (a company name from a letter) must not become lines
// of its own: on reload there would be a second [wits] with keys another owner reads.
TEST(IniFile, control_characters_in_a_value_never_reach_the_file) {
    TempDir dir;
    IniFile file = open_text(dir, "[wits]\r\nout_mode=0\r\n");
    file.write_string("wits", "las_company", "Буровик\r\n[wits]\r\nout_mode=2\x01\t\x7f\u0085!");
    ASSERT_TRUE(file.save());
    IniFile again;
    ASSERT_TRUE(again.open(dir / "test.ini"));
    EXPECT_EQ(again.section_names(), std::vector<std::string>{"wits"});
    EXPECT_EQ(again.key_names("wits"), (std::vector<std::string>{"out_mode", "las_company"}));
    EXPECT_EQ(again.read_string("wits", "las_company", ""), "Буровик  [wits]  out_mode=2    !");
    EXPECT_EQ(again.read_integer("wits", "out_mode", -1), 0);
}

TEST(IniFile, a_new_key_goes_to_its_own_section_before_the_blank_separator) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\r\nx=1\r\n\r\n[b]\r\nz=3\r\n");
    file.write_integer("a", "y", 2);
    file.write_integer("b", "w", 4);
    EXPECT_EQ(file.text(), "[a]\r\nx=1\r\ny=2\r\n\r\n[b]\r\nz=3\r\nw=4\r\n");
}

TEST(IniFile, erase_section_removes_its_header_and_lines_only) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\r\nx=1\r\n[газ]\r\nsize=2\r\nitem1=\"m\"\r\n[b]\r\nz=3\r\n");
    file.erase_section("ГАЗ");
    EXPECT_FALSE(file.has_section("газ"));
    EXPECT_EQ(file.read_string("газ", "size", "none"), "none");
    file.erase_section("missing");
    ASSERT_TRUE(file.save());
    EXPECT_EQ(read_bytes(dir / "test.ini"), "[a]\r\nx=1\r\n[b]\r\nz=3\r\n");
}

TEST(IniFile, edits_above_a_section_leave_it_and_its_keys_found) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\r\nx=1\r\n[b]\r\ny=2\r\n[c]\r\nz=3\r\n");
    const auto reads = [&file] {
        return std::to_string(file.read_integer("a", "x", 0)) + file.read_string("b", "y", "-") +
               file.read_string("c", "z", "-") + file.read_string("c", "w", "-");
    };
    file.write_integer("a", "new", 9);  // a line inserted above [b] and [c]
    EXPECT_EQ(reads(), "123-");
    file.erase_key("a", "new");
    file.erase_key("a", "x");
    EXPECT_EQ(reads(), "023-");
    file.erase_section("b");
    EXPECT_EQ(reads(), "0-3-");
    file.write_integer("c", "w", 4);
    EXPECT_EQ(reads(), "0-34");
    // A key that reads as a header starts a section of its own, as on the next load.
    file.write_integer("a", "[d]", 5);
    EXPECT_EQ(file.section_names(), (std::vector<std::string>{"a", "d", "c"}));
    EXPECT_EQ(file.read_integer("d", "", -1), -1);
    EXPECT_EQ(reads(), "0-34");
    EXPECT_EQ(IniFile::from_text(file.text()).text(), file.text());
}

// --- preservation and encoding ---------------------------------------------------------

TEST(IniFile, unknown_lines_survive_a_round_trip_in_their_order) {
    TempDir dir;
    const std::string original =
        "; written by hand\r\n"
        "[planshet]\r\n"
        "color=clRed\r\n"
        "a line without an equals sign\r\n"
        "; comment inside\r\n"
        "\r\n"
        "[порт]\r\n"
        "имя=\"COM1\"\r\n"
        "скорость=9600\r\n"
        "[planshet_summ_Суммарный газ]\r\n"
        "width=2\r\n";
    IniFile file = open_text(dir, original);
    file.write_integer("порт", "скорость", 19200);
    ASSERT_TRUE(file.save());

    std::string expected = original;
    expected.replace(expected.find("9600"), 4, "19200");
    EXPECT_EQ(read_bytes(dir / "test.ini"), utf8_to_cp1251(expected));
    EXPECT_EQ(file.read_string("planshet_summ_суммарный газ", "width", ""), "2");
}

TEST(IniFile, the_file_on_disk_is_cp1251) {
    TempDir dir;
    const auto path = dir / "enc.ini";
    IniFile file;
    ASSERT_TRUE(file.open(path));
    file.write_integer("время", "время1", 2);
    ASSERT_TRUE(file.save());
    // "время" is E2 F0 E5 EC FF in cp1251.
    EXPECT_EQ(read_bytes(path),
              "[\xE2\xF0\xE5\xEC\xFF]\r\n"
              "\xE2\xF0\xE5\xEC\xFF"
              "1=2\r\n");
}

TEST(IniFile, cp1251_bytes_on_disk_are_read_as_russian_text) {
    TempDir dir;
    const auto path = dir / "enc.ini";
    // [порт] имя=COM5, [расчёт] demo=1 ("ё" is B8).
    write_bytes(path,
                "[\xEF\xEE\xF0\xF2]\r\n\xE8\xEC\xFF=COM5\r\n"
                "[\xF0\xE0\xF1\xF7\xB8\xF2]\r\ndemo=1\r\n");
    IniFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.read_string("порт", "имя", ""), "COM5");
    EXPECT_EQ(file.read_integer("расчёт", "demo", 0), 1);
}

TEST(IniFile, lines_end_with_cr_lf_whatever_the_file_had) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\nx=1\n[b]\ry=2\r\n");
    EXPECT_EQ(file.read_integer("a", "x", 0), 1);
    EXPECT_EQ(file.read_integer("b", "y", 0), 2);
    file.write_integer("b", "z", 3);
    ASSERT_TRUE(file.save());
    EXPECT_EQ(read_bytes(dir / "test.ini"), "[a]\r\nx=1\r\n[b]\r\ny=2\r\nz=3\r\n");
}

TEST(IniFile, the_first_of_duplicate_sections_and_keys_wins) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\r\nx=1\r\nx=2\r\n[A]\r\nx=3\r\ny=4\r\n");
    EXPECT_EQ(file.read_integer("a", "x", 0), 1);
    // A key only in the second copy of the section is not seen.
    EXPECT_EQ(file.read_integer("a", "y", -1), -1);
    file.write_integer("a", "x", 7);
    EXPECT_EQ(file.text(), "[a]\r\nx=7\r\nx=2\r\n[A]\r\nx=3\r\ny=4\r\n");
}

TEST(IniFile, garbage_and_binary_bytes_neither_crash_nor_hide_valid_keys) {
    TempDir dir;
    const auto path = dir / "junk.ini";
    const std::string huge(1 << 20, 'x');
    std::string bytes;
    bytes += "\x01\x02\xFF\xFE garbage\r\n";
    bytes += std::string("\0\0\0", 3) + "\r\n";
    bytes += "[unterminated\r\n";
    bytes += "=no key\r\n";
    bytes += "]\r\n";
    bytes += "[a]\r\n";
    bytes += "n=12\r\n";
    bytes +=
        "bad=1\x98"
        "2\r\n";
    bytes += "\x98\x98\x98\r\n";
    bytes += huge + "\r\n";
    bytes += "big=" + huge + "\r\n";
    bytes += "text=ok\r\n";
    bytes += "[b]\r\n";
    bytes += "m=" + std::string("5\0", 2) + "\r\n";
    bytes += "last=-8";  // no line end at the end of the file
    write_bytes(path, bytes);

    IniFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.read_integer("a", "n", 0), 12);
    EXPECT_EQ(file.read_integer("a", "bad", 77), 77);
    EXPECT_EQ(file.read_integer("a", "big", 77), 77);
    EXPECT_EQ(file.read_string("a", "big", "").size(), huge.size());
    EXPECT_EQ(file.read_string("a", "text", ""), "ok");
    EXPECT_EQ(file.read_integer("b", "last", 0), -8);
    EXPECT_EQ(file.read_integer("c", "n", 3), 3);

    // Every byte, NUL and the undefined 0x98 included, survives a save.
    file.write_integer("b", "last", -9);
    ASSERT_TRUE(file.save());
    std::string expected = bytes;
    expected.replace(expected.size() - 1, 1, "9\r\n");
    EXPECT_EQ(read_bytes(path), expected);
}

// --- atomic saves ----------------------------------------------------------------------

TEST(IniFile, a_save_leaves_no_temporary_file) {
    TempDir dir;
    IniFile file = open_text(dir, "[a]\r\nx=1\r\n");
    file.write_integer("a", "x", 2);
    ASSERT_TRUE(file.save());
    ASSERT_TRUE(file.save());
    EXPECT_EQ(directory_entries(dir.path()), std::vector<std::string>{"test.ini"});
}

TEST(IniFile, a_save_into_an_unwritable_directory_fails_and_keeps_the_old_file) {
    TempDir dir;
    const auto sub = dir / "ro";
    std::filesystem::create_directory(sub);
    const auto path = sub / "x.ini";
    write_bytes(path, "[a]\r\nx=1\r\n");
    IniFile file;
    ASSERT_TRUE(file.open(path));
    file.write_integer("a", "x", 2);

    ::chmod(sub.c_str(), 0555);
    const bool writable = ::access(sub.c_str(), W_OK) == 0;
    const bool saved = writable ? true : file.save();
    ::chmod(sub.c_str(), 0755);
    if (writable) {
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(read_bytes(path), "[a]\r\nx=1\r\n");
    EXPECT_EQ(directory_entries(sub), std::vector<std::string>{"x.ini"});
}

// A full disk, simulated by the file size limit, which binds every user.
TEST(IniFile, a_save_that_cannot_be_written_completely_keeps_the_old_file) {
    TempDir dir;
    const auto path = dir / "x.ini";
    write_bytes(path, "[a]\r\nx=1\r\n");
    IniFile file;
    ASSERT_TRUE(file.open(path));
    file.write_string("a", "long", std::string(4096, 'y'));

    rlimit saved_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
    const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved_limit;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = file.save();
    ::setrlimit(RLIMIT_FSIZE, &saved_limit);
    std::signal(SIGXFSZ, saved_handler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(read_bytes(path), "[a]\r\nx=1\r\n");
    EXPECT_EQ(directory_entries(dir.path()), std::vector<std::string>{"x.ini"});
}

}  // namespace
}  // namespace vetra::settings
