#include "settings/placement.h"

#include <gtest/gtest.h>

#include "library/cp1251.h"
#include "support/temp_dir.h"

namespace vetra::settings {
namespace {

using test::read_bytes;
using test::TempDir;
using test::write_bytes;

void expect_placement(const WindowPlacement& p, std::int32_t top, std::int32_t left,
                      std::int32_t width, std::int32_t height, std::int32_t state) {
    EXPECT_EQ(p.top, top);
    EXPECT_EQ(p.left, left);
    EXPECT_EQ(p.width, width);
    EXPECT_EQ(p.height, height);
    EXPECT_EQ(p.state, state);
}

TEST(Placement, saves_the_five_integers_in_order) {
    TempDir dir;
    const auto path = dir / "w.ini";
    IniFile file;
    ASSERT_TRUE(file.open(path));
    save_placement(file, "главное_окно", WindowPlacement{12, -8, 1024, 700, 2});
    ASSERT_TRUE(file.save());
    EXPECT_EQ(read_bytes(path), library::utf8_to_cp1251("[главное_окно]\r\ntop=12\r\nleft=-8\r\n"
                                                        "width=1024\r\nheight=700\r\nstate=2\r\n"));

    IniFile again;
    ASSERT_TRUE(again.open(path));
    expect_placement(load_placement(again, "Главное_Окно", WindowPlacement{}), 12, -8, 1024, 700,
                     2);
}

TEST(Placement, missing_or_unparsable_keys_keep_the_current_values) {
    TempDir dir;
    const auto path = dir / "w.ini";
    write_bytes(path, library::utf8_to_cp1251("[главное_окно]\r\nleft=40\r\nheight=abc\r\n"));
    IniFile file;
    ASSERT_TRUE(file.open(path));
    const WindowPlacement current{1, 2, 3, 4, 0};
    expect_placement(load_placement(file, "главное_окно", current), 1, 40, 3, 4, 0);
    expect_placement(load_placement(file, "другое_окно", current), 1, 2, 3, 4, 0);
}

TEST(Placement, saving_again_replaces_the_values_and_keeps_other_sections) {
    TempDir dir;
    const auto path = dir / "w.ini";
    write_bytes(path, "[TextGrid]\r\nreverse_mode=1\r\n[win]\r\ntop=1\r\nstate=0\r\n");
    IniFile file;
    ASSERT_TRUE(file.open(path));
    save_placement(file, "win", WindowPlacement{5, 6, 7, 8, 1});
    ASSERT_TRUE(file.save());
    EXPECT_EQ(read_bytes(path),
              "[TextGrid]\r\nreverse_mode=1\r\n"
              "[win]\r\ntop=5\r\nstate=1\r\nleft=6\r\nwidth=7\r\nheight=8\r\n");
}

}  // namespace
}  // namespace vetra::settings
