#include "settings/program_directory.h"

#include <cstdlib>
#include <filesystem>

#include "library/utf8_path.h"

namespace vetra::settings {

std::string resolve_program_directory(const std::optional<std::string>& from_command_line) {
    std::string dir;
    if (from_command_line && !from_command_line->empty()) {
        dir = *from_command_line;
    } else if (const char* home = std::getenv("VETRA_HOME"); home && *home) {
        dir = home;
    } else {
        dir = default_program_directory();
    }
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (dir.back() != '/' && dir.back() != separator) {
        dir += separator;
    }
    return dir;
}

bool prepare_program_directory(const std::string& directory, std::string& error) {
    const std::filesystem::path path = library::path_from_utf8(directory);
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!std::filesystem::is_directory(path, ec)) {
        error = "Каталог программы недоступен: " + directory;
        return false;
    }
    if (!directory_writable(directory)) {
        error = "Нет доступа на запись в каталог программы: " + directory;
        return false;
    }
    return true;
}

}  // namespace vetra::settings
