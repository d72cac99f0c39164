#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vetra::library {

// One line of blank-separated fields, as the gas list and the calibration points store
// their items: a field that is empty or holds a blank is put between double quotes
// (a quote inside such a field is doubled).
std::string join_fields(const std::vector<std::string>& fields);
std::vector<std::string> split_fields(std::string_view line);

// `text` with every control character (C0, DEL, and C1 in UTF-8) replaced by a blank, so
// a value pasted with its line break stays one line of a settings or report file.
std::string single_line(std::string_view text);
bool has_control_characters(std::string_view text);

}  // namespace vetra::library
