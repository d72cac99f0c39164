#include "library/cp1251.h"

#include <array>
#include <cstdint>

namespace vetra::library {
namespace {

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char32_t, 64> kHighTable = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t byte_to_code_point(unsigned char b) {
    if (b < 0x80) {
        return b;
    }
    if (b >= 0xC0) {
        return 0x0410 + (b - 0xC0);
    }
    return kHighTable[b - 0x80];
}

int code_point_to_byte(char32_t cp) {
    if (cp < 0x80) {
        return static_cast<int>(cp);
    }
    if (cp >= 0x0410 && cp <= 0x044F) {
        return static_cast<int>(0xC0 + (cp - 0x0410));
    }
    for (std::size_t i = 0; i < kHighTable.size(); ++i) {
        if (kHighTable[i] == cp) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

template <class Put>
void put_utf8(char32_t cp, Put&& put) {
    if (cp < 0x80) {
        put(static_cast<char>(cp));
    } else if (cp < 0x800) {
        put(static_cast<char>(0xC0 | (cp >> 6)));
        put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        put(static_cast<char>(0xE0 | (cp >> 12)));
        put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        put(static_cast<char>(0xF0 | (cp >> 18)));
        put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        put(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void append_utf8(std::string& out, char32_t cp) {
    put_utf8(cp, [&out](char c) { out += c; });
}

// Decodes one code point at text[i]; advances i. Returns U+FFFD for invalid sequences.
char32_t next_code_point(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i++]);
    if (b0 < 0x80) {
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    return cp;
}

char32_t lower_code_point(char32_t cp) {
    if (cp >= 'A' && cp <= 'Z') {
        return cp + 32;
    }
    if (cp >= 0x0410 && cp <= 0x042F) {
        return cp + 32;
    }
    if (cp >= 0x0400 && cp <= 0x040F) {
        return cp + 80;
    }
    if (cp == 0x0490) {
        return 0x0491;
    }
    return cp;
}

// The bytes of to_lower(text) one at a time, so that comparing needs no copies: every INI
// lookup compares names line by line.
class LowerBytes {
public:
    explicit LowerBytes(std::string_view text) : text_(text) {}

    // The next byte, or -1 at the end.
    int next() {
        if (at_ == count_) {
            if (i_ >= text_.size()) {
                return -1;
            }
            refill();
        }
        return static_cast<unsigned char>(buffer_[at_++]);
    }

private:
    void refill() {
        const std::size_t start = i_;
        const char32_t cp = next_code_point(text_, i_);
        at_ = 0;
        count_ = 0;
        if (cp == 0xFFFD) {
            for (std::size_t k = start; k < i_; ++k) {  // undecodable bytes stay as they are
                buffer_[count_++] = text_[k];
            }
        } else {
            put_utf8(lower_code_point(cp), [this](char c) { buffer_[count_++] = c; });
        }
    }

    std::string_view text_;
    std::size_t i_ = 0;
    char buffer_[4] = {};
    int at_ = 0;
    int count_ = 0;
};

}  // namespace

std::string cp1251_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        append_utf8(out, byte_to_code_point(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string utf8_to_cp1251(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const int b = code_point_to_byte(next_code_point(text, i));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

std::string to_lower(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t start = i;
        const char32_t cp = next_code_point(utf8, i);
        if (cp == 0xFFFD) {
            out.append(utf8.substr(start, i - start));  // keep undecodable bytes as they are
        } else {
            append_utf8(out, lower_code_point(cp));
        }
    }
    return out;
}

bool equals_ignore_case(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    LowerBytes x(a);
    LowerBytes y(b);
    for (;;) {
        const int p = x.next();
        if (p != y.next()) {
            return false;
        }
        if (p < 0) {
            return true;
        }
    }
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace vetra::library
