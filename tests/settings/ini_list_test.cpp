#include "settings/ini_list.h"

#include <gtest/gtest.h>

#include <optional>
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

// A list of plain texts, one per item, that counts its hooks.
class NameList : public IniList {
public:
    NameList() : IniList("names") {}

    std::vector<std::string> items;
    int after_load_calls = 0;
    int after_save_calls = 0;
    std::optional<std::string> size_seen_by_after_save;

protected:
    int list_count() const override { return static_cast<int>(items.size()); }
    std::string item_text(int index) const override { return items.at(index); }
    void resize_list(int count) override { items.resize(static_cast<std::size_t>(count)); }
    void set_item_text(int index, std::string_view text) override {
        items.at(static_cast<std::size_t>(index)) = std::string(text);
    }
    void after_save(IniFile& file) override {
        ++after_save_calls;
        size_seen_by_after_save = file.read(section(), "size");
    }
    void after_load(const IniFile&) override { ++after_load_calls; }
};

NameList load_from_text(const std::string& utf8) {
    TempDir dir;
    const auto path = dir / "list.ini";
    write_bytes(path, utf8_to_cp1251(utf8));
    NameList list;
    list.items = {"untouched"};
    list.load(path.string());
    return list;
}

// The gas list's section also holds "min_gaz_value", which the global settings own: a save
// of the list alone (or a crash right after it) must not lose it.
TEST(IniList, save_rewrites_size_and_items_and_keeps_the_keys_of_others) {
    TempDir dir;
    const auto path = dir / "list.ini";
    write_bytes(path,
                "[names]\r\nsize=3\r\nitem1=\"a\"\r\nitem2=\"b\"\r\nITEM3=\"c\"\r\n"
                "min_gaz_value=0,5\r\nitems=7\r\n[other]\r\nk=v\r\n");
    NameList list;
    list.items = {"x", "y z"};
    ASSERT_TRUE(list.save(path.string()));
    EXPECT_EQ(read_bytes(path),
              "[names]\r\nmin_gaz_value=0,5\r\nitems=7\r\n"
              "size=2\r\nitem1=\"x\"\r\nitem2=\"y z\"\r\n[other]\r\nk=v\r\n");
    EXPECT_EQ(list.after_save_calls, 1);
    EXPECT_EQ(list.size_seen_by_after_save, std::optional<std::string>("2"));
}

TEST(IniList, an_empty_list_saves_size_zero_and_no_items) {
    TempDir dir;
    const auto path = dir / "list.ini";
    write_bytes(path, "[names]\r\nsize=1\r\nitem1=\"a\"\r\n");
    NameList list;
    ASSERT_TRUE(list.save(path.string()));
    EXPECT_EQ(read_bytes(path), "[names]\r\nsize=0\r\n");
}

TEST(IniList, russian_items_are_cp1251_on_disk_and_read_back) {
    TempDir dir;
    const auto path = dir / "list.ini";
    NameList writer;
    writer.items = {"метан", "этан"};
    ASSERT_TRUE(writer.save(path.string()));
    // "метан" is EC E5 F2 E0 ED.
    EXPECT_NE(read_bytes(path).find("item1=\"\xEC\xE5\xF2\xE0\xED\""), std::string::npos);

    NameList reader;
    reader.load(path.string());
    EXPECT_EQ(reader.items, (std::vector<std::string>{"метан", "этан"}));
    EXPECT_EQ(reader.after_load_calls, 1);
}

struct LoadCase {
    const char* label;
    const char* file;
    std::vector<std::string> expected;
    int after_load_calls;
};

class ListLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ListLoad, resizes_to_size_and_reads_the_items) {
    const NameList list = load_from_text(GetParam().file);
    EXPECT_EQ(list.items, GetParam().expected);
    EXPECT_EQ(list.after_load_calls, GetParam().after_load_calls);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ListLoad,
    ::testing::Values(
        LoadCase{"two_items", "[names]\r\nsize=2\r\nitem1=\"a\"\r\nitem2=b\r\n", {"a", "b"}, 1},
        LoadCase{"case_of_keys", "[NAMES]\r\nSIZE=1\r\nITEM1=\"q\"\r\n", {"q"}, 1},
        LoadCase{"size_zero", "[names]\r\nsize=0\r\nitem1=\"a\"\r\n", {}, 1},
        LoadCase{"missing_items_are_empty",
                 "[names]\r\nsize=3\r\nitem1=\"a\"\r\nitem3=\"c\"\r\n",
                 {"a", "", "c"},
                 1},
        LoadCase{"items_beyond_size_are_ignored",
                 "[names]\r\nsize=1\r\nitem1=a\r\nitem2=b\r\n",
                 {"a"},
                 1},
        LoadCase{"no_section", "[other]\r\nsize=2\r\n", {"untouched"}, 0},
        LoadCase{"no_size", "[names]\r\nitem1=\"a\"\r\n", {"untouched"}, 0},
        LoadCase{"size_minus_one", "[names]\r\nsize=-1\r\nitem1=\"a\"\r\n", {"untouched"}, 0},
        LoadCase{"size_unparsable", "[names]\r\nsize=many\r\n", {"untouched"}, 0},
        LoadCase{"size_too_large_to_parse", "[names]\r\nsize=99999999999\r\n", {"untouched"}, 0},
        LoadCase{"negative_size", "[names]\r\nsize=-5\r\nitem1=\"a\"\r\n", {}, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(IniList, a_missing_file_leaves_the_list_untouched) {
    TempDir dir;
    NameList list;
    list.items = {"keep"};
    list.load((dir / "absent.ini").string());
    EXPECT_EQ(list.items, std::vector<std::string>{"keep"});
    EXPECT_EQ(list.after_load_calls, 0);
}

TEST(IniList, a_huge_size_is_cut_to_the_maximum) {
    const NameList list = load_from_text("[names]\r\nsize=2000000000\r\nitem1=\"a\"\r\n");
    ASSERT_EQ(list.items.size(), static_cast<std::size_t>(IniList::kMaxItems));
    EXPECT_EQ(list.items.front(), "a");
    EXPECT_EQ(list.items.back(), "");
    EXPECT_EQ(list.after_load_calls, 1);
}

TEST(IniList, load_after_save_gives_the_same_list) {
    TempDir dir;
    const auto path = dir / "list.ini";
    NameList writer;
    writer.items = {"1;2;3", "", "with \"quotes\" inside", "last"};
    ASSERT_TRUE(writer.save(path.string()));
    NameList reader;
    reader.load(path.string());
    EXPECT_EQ(reader.items, writer.items);
}

}  // namespace
}  // namespace vetra::settings
