#include "app/reprocess_command.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_list.h"
#include "library/clock.h"
#include "library/format_auto.h"
#include "library/number_text.h"
#include "library/utf8_path.h"
#include "settings/global_settings.h"
#include "settings/program_directory.h"
#include "storage/event_log.h"
#include "storage/reprocess_trail.h"
#include "storage/reprocessor.h"
#include "storage/results_table.h"

namespace vetra::app {
namespace {

struct Options {
    std::optional<std::string> dir;
    std::optional<std::uint32_t> from;
    std::optional<std::uint32_t> to;
    std::optional<std::string> calibration;
    bool current_windows = false;
    bool apply = false;
    bool undo = false;
    int undo_id = 0;
    std::string reason;
};

void usage() {
    std::fprintf(stderr,
                 "usage: vetra-tool reprocess [--dir DIR] --from T --to T [--calibration FILE]\n"
                 "                            [--windows stored|current] [--apply --reason TEXT]\n"
                 "       vetra-tool reprocess [--dir DIR] --undo [N] --reason TEXT\n"
                 "  T is a local time \"YYYY-MM-DD HH:MM[:SS]\" (or with T between); the\n"
                 "  calibration is calibr.ini of the program directory unless a *.cal is named;\n"
                 "  the windows are each analysis's own unless 'current' (the gas list's)\n");
}

// "2026-03-05 14:07", "2026-03-05T14:07:30".
std::optional<std::uint32_t> parse_time(const std::string& text) {
    library::LocalTime t;
    char sep = ' ';
    int n = 0;
    t.second = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n:%2d%n", &t.year, &t.month, &t.day, &sep,
                    &t.hour, &t.minute, &n, &t.second, &n) < 6 ||
        static_cast<std::size_t>(n) != text.size() || (sep != ' ' && sep != 'T') || t.year < 1970 ||
        t.year > 2100 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 59) {
        return std::nullopt;
    }
    return storage::time_stamp(t);
}

bool parse(const std::vector<std::string>& args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool value = i + 1 < args.size();
        if (a == "--dir" && value) {
            o.dir = args[++i];
        } else if ((a == "--from" || a == "--to") && value) {
            const auto t = parse_time(args[++i]);
            if (!t) {
                std::fprintf(stderr, "%s: not a time (YYYY-MM-DD HH:MM[:SS]): %s\n", a.c_str(),
                             args[i].c_str());
                return false;
            }
            (a == "--from" ? o.from : o.to) = t;
        } else if (a == "--calibration" && value) {
            o.calibration = args[++i];
        } else if (a == "--windows" && value &&
                   (args[i + 1] == "stored" || args[i + 1] == "current")) {
            o.current_windows = args[++i] == "current";
        } else if (a == "--apply") {
            o.apply = true;
        } else if (a == "--reason" && value) {
            o.reason = args[++i];
        } else if (a == "--undo") {
            o.undo = true;
            if (value && args[i + 1][0] != '-') {
                const auto id = library::parse_int(args[++i]);
                if (!id || *id <= 0) {
                    return false;
                }
                o.undo_id = *id;
            }
        } else {
            return false;
        }
    }
    if (o.undo || o.apply) {
        if (o.reason.empty()) {
            std::fprintf(stderr, "--reason: say why the values change\n");
            return false;
        }
    }
    return o.undo || (o.from && o.to && *o.from <= *o.to);
}

std::string calibration_text(const analysis::EtalonStorage& c) {
    std::string text = "inter_type=" + std::to_string(c.interpolation_type()) +
                       " deg_koeff=" + library::formatAuto(c.degassing());
    for (const auto& p : c.points()) {
        text += "; " + analysis::EtalonStorage::point_text(p);
    }
    return text;
}

std::string windows_text(const analysis::GazList& gases) {
    std::string text = "текущие:";
    for (int g = 0; g < gases.count(); ++g) {
        const auto& gas = gases.gas(g);
        text += " " + gas.name + " " + library::formatAuto(gas.start) + "-" +
                library::formatAuto(gas.end);
    }
    return text;
}

