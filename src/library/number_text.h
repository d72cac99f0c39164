#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vetra::library {

// The system's decimal separator: taken from the process locale (LC_NUMERIC) at start-up,
// replaceable for tests. Readers accept both ',' and '.' whatever it is.
char decimal_separator();
void set_decimal_separator(char separator);
void init_decimal_separator_from_locale();

// The general number-to-text form: at most 15 significant digits, no trailing zeros,
// exponent form "1,5E-7" only for very small or very large values.
std::string float_to_text(double value);
std::string float_to_text(double value, char separator);

// Exactly `decimals` decimals (0..12) with the system's separator.
std::string fixed_decimals(double value, int decimals);

// C `atof`: the longest leading number (after blanks), 0 when there is none.
// Only '.' is a decimal point here; callers that accept ',' replace it first.
double c_atof(std::string_view text);

// The float reading of the settings: every ',' becomes '.', then `c_atof`.
double read_float_text(std::string_view text);

// A whole text (blanks around allowed) as a number with ',' or '.' as separator.
std::optional<double> parse_number(std::string_view text);

// A whole text as a 32-bit integer: decimal with optional sign, or hexadecimal with
// "$" or "0x" in front. Blanks around are allowed.
std::optional<std::int32_t> parse_int(std::string_view text);

}  // namespace vetra::library
