#include "library/format_auto.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "library/number_text.h"

namespace vetra::library {
namespace {

class FormatAuto : public ::testing::Test {
protected:
    void SetUp() override { set_decimal_separator('.'); }
    void TearDown() override { set_decimal_separator('.'); }
};

struct AutoCase {
    double value;
    const char* text;
};

class FormatAutoDecimals : public FormatAuto, public ::testing::WithParamInterface<AutoCase> {};

TEST_P(FormatAutoDecimals, follow_the_magnitude_and_drop_trailing_zeros) {
    EXPECT_EQ(formatAuto(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, FormatAutoDecimals,
    ::testing::Values(AutoCase{3.14159, "3.14"}, AutoCase{12.34, "12.3"}, AutoCase{0.5, "0.5"},
                      AutoCase{0.000123, "0.000123"}, AutoCase{0.0, "0"},
                      AutoCase{1234.5, "1234.5"}, AutoCase{100.0, "100"}, AutoCase{10.0, "10"},
                      AutoCase{1.0, "1"}, AutoCase{1.23456, "1.23"}, AutoCase{0.123456, "0.123"},
                      AutoCase{0.0123456, "0.0123"}, AutoCase{0.00123456, "0.00123"},
                      AutoCase{0.000123456, "0.000123"}, AutoCase{0.0000123456, "0.0000123"},
                      AutoCase{0.0512, "0.0512"}, AutoCase{-0.25, "-0.25"},
                      AutoCase{-12.34, "-12.3"}, AutoCase{1e-9, "0"}, AutoCase{-1e-9, "0"}));

TEST_F(FormatAuto, fixed_decimals_keep_their_zeros_and_round_half_away_from_zero) {
    EXPECT_EQ(formatAuto(1.0, 3), "1.000");
    EXPECT_EQ(formatAuto(0.1234567, 6), "0.123457");
    EXPECT_EQ(formatAuto(2.5, 0), "3");
    EXPECT_EQ(formatAuto(-2.5, 0), "-3");
    EXPECT_EQ(formatAuto(1.125, 2), "1.13");
    EXPECT_EQ(formatAuto(12.34, 4), "12.3400");
}

TEST_F(FormatAuto, pads_on_the_left_to_the_minimum_width_and_never_cuts) {
    EXPECT_EQ(formatAuto(1.5, -1, 6), "   1.5");
    EXPECT_EQ(formatAuto(0.0, -1, 3), "  0");
    EXPECT_EQ(formatAuto(1.0, 3, 7), "  1.000");
    EXPECT_EQ(formatAuto(1234.5, -1, 2), "1234.5");
    EXPECT_EQ(formatAuto(1234.5, -1, 0), "1234.5");
}

TEST_F(FormatAuto, uses_the_system_decimal_separator) {
    set_decimal_separator(',');
    EXPECT_EQ(formatAuto(3.14159), "3,14");
    EXPECT_EQ(formatAuto(1.0, 3), "1,000");
    EXPECT_EQ(formatAuto(100.0), "100");
}

// The window's toolkit switches LC_NUMERIC to the user's locale; trimming must still work.
TEST_F(FormatAuto, ignores_the_c_library_numeric_locale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    (void)std::setlocale(LC_NUMERIC, "ru_RU.UTF-8");
    EXPECT_EQ(formatAuto(0.5), "0.5");
    set_decimal_separator(',');
    EXPECT_EQ(formatAuto(0.5), "0,5");
    EXPECT_EQ(formatAuto(2.0, 2), "2,00");
    (void)std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace vetra::library
