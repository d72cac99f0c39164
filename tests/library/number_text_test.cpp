#include "library/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace vetra::library {
namespace {

struct GeneralCase {
    double value;
    const char* comma;
};

class GeneralForm : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralForm, uses_at_most_fifteen_digits_and_the_separator) {
    EXPECT_EQ(float_to_text(GetParam().value, ','), GetParam().comma);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GeneralForm,
    ::testing::Values(GeneralCase{0.0, "0"}, GeneralCase{0.5, "0,5"}, GeneralCase{100.0, "100"},
                      GeneralCase{40544.5, "40544,5"}, GeneralCase{-2.25, "-2,25"},
                      GeneralCase{0.1, "0,1"}, GeneralCase{1.0 / 3.0, "0,333333333333333"},
                      GeneralCase{2.0 / 3.0, "0,666666666666667"}, GeneralCase{0.0001, "0,0001"},
                      GeneralCase{0.00001, "0,00001"}, GeneralCase{0.0000015, "1,5E-6"},
                      GeneralCase{123456789012345.0, "123456789012345"},
                      GeneralCase{1e15, "1E15"}, GeneralCase{0.95f, "0,949999988079071"}));

TEST(NumberText, default_separator_is_injectable) {
    const char saved = decimal_separator();
    set_decimal_separator(',');
    EXPECT_EQ(float_to_text(2.5), "2,5");
    set_decimal_separator('.');
    EXPECT_EQ(float_to_text(2.5), "2.5");
    set_decimal_separator(saved);
}

TEST(NumberText, c_atof_takes_the_leading_number) {
    EXPECT_DOUBLE_EQ(c_atof("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(c_atof("  -3.75abc"), -3.75);
    EXPECT_DOUBLE_EQ(c_atof("abc"), 0.0);
    EXPECT_DOUBLE_EQ(c_atof(""), 0.0);
    EXPECT_DOUBLE_EQ(c_atof("2,5"), 2.0);  // a comma is not a decimal point here
    EXPECT_DOUBLE_EQ(c_atof("1e3"), 1000.0);
}

TEST(NumberText, float_setting_reading_accepts_comma_and_point) {
    EXPECT_DOUBLE_EQ(read_float_text("2,5"), 2.5);
    EXPECT_DOUBLE_EQ(read_float_text("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(read_float_text("x"), 0.0);
}

TEST(NumberText, parse_number_needs_the_whole_text) {
    EXPECT_EQ(parse_number("1234,5"), 1234.5);
    EXPECT_EQ(parse_number(" 0.25 "), 0.25);
    EXPECT_FALSE(parse_number("12abc"));
    EXPECT_FALSE(parse_number(""));
    EXPECT_FALSE(parse_number("  "));
}

TEST(NumberText, parse_int_accepts_decimal_and_both_hex_forms) {
    EXPECT_EQ(parse_int("19200"), 19200);
    EXPECT_EQ(parse_int(" -7 "), -7);
    EXPECT_EQ(parse_int("$FF"), 255);
    EXPECT_EQ(parse_int("0x10"), 16);
    EXPECT_EQ(parse_int("$FFFFFFFF"), -1);
    EXPECT_EQ(parse_int("2147483647"), 2147483647);
    EXPECT_FALSE(parse_int("2147483648"));
    EXPECT_FALSE(parse_int("12a"));
    EXPECT_FALSE(parse_int("1.5"));
    EXPECT_FALSE(parse_int(""));
    EXPECT_FALSE(parse_int("-"));
    EXPECT_FALSE(parse_int("99999999999999999999"));
}

}  // namespace
}  // namespace vetra::library

namespace vetra::library {
namespace {

TEST(FixedDecimals, exact_decimals_with_the_systems_separator_whatever_the_c_locale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    (void)std::setlocale(LC_NUMERIC, "ru_RU.UTF-8");  // as a GUI toolkit may do
    set_decimal_separator('.');
    EXPECT_EQ(fixed_decimals(0.1, 6), "0.100000");
    EXPECT_EQ(fixed_decimals(-2.5, 0), "-2");
    set_decimal_separator(',');
    EXPECT_EQ(fixed_decimals(1333.332, 3), "1333,332");
    EXPECT_EQ(fixed_decimals(1e300, 2).size(), 304u);
    set_decimal_separator('.');
    (void)std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace vetra::library
