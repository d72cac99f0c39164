#include "library/number_text.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library/cp1251.h"

namespace vetra::library {
namespace {

std::atomic<char> g_separator{'.'};

// strtod follows LC_NUMERIC, which a GUI toolkit may switch to the user's locale, and the
// platforms differ in how to pin it; from_chars never looks at a locale. Like strtod it
// skips leading blanks and a '+', and it returns where the number ended (`text` when there
// was none). Overflow gives an infinity and underflow zero, as strtod does.
double c_strtod(const char* text, const char** end) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    if (*p == '+' && p[1] != '-') {
        ++p;
    }
    const char* last = p + std::char_traits<char>::length(p);
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(p, last, value);
    if (ptr == p) {
        *end = text;
        return 0.0;
    }
    *end = ptr;
    if (ec == std::errc::result_out_of_range) {
        const std::string_view number(p, static_cast<std::size_t>(ptr - p));
        const auto e = number.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        const double magnitude = tiny ? 0.0 : HUGE_VAL;
        return *p == '-' ? -magnitude : magnitude;
    }
    return value;
}

}  // namespace

char decimal_separator() {
    return g_separator.load(std::memory_order_relaxed);
}

void set_decimal_separator(char separator) {
    g_separator.store(separator, std::memory_order_relaxed);
}

void init_decimal_separator_from_locale() {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    char separator = '.';
    if (std::setlocale(LC_NUMERIC, "") != nullptr) {
        const lconv* conv = std::localeconv();
        if (conv && conv->decimal_point && conv->decimal_point[0] != '\0' &&
            conv->decimal_point[1] == '\0') {
            separator = conv->decimal_point[0];
        }
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    set_decimal_separator(separator);
}

std::string float_to_text(double value) {
    return float_to_text(value, decimal_separator());
}

std::string float_to_text(double value, char separator) {
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "INF" : "-INF";
    }
    if (value == 0.0) {
        return "0";
    }
    // to_chars, unlike printf, never takes the decimal comma of a desktop locale.
    char buf[64];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string text(buf, written.ptr);  // 15 significant digits
    const auto e_pos = text.find('e');
    std::string mantissa = text.substr(0, e_pos);
    const int exponent = std::atoi(text.c_str() + e_pos + 1);

    // Digits without sign and point, trailing zeros trimmed.
    const bool negative = mantissa[0] == '-';
    std::string digits;
    for (char c : mantissa) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += separator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
        return out;
    }
    if (exponent < 0) {
        out += '0';
        out += separator;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const auto int_len = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_len) {
        out += digits;
        out.append(int_len - digits.size(), '0');
    } else {
        out += digits.substr(0, int_len);
        out += separator;
        out += digits.substr(int_len);
    }
    return out;
}

std::string fixed_to_text(double value, int decimals) {
    return fixed_to_text(value, decimals, decimal_separator());
}

std::string fixed_to_text(double value, int decimals, char separator) {
    if (!std::isfinite(value)) {
        return float_to_text(value, separator);
    }
    decimals = std::clamp(decimals, 0, 30);
    // Halves away from zero, as the pattern formatting of the original display does;
    // to_chars alone would round exact binary ties to even.
    const double scale = std::pow(10.0, decimals);
    double rounded = value;
    if (std::fabs(value * scale) < 1e15) {
        rounded = std::round(value * scale) / scale;
    }
    char buf[400];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
    std::string text(buf, written.ptr);
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') {
        text.erase(0, 1);
    }
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

double c_atof(std::string_view text) {
    const std::string copy(text);
    const char* end = nullptr;
    const double value = c_strtod(copy.c_str(), &end);
    if (end == copy.c_str()) {
        return 0.0;
    }
    return value;
}

double read_float_text(std::string_view text) {
    std::string copy(text);
    for (char& c : copy) {
        if (c == ',') {
            c = '.';
        }
    }
    return c_atof(copy);
}

std::optional<double> parse_number(std::string_view text) {
    std::string copy(trim(text));
    if (copy.empty()) {
        return std::nullopt;
    }
    for (char& c : copy) {
        if (c == ',') {
            c = '.';
        }
    }
    const char* end = nullptr;
    const double value = c_strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> parse_int(std::string_view text) {
    std::string_view t = trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (!t.empty() && t.front() == '$') {
        base = 16;
        t.remove_prefix(1);
    } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : t) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > 0x1'0000'0000LL) {
            return std::nullopt;
        }
    }
    if (base == 16 && !negative) {
        if (value > 0xFFFF'FFFFLL) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    if (negative) {
        value = -value;
    }
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// to_chars, not printf: a GUI toolkit may have switched LC_NUMERIC to a decimal comma.

}  // namespace vetra::library
