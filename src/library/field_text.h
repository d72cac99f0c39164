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

}  // namespace vetra::library
