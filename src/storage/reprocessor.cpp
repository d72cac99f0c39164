#include "storage/reprocessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>

#include "analysis/gaz_calculator.h"
#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "library/operator.h"
#include "library/utf8_path.h"
#include "settings/global_settings.h"

namespace vetra::storage {
namespace {

// A re-run neither beeps nor asks.
class SilentOperator final : public library::Operator {
public:
    void beep(int, int) override {}
    void show_message(const std::string&, const std::string&, library::MessageIcon) override {}
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
};

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const analysis::GazOption* window_of(const std::vector<analysis::GazOption>& windows,
                                     const std::string& name) {
    for (const auto& w : windows) {
        if (w.name == name) {
            return &w;
        }
    }
    return nullptr;
}

}  // namespace

const char* row_state_text(RowState state) {
    switch (state) {
        case RowState::recomputed:
            return "пересчитано";
        case RowState::no_run_file:
            return "нет файла разгонки";
        case RowState::replaced:
            return "файл разгонки заменён";
        case RowState::unreadable:
            return "файл разгонки не читается";
        case RowState::not_reproduced:
            return "не воспроизводится";
        case RowState::incomplete:
            return "окно газа вне разгонки";
    }
    return "";
}

bool CellChange::changed() const {
    return std::memcmp(&old_value, &new_value, sizeof old_value) != 0;
}

int ReprocessedRow::changed_cells() const {
    return static_cast<int>(
        std::count_if(cells.begin(), cells.end(), [](const CellChange& c) { return c.changed(); }));
}

int column_of_key(const std::vector<ColumnEntry>& columns, const std::string& key) {
    const std::size_t n = std::min<std::size_t>(columns.size(), kMaxValues);
    for (std::size_t i = 0; i < n; ++i) {
        if (columns[i].key == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void RunCatalog::scan(const std::string& program_dir, std::uint32_t from, std::uint32_t to) {
    entries_.clear();
    by_stamp_.clear();
    replaced_.clear();
    if (from > to) {
        return;
    }
    std::vector<std::size_t> claimed_twice;
    const std::uint32_t last_day = to / 86400 + 1;
    for (std::uint32_t day = from / 86400; day <= last_day; ++day) {
        const auto folder = run_file_path(program_dir, stamp_time(day * 86400u)).parent_path();
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            continue;
        }
        std::vector<std::filesystem::path> companions;
        for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
            if (item.path().extension() == kRunExtraExtension) {
                companions.push_back(item.path());
            }
        }
        std::sort(companions.begin(), companions.end());
        for (const auto& path : companions) {
            const auto bytes = library::read_whole_file(path);
            auto extra = bytes ? decode_run_extra(*bytes) : std::nullopt;
            if (!extra) {
                continue;
            }
            replaced_.insert(extra->replaced_stamps.begin(), extra->replaced_stamps.end());
            const std::uint32_t stamp = extra->row_stamp;
            auto run = path;
            entries_.push_back({run.replace_extension(".rzg"), std::move(*extra)});
            if (stamp == 0) {
                continue;
            }
            if (!by_stamp_.emplace(stamp, entries_.size() - 1).second) {
                replaced_.insert(stamp);  // two runs name one row: neither is trusted
            }
        }
    }
}

const RunCatalog::Entry* RunCatalog::find(std::uint32_t stamp) const {
    const auto it = by_stamp_.find(stamp);
    if (it == by_stamp_.end() || replaced_.count(stamp) != 0) {
        return nullptr;
    }
    return &entries_[it->second];
}

struct RunRecomputer::Parts {
    settings::GlobalSettings settings;
    std::vector<analysis::SampleRecord> all;
    std::vector<analysis::SampleRecord> fed;
    analysis::GazList gases;
    library::LockObject lock;
    SilentOperator op;
    library::SystemClock clock;
    analysis::GazCalculator calculator{settings, fed, gases, lock, op, clock};
};

RunRecomputer::RunRecomputer() : parts_(std::make_unique<Parts>()) {}
RunRecomputer::~RunRecomputer() = default;

std::optional<std::vector<analysis::GazResult>> RunRecomputer::recompute(
    const StoredRun& run, const RunExtra& extra, const ReprocessMethod& method, bool* same_areas) {
    Parts& p = *parts_;
    if (extra.rate <= 0 || extra.gases.empty()) {
        return std::nullopt;
    }
    p.settings.samples_per_second = extra.rate;
    p.settings.zero_seconds = extra.zero_seconds;
    p.settings.window_correction = extra.window_correction;
    p.settings.calc_result_from_pick = extra.from_pick;
    p.settings.min_gaz_value = extra.min_gaz_value;

    // The gases as the run had them, with the windows asked for; the steps at which the
    // samples grow: where the live cycle computed a gas whose window stays, and where a
    // moved window first lets its gas be computed.
    p.gases.resize(static_cast<int>(extra.gases.size()));
    std::vector<std::int64_t> steps;
    std::vector<int> calibration_index;
    bool own_windows = true;
    const auto n = static_cast<std::int64_t>(run.plot.points.size());
    for (std::size_t i = 0; i < extra.gases.size(); ++i) {
        const RunGas& stored = extra.gases[i];
        analysis::GazOption& gas = p.gases.gas(static_cast<int>(i));
        gas.name = stored.name;
        gas.code = stored.code;
        gas.colour = stored.colour;
        gas.start = stored.start;
        gas.end = stored.end;
        if (const auto* w = window_of(method.windows, stored.name);
            w != nullptr &&
            (!same_bits(w->start, stored.start) || !same_bits(w->end, stored.end))) {
            gas.start = w->start;
            gas.end = w->end;
            own_windows = false;
            const auto e = analysis::sample_index(gas.end, extra.rate);
            if (e) {
                steps.push_back(*e + 5 * static_cast<std::int64_t>(extra.rate));
            }
        } else if (stored.computed_at >= 0) {
            steps.push_back(stored.computed_at);
        }
        int index = static_cast<int>(i);
        if (!method.calibration_gases.empty()) {
            const auto& names = method.calibration_gases;
            const auto it = std::find(names.begin(), names.end(), stored.name);
            index = it == names.end() ? -1 : static_cast<int>(it - names.begin());
        }
        calibration_index.push_back(index);
    }
    p.gases.resetWorkingWindows();
    steps.push_back(n);
    std::sort(steps.begin(), steps.end());

    const analysis::EtalonStorage* calibration = method.calibration;
    p.calculator.set_concentration_function([calibration, &calibration_index](int g, double a) {
        const int index = calibration_index[static_cast<std::size_t>(g)];
        return calibration != nullptr && index >= 0 ? calibration->concentration(index, a) : 0.0;
    });
    p.all = restore_samples(extra, run.plot.points, run.plot.seconds);
    p.fed.clear();
    p.fed.reserve(p.all.size());
    p.calculator.reset();
    for (const std::int64_t step : steps) {
        const auto upto = static_cast<std::size_t>(std::clamp<std::int64_t>(step, 0, n));
        if (upto < p.fed.size()) {
            continue;
        }
        p.fed.insert(p.fed.end(), p.all.begin() + static_cast<std::ptrdiff_t>(p.fed.size()),
                     p.all.begin() + static_cast<std::ptrdiff_t>(upto));
        p.calculator.process(extra.depth, false);
    }
    p.calculator.set_concentration_function({});
    if (!p.calculator.ready()) {
        return std::nullopt;
    }
    if (same_areas != nullptr) {
        bool same = own_windows && run.calc.size() == extra.gases.size();
        for (std::size_t i = 0; same && i < extra.gases.size(); ++i) {
            const analysis::GazResult* record = nullptr;
            for (const auto& r : p.calculator.results()) {
                if (!r.derived && r.name == extra.gases[i].name) {
                    record = &r;
                    break;
                }
            }
            same = record != nullptr && same_bits(record->area, run.calc[i][1]) &&
                   same_bits(record->peak_max, run.calc[i][2]);
        }
        *same_areas = same;
    }
    return p.calculator.results();
}

void plan_reprocess(ReprocessPlan& plan, const ResultsTable& table, const std::string& program_dir,
                    std::uint32_t from, std::uint32_t to) {
    plan.items.clear();
    plan.catalog.scan(program_dir, from, to);
    for (int r = 0; r < table.row_count(); ++r) {
        const auto row = table.row(r);
        if (!row || row->stamp < from || row->stamp > to) {
            continue;
        }
        ReprocessPlan::Item item;
        item.row = r;
        item.stamp = row->stamp;
        item.run = plan.catalog.find(row->stamp);
        item.state = item.run != nullptr                 ? RowState::recomputed
                     : plan.catalog.replaced(row->stamp) ? RowState::replaced
                                                         : RowState::no_run_file;
        plan.items.push_back(item);
    }
}

ReprocessedRow reprocess_row(const ReprocessPlan::Item& item, const ResultsTable& table,
                             const ReprocessMethod& method, RunRecomputer& recomputer) {
    ReprocessedRow out;
    out.row = item.row;
    out.stamp = item.stamp;
    out.state = item.state;
    if (item.run == nullptr) {
        return out;
    }
    out.run_file = item.run->run_file;
    const RunExtra& extra = item.run->extra;
    const auto bytes = library::read_whole_file(item.run->run_file);
    if (!bytes) {
        out.state = RowState::unreadable;
        return out;
    }
    // The run file written with this companion, not one written over it since.
    if (bytes->size() != extra.run_size || bytes_hash(*bytes) != extra.run_hash) {
        out.state = RowState::replaced;
        return out;
    }
    const auto run = parse_run_file(*bytes);
    const auto row = table.row(item.row);
    if (!run || !row || row->stamp != item.stamp) {
        out.state = RowState::unreadable;
        return out;
    }
    bool same_areas = false;
    const auto results = recomputer.recompute(*run, extra, method, &same_areas);
    if (!results) {
        out.state = RowState::incomplete;
        return out;
    }
    if (method.windows.empty() && !same_areas) {
        out.state = RowState::not_reproduced;
        return out;
    }
    const auto& columns = table.columns();
    for (const analysis::GazResult& r : *results) {
        const int column = column_of_key(columns, r.key);
        if (column < 0) {
            continue;
        }
        out.cells.push_back({column, r.key, row->values[static_cast<std::size_t>(column)],
                             static_cast<float>(r.concentration)});
    }
    out.state = RowState::recomputed;
    return out;
}

std::vector<ReprocessedRow> reprocess(const ResultsTable& table, const std::string& program_dir,
                                      std::uint32_t from, std::uint32_t to,
                                      const ReprocessMethod& method,
                                      const std::function<bool(int, int)>& progress) {
    ReprocessPlan plan;
    plan_reprocess(plan, table, program_dir, from, to);
    RunRecomputer recomputer;
    std::vector<ReprocessedRow> rows;
    rows.reserve(plan.items.size());
    const int total = static_cast<int>(plan.items.size());
    for (const auto& item : plan.items) {
        rows.push_back(reprocess_row(item, table, method, recomputer));
        if (progress && !progress(static_cast<int>(rows.size()), total)) {
            break;
        }
    }
    return rows;
}

}  // namespace vetra::storage
