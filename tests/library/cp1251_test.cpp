#include "library/cp1251.h"

#include <gtest/gtest.h>

namespace vetra::library {
namespace {

TEST(Cp1251, cyrillic_round_trips_through_utf8) {
    const std::string utf8 = "хроматограф.ini Ёё №";
    const std::string bytes = utf8_to_cp1251(utf8);
    EXPECT_EQ(bytes, "\xF5\xF0\xEE\xEC\xE0\xF2\xEE\xE3\xF0\xE0\xF4.ini \xA8\xB8 \xB9");
    EXPECT_EQ(cp1251_to_utf8(bytes), utf8);
}

TEST(Cp1251, every_byte_survives_a_round_trip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    EXPECT_EQ(utf8_to_cp1251(cp1251_to_utf8(all)), all);
}

TEST(Cp1251, characters_outside_the_code_page_become_question_marks) {
    EXPECT_EQ(utf8_to_cp1251("a\xE4\xB8\xAD"
                             "b"),
              "a?b");                             // a CJK character
    EXPECT_EQ(utf8_to_cp1251("\xFF\xFE"), "??");  // not UTF-8 at all
    EXPECT_EQ(utf8_to_cp1251("\xD0"), "?");       // truncated sequence
}

TEST(Cp1251, case_is_folded_for_latin_and_cyrillic) {
    EXPECT_EQ(to_lower("СУММ_ГАЗ3 Ёж ABC"), "сумм_газ3 ёж abc");
    EXPECT_TRUE(equals_ignore_case("FirstStart", "firststart"));
    EXPECT_TRUE(equals_ignore_case("Порт", "пОРТ"));
    EXPECT_FALSE(equals_ignore_case("порт", "порты"));
    // Without copies it still says what comparing the folded texts says, undecodable bytes,
    // overlong forms and letters whose folded form differs in length included.
    const char* texts[] = {"ЁЛКА Ґ",    "ёлка ґ", "\xC0\x81", "\x01", "a\xE0\x80", "a\xE0",
                           "A\xE0\x80", "",       "Ѐ",        "ѐ",    "\xFF",      "\xEF\xBF\xBD"};
    for (const char* a : texts) {
        for (const char* b : texts) {
            EXPECT_EQ(equals_ignore_case(a, b), to_lower(a) == to_lower(b)) << a << " / " << b;
        }
    }
}

TEST(Cp1251, trim_removes_blanks_and_line_ends) {
    EXPECT_EQ(trim("  a b \t\r\n"), "a b");
    EXPECT_EQ(trim(" \t "), "");
}

}  // namespace
}  // namespace vetra::library
