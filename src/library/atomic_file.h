#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vetra::library {

// Writes a whole file so that a crash never leaves it half-written: a temporary file beside
// the target is written, flushed to disk and renamed over the target. False on any failure;
// the target is then untouched.
[[nodiscard]] bool write_file_atomically(const std::filesystem::path& target,
                                         std::string_view bytes);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

}  // namespace vetra::library
