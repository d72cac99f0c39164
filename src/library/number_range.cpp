#include "library/number_range.h"

#include <cmath>

#include "library/field_text.h"
#include "library/number_text.h"

namespace vetra::library {

std::optional<double> number_in_range(std::string_view text, const NumberRange& range) {
    const auto value = parse_number(text);
    if (!value || !std::isfinite(*value) || *value < range.min || *value > range.max) {
        return std::nullopt;
    }
    if (range.decimals == 0 && *value != std::trunc(*value)) {
        return std::nullopt;
    }
    return value;
}

std::string range_words(const NumberRange& range) {
    // Bounds as the operator would type them: no trailing zeros, the local separator.
    return std::string(range.decimals == 0 ? "целое число" : "число") + " от " +
           float_to_text(range.min) + " до " + float_to_text(range.max);
}

std::string refusal_text(std::string_view field, std::string_view typed, const NumberRange& range) {
    std::string shown = single_line(typed);
    shown.erase(0, shown.find_first_not_of(' '));
    shown.erase(shown.find_last_not_of(' ') + 1);
    std::string text = "\"" + std::string(field) + "\": ";
    text += shown.empty() ? std::string("значение не введено") : "\"" + shown + "\" не подходит";
    return text + ", нужно " + range_words(range) + ". Значение не принято.";
}

}  // namespace vetra::library
