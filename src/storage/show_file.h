#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "analysis/gas_shows.h"

namespace vetra::storage {

// The well's gas shows, "gas_shows.txt" in the well folder: a text file of the program's
// own, one tab-separated line per show (top, bottom, peak depth, peak and background total
// gas, start, end and peak time as day numbers, class key, the gases at the peak as
// code=percent pairs), '.' as the decimal point.
inline constexpr const char* kShowFileName = "gas_shows.txt";
inline constexpr std::size_t kMaxShows = 100'000;

std::string encode_shows(const std::vector<analysis::GasShow>& shows);
// Lines that do not parse are skipped.
std::vector<analysis::GasShow> decode_shows(std::string_view text);
std::vector<analysis::GasShow> load_shows(const std::filesystem::path& path);
// The whole file, written atomically.
[[nodiscard]] bool save_shows(const std::filesystem::path& path,
                              const std::vector<analysis::GasShow>& shows,
                              std::error_code* error = nullptr);

}  // namespace vetra::storage
