// vetra-tool: inspects the files of a program directory.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/gaz_list.h"
#include "app/console_platform.h"
#include "app/gaslog_command.h"
#include "app/reprocess_command.h"
#include "app/tool_pdf.h"
#include "library/clock.h"
#include "library/number_text.h"
#include "library/utf8_path.h"
#include "reports/table_export.h"
#include "reports/table_las.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "settings/lag_settings.h"
#include "settings/program_directory.h"
#include "settings/rig_settings.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"
#include "storage/show_file.h"

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: vetra-tool settings [--dir DIR]\n"
        "       vetra-tool table [--dir DIR] [--csv FILE] [--xlsx FILE] [--las FILE] [--pdf FILE]\n"
        "       vetra-tool gaslog [--dir DIR] --from M --to M [--scale 500] [--all-rows]\n"
        "                         [--pdf FILE] [--svg FILE]\n"
        "       vetra-tool reprocess [--dir DIR] --from T --to T [--calibration FILE]\n"
        "                            [--windows stored|current] [--apply --reason TEXT]\n"
        "       vetra-tool reprocess [--dir DIR] --undo [N] --reason TEXT\n"
        "  settings  prints every setting the program directory loads\n"
        "  table     prints the results table of the current well as the window shows\n"
        "            it, one row a line, cells between tabs; --csv and --xlsx write it as\n"
        "            the table page's export does (cp1251 CSV with ';', or a workbook),\n"
        "            --las as a LAS 2.0 log of the rows that have a depth, --pdf printed\n"
        "            as the window prints it (its stored choices, A4 landscape)\n");
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
                std::filesystem::exists(vetra::library::path_from_utf8(settings.settings_path))
                    ? "loaded"
                    : "absent, defaults");
    std::fputs(file.text().c_str(), stdout);
    return 0;
}

struct TableOptions {
    std::optional<std::string> csv;
    std::optional<std::string> xlsx;
    std::optional<std::string> las;
    std::optional<std::string> pdf;
};

int print_table(const std::string& dir, const TableOptions& options) {
    vetra::settings::GlobalSettings settings;
    vetra::settings::load_settings_at_startup(settings, dir);
    const std::filesystem::path path =
        vetra::settings::data_directory(settings, dir) / vetra::storage::kTableFileName;
    vetra::library::SystemClock clock;
    vetra::storage::ResultsTable table(clock);
    if (!table.open(path, true)) {
        std::fprintf(stderr, "%s: cannot be opened\n",
                     vetra::library::utf8_from_path(path).c_str());
        return 2;
    }
    vetra::storage::ResultsTableText text(table);
    text.load(settings.settings_path);  // the column order the window uses
    vetra::settings::RigSettings rig;
    rig.load(settings.settings_path);
    text.set_show_ratios(rig.show_ratios);
    vetra::analysis::GazList gases;
    gases.load(settings.settings_path);
    text.set_gas_list(&gases);

    int status = 0;
    const auto sheet = [&](const std::optional<std::string>& file, vetra::reports::SheetFormat f) {
        if (!file) {
            return;
        }
        vetra::reports::SheetLayout layout;
        layout.title = "Результаты хроматографического анализа";
        layout.subject = "Скважина " + settings.well + ", площадь " + settings.area;
        layout.frozen_columns = text.repeated_columns();
        const auto outcome = vetra::reports::write_table_file(text, *file, f, layout);
        if (!outcome.ok) {
            std::fprintf(stderr, "%s\n", outcome.message.c_str());
            status = 1;
        }
    };
    sheet(options.csv, vetra::reports::SheetFormat::csv);
    sheet(options.xlsx, vetra::reports::SheetFormat::xlsx);
    if (options.las) {
        // The background and show curves, as the window's export writes them.
        vetra::settings::LagSettings lag;
        lag.load(settings.settings_path);
        const vetra::reports::LasShows shows{
            vetra::storage::load_shows(path.parent_path() / vetra::storage::kShowFileName),
            {lag.background_metres, lag.show_factor, lag.show_minimum}};
        const auto result = vetra::reports::write_table_las(
            text, vetra::reports::las_well(settings, rig),
            vetra::library::path_from_utf8(*options.las), {}, &shows);
        if (!result.ok) {
            std::fprintf(stderr, "%s\n", result.error.c_str());
            status = 1;
        } else if (result.without_depth > 0) {
            std::fprintf(stderr, "%s\n",
                         vetra::reports::las_done_text(result, *options.las).c_str());
        }
    }
    if (options.pdf) {
        const std::string error =
            vetra::app::print_table_pdf(text, settings.settings_path, *options.pdf);
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            status = 1;
        }
    }
    if (options.csv || options.xlsx || options.las || options.pdf) {
        return status;
    }
    std::string chunk;
    const int rows = text.row_count();
    const int columns = text.column_count();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            chunk += (c > 0 ? "\t" : "") + text.cell_text(r, c);
        }
        chunk += "\n";
        if (chunk.size() > (1u << 16) || r + 1 == rows) {
            std::fwrite(chunk.data(), 1, chunk.size(), stdout);
            chunk.clear();
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    vetra::library::init_decimal_separator_from_locale();
    vetra::app::prepare_console_output();
    const std::vector<std::string> argv_utf8 = vetra::app::utf8_arguments(argc, argv);
    argc = static_cast<int>(argv_utf8.size());
    if (argc > 1 && argv_utf8[1] == "reprocess") {
        return vetra::app::run_reprocess({argv_utf8.begin() + 2, argv_utf8.end()});
    }
    std::string command;
    std::optional<std::string> dir;
    TableOptions table;
    vetra::app::GaslogCommand gaslog;
    bool bad_number = false;
    const auto number = [&](const char* text) {
        const auto v = vetra::library::parse_number(text);
        bad_number = bad_number || !v;
        return v.value_or(0.0);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv_utf8[i];
        if (arg == "--from" && i + 1 < argc) {
            gaslog.from = number(argv_utf8[++i].c_str());
        } else if (arg == "--to" && i + 1 < argc) {
            gaslog.to = number(argv_utf8[++i].c_str());
        } else if (arg == "--scale" && i + 1 < argc) {
            gaslog.scale = number(argv_utf8[++i].c_str());
        } else if (arg == "--pdf" && i + 1 < argc) {
            // Either command's printed file.
            gaslog.pdf = argv_utf8[++i];
            table.pdf = gaslog.pdf;
        } else if (arg == "--svg" && i + 1 < argc) {
            gaslog.svg = argv_utf8[++i];
        } else if (arg == "--all-rows") {
            gaslog.all_rows = true;
        } else if (arg == "--dir" && i + 1 < argc) {
            dir = argv_utf8[++i];
        } else if (arg == "--csv" && i + 1 < argc) {
            table.csv = argv_utf8[++i];
        } else if (arg == "--xlsx" && i + 1 < argc) {
            table.xlsx = argv_utf8[++i];
        } else if (arg == "--las" && i + 1 < argc) {
            table.las = argv_utf8[++i];
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
    if (command == "gaslog" && !bad_number) {
#ifdef VETRA_TOOL_GASLOG
        return vetra::app::run_gaslog(vetra::settings::resolve_program_directory(dir), gaslog, argc,
                                      argv);
#else
        std::fprintf(stderr, "gaslog: this vetra-tool was built without Qt\n");
        return 2;
#endif
    }
    if (command == "table") {
        return print_table(vetra::settings::resolve_program_directory(dir), table);
    }
    usage();
    return 2;
}
