#pragma once

#include <optional>
#include <string>

namespace vetra::settings {

// The directory given with --dir, else $VETRA_HOME, else the platform's default; always
// with a trailing separator.
std::string resolve_program_directory(const std::optional<std::string>& from_command_line);

// POSIX: ~/.local/share/vetra. Windows: the executable's own directory, where the installed
// program keeps its files, when files can be written there; else %LOCALAPPDATA%\vetra.
std::string default_program_directory();

// Creates the directory if missing and checks that files can be written in it. On failure
// `error` holds the operator's message.
bool prepare_program_directory(const std::string& directory, std::string& error);

// Whether files can be created in an existing directory.
bool directory_writable(const std::string& directory);

}  // namespace vetra::settings
