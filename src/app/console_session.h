#pragma once

#include <optional>
#include <string>

namespace vetra::app {

struct ConsoleOptions {
    std::optional<std::string> directory;
    std::optional<std::string> port;
    std::optional<int> mode;
    std::optional<long> cycles;
    std::optional<long> timeout_seconds;
    bool demo = false;
    bool verbose = false;
};

// Starts up, runs until the cycles are done, the time is up or a signal arrives, and shuts
// down in order. Returns the exit status.
int run_console(const ConsoleOptions& options);

}  // namespace vetra::app
