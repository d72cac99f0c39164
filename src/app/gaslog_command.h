#pragma once

#include <optional>
#include <string>

namespace vetra::app {

struct GaslogCommand {
    std::optional<double> from;
    std::optional<double> to;
    double scale = 500;
    std::optional<std::string> pdf;
    std::optional<std::string> svg;
    bool all_rows = false;  // the trips too, not only the rows drilled
};

// `vetra-tool gaslog`: the log of the current well's interval as PDF and/or SVG, drawn as
// the window prints it. Exit status: 0, 1 when a file could not be written, 2 for bad
// options or a table that cannot be opened.
int run_gaslog(const std::string& program_dir, const GaslogCommand& command, int argc, char** argv);

}  // namespace vetra::app