void print_rows(const std::vector<storage::ReprocessedRow>& rows) {
    int recomputed = 0;
    int changed = 0;
    for (const auto& r : rows) {
        const std::string when = storage::trail_time_text(r.stamp);
        if (r.state != storage::RowState::recomputed) {
            std::printf("%s\t%s\n", when.c_str(), storage::row_state_text(r.state));
            continue;
        }
        ++recomputed;
        changed += r.changed_cells();
        for (const auto& c : r.cells) {
            std::printf("%s\t%s\t%.9g\t%.9g\t%+.9g%s\n", when.c_str(), c.key.c_str(),
                        static_cast<double>(c.old_value), static_cast<double>(c.new_value),
                        static_cast<double>(c.new_value) - static_cast<double>(c.old_value),
                        c.changed() ? "" : "\t=");
        }
    }
    std::printf("строк: %zu, пересчитано: %d, изменится значений: %d\n", rows.size(), recomputed,
                changed);
}

}  // namespace

int run_reprocess(const std::vector<std::string>& args) {
    Options o;
    if (!parse(args, o)) {
        usage();
        return 2;
    }
    const std::string dir = settings::resolve_program_directory(o.dir);
    settings::GlobalSettings settings;
    settings::load_settings_at_startup(settings, dir);
    const auto table_path = settings::data_directory(settings, dir) / storage::kTableFileName;
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    const bool writes = o.apply || o.undo;
    if (!table.open(table_path, !writes) || (writes && !table.flush())) {
        std::fprintf(stderr, "%s: cannot be opened%s\n",
                     library::utf8_from_path(table_path).c_str(), writes ? " for writing" : "");
        return 2;
    }
    storage::ReprocessTrail trail(table_path.parent_path() / storage::kTrailFileName);
    storage::EventLog journal(clock);
    journal.attach(dir + storage::kEventLogFileName);
    if (writes && storage::recover_reprocessing(table, trail, clock) > 0) {
        journal.add("Завершён прерванный пересчёт");
    }
    if (o.undo) {
        const auto out = storage::undo_reprocessing(table, trail, o.undo_id, o.reason, clock);
        if (!out.ok) {
            std::fprintf(stderr, "%s\n", out.message.c_str());
            return 1;
        }
        journal.add(storage::journal_text(trail.entries().back()));
        std::printf("восстановлено значений: %d, строк: %d, пропущено: %d\n", out.cells, out.rows,
                    out.skipped);
        return 0;
    }

    analysis::GazList gases;
    gases.load(settings.settings_path);
    analysis::EtalonStorage calibration;
    const std::string calibration_path =
        o.calibration ? *o.calibration : dir + analysis::EtalonStorage::kFileName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(library::path_from_utf8(calibration_path), ec) ||
        !calibration.load(calibration_path)) {
        std::fprintf(stderr, "%s: cannot be read\n", calibration_path.c_str());
        return 2;
    }
    storage::ReprocessMethod method;
    method.calibration = &calibration;
    for (int g = 0; g < gases.count(); ++g) {
        method.calibration_gases.push_back(gases.gas(g).name);
        if (o.current_windows) {
            method.windows.push_back(gases.gas(g));
        }
    }
    const auto rows = storage::reprocess(table, dir, *o.from, *o.to, method);
    print_rows(rows);
    if (!o.apply) {
        return 0;
    }
    storage::TrailNote note;
    note.from = *o.from;
    note.to = *o.to;
    note.calibration =
        o.calibration ? library::utf8_from_path(library::path_from_utf8(*o.calibration).filename())
                      : "текущая";
    note.calibration_text = calibration_text(calibration);
    note.windows = o.current_windows ? windows_text(gases) : "как при анализе";
    note.reason = o.reason;
    const auto out = storage::apply_reprocessing(table, trail, rows, note, clock);
    if (!out.ok) {
        std::fprintf(stderr, "%s\n", out.message.c_str());
        return 1;
    }
    if (out.id != 0) {
        journal.add(storage::journal_text(trail.entries().back()));
        std::printf("пересчёт №%d: записано значений %d в строках %d\n", out.id, out.cells,
                    out.rows);
    } else {
        std::printf("%s\n", out.message.c_str());
    }
    return 0;
}

}  // namespace vetra::app
