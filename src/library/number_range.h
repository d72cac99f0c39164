#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vetra::library {

// What a number typed by the operator may be: inside [min, max]; `decimals` 0 means whole
// numbers only (a "12,0" still counts as 12).
struct NumberRange {
    double min = 0;
    double max = 0;
    int decimals = 0;
};

// The value of `text` when it is a number inside `range`; nothing otherwise.
std::optional<double> number_in_range(std::string_view text, const NumberRange& range);

// "целое число от 0 до 255", "число от 0 до 100" (the system's decimal separator).
std::string range_words(const NumberRange& range);

// The operator's message for a refused entry: names the field, what was typed and the range.
std::string refusal_text(std::string_view field, std::string_view typed, const NumberRange& range);

}  // namespace vetra::library
