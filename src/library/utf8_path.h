#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vetra::library {

// Every text in memory is UTF-8, and every path is made from it and turned back into it
// here. Never build a path from a std::string directly: on Windows that reads the bytes in
// the ANSI code page, and "события.txt" would be created under a garbled name.
std::filesystem::path path_from_utf8(std::string_view text);
std::string utf8_from_path(const std::filesystem::path& path);

}  // namespace vetra::library
