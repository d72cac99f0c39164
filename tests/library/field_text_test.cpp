#include "library/field_text.h"

#include <gtest/gtest.h>

namespace vetra::library {
namespace {

TEST(FieldText, quotes_empty_fields_and_fields_with_blanks) {
    EXPECT_EQ(join_fields({"1 / 100", "3", "2", "0,005"}), "\"1 / 100\" 3 2 0,005");
    EXPECT_EQ(join_fields({"", "0"}), "\"\" 0");
    EXPECT_EQ(join_fields({"метан", "C1"}), "метан C1");
}

TEST(FieldText, splits_what_it_joined) {
    const std::vector<std::string> fields{"1 / 100", "", "a\"b", "tab\there", "метан", "12,5"};
    EXPECT_EQ(split_fields(join_fields(fields)), fields);
}

TEST(FieldText, a_control_character_written_as_a_blank_keeps_the_field_whole) {
    const std::vector<std::string> fields{"\xD1\x8F\x7F", "0", "10"};
    const auto back = split_fields(single_line(join_fields(fields)));
    ASSERT_EQ(back.size(), 3U);
    EXPECT_EQ(back[0], "\xD1\x8F ");
    EXPECT_EQ(split_fields(single_line(join_fields(back))), back);
}

TEST(FieldText, tolerates_extra_blanks_and_an_unclosed_quote) {
    EXPECT_EQ(split_fields("  a   b  "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(split_fields("a \"b c"), (std::vector<std::string>{"a", "b c"}));
    EXPECT_TRUE(split_fields("").empty());
}

}  // namespace
}  // namespace vetra::library
