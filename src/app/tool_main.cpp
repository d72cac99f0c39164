// vetra-tool: inspects the files of a program directory.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "library/number_text.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "settings/program_directory.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: vetra-tool settings [--dir DIR]\n"
                 "  settings  prints every setting the program directory loads\n");
}

int print_settings(const std::string& dir) {
    std::string error;
    if (!vetra::settings::prepare_program_directory(dir, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    vetra::settings::GlobalSettings settings;
    vetra::settings::load_settings_at_startup(settings, dir);

    // Print what a save would write, so every key appears with the value now in force.
    vetra::settings::IniFile file;
    settings.save(file);
    std::printf("%s: %s\n", settings.settings_path.c_str(),
                std::filesystem::exists(settings.settings_path) ? "loaded" : "absent, defaults");
    std::fputs(file.text().c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    vetra::library::init_decimal_separator_from_locale();
    std::string command;
    std::optional<std::string> dir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (command.empty() && arg[0] != '-') {
            command = arg;
        } else {
            usage();
            return 2;
        }
    }
    if (command == "settings") {
        return print_settings(vetra::settings::resolve_program_directory(dir));
    }
    usage();
    return 2;
}
