#include "settings/program_directory.h"

#include <unistd.h>

#include <cstdlib>

namespace vetra::settings {

std::string default_program_directory() {
    const char* user_home = std::getenv("HOME");
    return std::string(user_home && *user_home ? user_home : ".") + "/.local/share/vetra";
}

bool directory_writable(const std::string& directory) {
    return ::access(directory.c_str(), R_OK | W_OK | X_OK) == 0;
}

}  // namespace vetra::settings
