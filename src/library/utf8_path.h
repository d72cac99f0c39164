#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vetra::library {

// A path from the program's UTF-8 text; a plain std::string would be read in the ANSI code
// page on Windows.
inline std::filesystem::path utf8_path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace vetra::library
