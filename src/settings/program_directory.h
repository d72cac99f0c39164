#pragma once

#include <optional>
#include <string>

namespace vetra::settings {

// The directory given with --dir, else $VETRA_HOME, else ~/.local/share/vetra; always with
// a trailing separator.
std::string resolve_program_directory(const std::optional<std::string>& from_command_line);

// Creates the directory if missing and checks that files can be written in it. On failure
// `error` holds the operator's message.
bool prepare_program_directory(const std::string& directory, std::string& error);

}  // namespace vetra::settings
