// vetra-console: the workstation without a window. Runs the same controller as the main
// window on a 400 ms loop, with the same start-up and orderly shut-down.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/console_platform.h"
#include "app/console_session.h"
#include "library/number_text.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: vetra-console [--dir DIR] [--demo] [--port NAME] [--mode 0..4]\n"
                 "                     [--cycles N] [--timeout S] [--verbose]\n");
}

std::optional<long> number_arg(const std::string& arg) {
    const char* text = arg.c_str();
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    vetra::library::init_decimal_separator_from_locale();
    vetra::app::prepare_console_output();
    const std::vector<std::string> args = vetra::app::utf8_arguments(argc, argv);
    argc = static_cast<int>(args.size());
    vetra::app::ConsoleOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = args[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--dir" && has_value) {
            options.directory = args[++i];
        } else if (arg == "--port" && has_value) {
            options.port = args[++i];
        } else if ((arg == "--mode" || arg == "--cycles" || arg == "--timeout") && has_value) {
            const auto value = number_arg(args[++i]);
            if (!value || (arg == "--mode" && *value > 4)) {
                usage();
                return 2;
            }
            if (arg == "--mode") {
                options.mode = static_cast<int>(*value);
            } else if (arg == "--cycles") {
                options.cycles = *value;
            } else {
                options.timeout_seconds = *value;
            }
        } else {
            usage();
            return 2;
        }
    }
    return vetra::app::run_console(options);
}
