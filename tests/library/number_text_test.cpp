#include "library/number_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "library/format_auto.h"

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
                      GeneralCase{123456789012345.0, "123456789012345"}, GeneralCase{1e15, "1E15"},
                      GeneralCase{0.95f, "0,949999988079071"}));

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

// A desktop locale with a decimal comma must not leak into number texts: only the injected
// separator decides, whatever LC_NUMERIC says.
struct LocaleCase {
    const char* what;
    std::string (*text)();
    const char* point;
};
void PrintTo(const LocaleCase& c, std::ostream* os) {
    *os << c.what;
}

class UnderCommaLocale : public ::testing::TestWithParam<LocaleCase> {
protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "ru_RU.UTF-8") == nullptr) {
            GTEST_SKIP() << "ru_RU.UTF-8 is not generated (scripts/install-deps.sh does it)";
        }
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        set_decimal_separator('.');
    }
};

TEST_P(UnderCommaLocale, only_the_injected_separator_decides) {
    set_decimal_separator('.');
    EXPECT_EQ(GetParam().text(), GetParam().point);
    set_decimal_separator(',');
    std::string comma = GetParam().point;
    std::replace(comma.begin(), comma.end(), '.', ',');
    EXPECT_EQ(GetParam().text(), comma);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UnderCommaLocale,
    ::testing::Values(
        LocaleCase{"half", [] { return formatAuto(0.5); }, "0.5"},
        LocaleCase{"whole", [] { return formatAuto(1.0); }, "1"},
        LocaleCase{"fifty", [] { return formatAuto(50.0); }, "50"},
        LocaleCase{"value_text", [] { return " " + formatAuto(0.5) + "% "; }, " 0.5% "},
        LocaleCase{"fixed_decimals", [] { return formatAuto(0.5, 2, 6); }, "  0.50"},
        LocaleCase{"general", [] { return float_to_text(2.5); }, "2.5"},
        LocaleCase{"general_small", [] { return float_to_text(1.5e-7); }, "1.5E-7"},
        LocaleCase{"fixed_zero", [] { return fixed_to_text(0.0, 2); }, "0.00"},
        LocaleCase{"fixed_half_up", [] { return fixed_to_text(2.675, 2); }, "2.68"},
        LocaleCase{"fixed_negative_zero", [] { return fixed_to_text(-0.0004, 3); }, "0.000"}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace vetra::library
