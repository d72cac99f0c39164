#pragma once

#include <string>
#include <string_view>

namespace vetra::library {

// Texts live in memory as UTF-8; files and messages of the station are cp1251.
// The undefined byte 0x98 maps to U+0098 so that any byte sequence survives a round trip.
std::string cp1251_to_utf8(std::string_view bytes);

// Characters cp1251 cannot hold (and invalid UTF-8) become '?'.
std::string utf8_to_cp1251(std::string_view text);

// Lower-cases Latin and Cyrillic letters, as the Russian Windows locale does.
std::string to_lower(std::string_view utf8);
bool equals_ignore_case(std::string_view a, std::string_view b);

// Strips blanks, tabs, CR and LF at both ends.
std::string_view trim(std::string_view text);

}  // namespace vetra::library
