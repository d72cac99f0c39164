#include "settings/program_directory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace vetra::settings {

std::string resolve_program_directory(const std::optional<std::string>& from_command_line) {
    std::string dir;
    if (from_command_line && !from_command_line->empty()) {
        dir = *from_command_line;
    } else if (const char* home = std::getenv("VETRA_HOME"); home && *home) {
        dir = home;
    } else {
        const char* user_home = std::getenv("HOME");
        dir = std::string(user_home && *user_home ? user_home : ".") + "/.local/share/vetra";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

bool prepare_program_directory(const std::string& directory, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (!std::filesystem::is_directory(directory, ec)) {
        error = "Каталог программы недоступен: " + directory;
        return false;
    }
    if (::access(directory.c_str(), R_OK | W_OK | X_OK) != 0) {
        error = "Нет доступа на запись в каталог программы: " + directory;
        return false;
    }
    return true;
}

}  // namespace vetra::settings
