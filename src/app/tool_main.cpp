// vetra-tool: inspects the files of a program directory.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/number_text.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "settings/program_directory.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: vetra-tool settings [--dir DIR]\n"
                 "       vetra-tool table [--dir DIR] [--csv FILE]\n"
                 "  settings  prints every setting the program directory loads\n"
                 "  table     prints the results table of the current well as the window shows\n"
                 "            it, one row a line, cells between tabs; --csv writes it as CSV\n");
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

// A CSV field: quoted when it holds a separator, a quote or a line end.
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

int print_table(const std::string& dir, const std::optional<std::string>& csv) {
    vetra::settings::GlobalSettings settings;
    vetra::settings::load_settings_at_startup(settings, dir);
    const std::filesystem::path path =
        vetra::settings::data_directory(settings, dir) / vetra::storage::kTableFileName;
    vetra::library::SystemClock clock;
    vetra::storage::ResultsTable table(clock);
    if (!table.open(path, true)) {
        std::fprintf(stderr, "%s: cannot be opened\n", path.c_str());
        return 2;
    }
    vetra::storage::ResultsTableText text(table);
    text.load(settings.settings_path);  // the column order the window uses

    std::optional<vetra::library::AtomicFileWriter> out;
    if (csv) {
        out.emplace(*csv);
    }
    std::string chunk;
    const int rows = text.row_count();
    const int columns = text.column_count();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const std::string cell = text.cell_text(r, c);
            if (out) {
                chunk += (c > 0 ? "," : "") + csv_field(cell);
            } else {
                chunk += (c > 0 ? "\t" : "") + cell;
            }
        }
        chunk += out ? "\r\n" : "\n";
        if (chunk.size() > (1u << 16) || r + 1 == rows) {
            if (out) {
                (void)out->write(chunk);
            } else {
                std::fwrite(chunk.data(), 1, chunk.size(), stdout);
            }
            chunk.clear();
        }
    }
    if (out && !out->commit()) {
        std::fprintf(stderr, "%s: cannot be written\n", csv->c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    vetra::library::init_decimal_separator_from_locale();
    std::string command;
    std::optional<std::string> dir;
    std::optional<std::string> csv;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "--csv" && i + 1 < argc) {
            csv = argv[++i];
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
    if (command == "table") {
        return print_table(vetra::settings::resolve_program_directory(dir), csv);
    }
    usage();
    return 2;
}
