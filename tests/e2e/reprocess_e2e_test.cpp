// Re-processing stored analyses end to end: the console runs cycles against the simulator
// with one gas's calibration wrong, and the tool puts the rows right from the run files, then
// takes it back; and an apply killed at each of its file steps loses nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_list.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/number_text.h"
#include "program_run.h"
#include "storage/results_table.h"
#include "support/temp_dir.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kSim = VETRA_SIM_PATH;
constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr const char* kTool = VETRA_TOOL_PATH;
constexpr auto kRunLimit = 120s;
constexpr auto kToolLimit = 30s;
constexpr int kCycles = 3;
constexpr int kRate = 8;
constexpr int kCycleSeconds = 90;
// A cycle takes about 3 s at this speed; the console's wall clock runs 40 times faster, so
// each cycle ends in a minute of its own and keeps its run file.
constexpr const char* kSpeed = "30";
constexpr const char* kClockFactor = "40";
constexpr double kTolerance = 0.02;
constexpr double kIntended[] = {0.8, 0.4, 0.3, 0.2, 0.1, 0.05};
constexpr double kWrongResponse = 1.2;  // the first gas's area per unit, as mistyped

using Values = std::array<float, storage::kMaxValues>;
constexpr auto kValues = static_cast<std::size_t>(storage::kMaxValues);

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string tool_time(std::uint32_t stamp) {
    const auto t = storage::stamp_time(stamp);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

struct TableState {
    std::vector<std::uint32_t> stamps;
    std::vector<Values> rows;
    std::vector<storage::ColumnEntry> columns;
};

TableState read_table(const fs::path& program_dir) {
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    TableState state;
    EXPECT_TRUE(table.open(program_dir / "default" / "default" / "data.tim", true));
    state.columns = table.columns();
    for (int r = 0; r < table.row_count(); ++r) {
        const auto row = table.row(r);
        EXPECT_TRUE(row);
        if (row) {
            state.stamps.push_back(row->stamp);
            state.rows.push_back(row->values);
        }
    }
    return state;
}

struct TrailCellLine {
    int entry = 0;
    int row = 0;
    int column = 0;
    float old_value = 0;
    float new_value = 0;
};

float from_bits(const std::string& hex) {
    const auto bits = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::vector<std::string> tab_fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) {
        fields.push_back(f);
    }
    return fields;
}

struct Trail {
    std::vector<TrailCellLine> cells;
    std::map<int, std::string> ends;  // entry → its last state
    std::map<int, int> announced;     // entry → the cell count its first line promises
};

Trail read_trail(const fs::path& program_dir) {
    Trail trail;
    std::istringstream in(test::read_bytes(program_dir / "default" / "default" / "пересчёт.txt"));
    for (std::string line; std::getline(in, line);) {
        const auto f = tab_fields(line);
        if (f.size() >= 11 && f[0] == "begin") {
            trail.announced[std::stoi(f[1])] = std::stoi(f[10]);
        } else if (f.size() >= 9 && f[0] == "cell") {
            trail.cells.push_back({std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[6]),
                                   from_bits(f[7]), from_bits(f[8])});
        } else if (f.size() >= 3 && f[0] == "end") {
            trail.ends[std::stoi(f[1])] = f[2];
        }
    }
    return trail;
}

int cells_of(const Trail& trail, int entry) {
    int n = 0;
    for (const auto& c : trail.cells) {
        n += c.entry == entry ? 1 : 0;
    }
    return n;
}

// The program directory after kCycles cycles made with the wrong calibration, shared by the
// tests (each works on its own copy); and the right calibration as a "*.cal" file.
class Reprocessing : public testing::Test {
public:
    static void SetUpTestSuite() {
        sandbox_ = std::make_unique<test::TempDir>();
        const fs::path dir = made();
        fs::create_directories(dir / "Analiz");
        const std::string settings =
            "[порт]\r\ndevice_type=00000000\r\n[время]\r\nпосылок_в_секунду=" +
            std::to_string(kRate) + "\r\nвремя7=" + std::to_string(kCycleSeconds) +
            "\r\n[VetraSystem]\r\nsave_science_values=1\r\n";
        test::write_bytes(dir / "хроматограф.ini", library::utf8_to_cp1251(settings));
        sim_ = std::make_unique<ProgramRun>(
            *sandbox_, "sim", kSim,
            std::vector<std::string>{"chromatograph", "--model", "0", "--rate",
                                     std::to_string(kRate), "--speed", kSpeed, "--truth",
                                     (sandbox_->path() / "truth.txt").string()});
        ASSERT_TRUE(
            wait_until([&] { return sim_->out_so_far().find('\n') != std::string::npos; }, 20s));
        port_ = sim_->out_so_far().substr(0, sim_->out_so_far().find('\n'));
        write_calibration(dir / analysis::EtalonStorage::kFileName, kWrongResponse);
        write_calibration(right_calibration(), 1.0);
        ASSERT_EQ(run_console(dir, kCycles), 0);
    }
    static void TearDownTestSuite() {
        sim_.reset();
        sandbox_.reset();
    }

protected:
    static fs::path made() { return sandbox_->path() / "made"; }
    static fs::path right_calibration() { return sandbox_->path() / "верная.cal"; }

    // One point per gas: the intended concentration at the simulator's true area, the first
    // gas's area times `first_response`.
    static void write_calibration(const fs::path& path, double first_response) {
        std::map<std::string, double> truth;
        std::istringstream in(test::read_bytes(sandbox_->path() / "truth.txt"));
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            truth[line.substr(0, eq)] = library::parse_number(line.substr(eq + 1)).value_or(0);
        }
        analysis::EtalonPoint point;
        point.repeats = 1;
        const auto gases = analysis::GazList::default_gases();
        for (std::size_t g = 0; g < gases.size(); ++g) {
            ASSERT_GT(truth[gases[g].name], 0.0) << gases[g].name;
            point.pairs.emplace_back(kIntended[g],
                                     truth[gases[g].name] * (g == 0 ? first_response : 1.0));
        }
        analysis::EtalonStorage storage;
        storage.copyPointsFrom({point});
        ASSERT_TRUE(storage.save(path.string()));
    }

    static int run_console(const fs::path& dir, int cycles) {
        ProgramRun console(*sandbox_, "console", kConsole,
                           {"--dir", dir.string(), "--port", port_, "--cycles",
                            std::to_string(cycles), "--verbose"},
                           {std::string("LD_PRELOAD=") + VETRA_CLOCK_SHIM_PATH,
                            std::string("VETRA_CLOCK_FACTOR=") + kClockFactor});
        const Outcome r = console.wait(kRunLimit);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status;
    }

    fs::path copy_of_made(const std::string& name) {
        const fs::path dir = work_.path() / name;
        fs::copy(made(), dir, fs::copy_options::recursive);
        return dir;
    }

    Outcome tool(const fs::path& dir, std::vector<std::string> args,
                 const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), {"reprocess", "--dir", dir.string()});
        ProgramRun run(work_, "tool", kTool, args, env);
        return run.wait(kToolLimit);
    }

    std::vector<std::string> range(const TableState& t) const {
        return {"--from", tool_time(t.stamps.front()), "--to", tool_time(t.stamps.back())};
    }

    static std::unique_ptr<test::TempDir> sandbox_;
    static std::unique_ptr<ProgramRun> sim_;
    static std::string port_;
    test::TempDir work_;
};

std::unique_ptr<test::TempDir> Reprocessing::sandbox_;
std::unique_ptr<ProgramRun> Reprocessing::sim_;
std::string Reprocessing::port_;

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Reprocessing, the_right_calibration_puts_the_rows_right_and_undo_takes_it_back_exactly) {
    const fs::path dir = copy_of_made("dir");
    const fs::path table_file = dir / "default" / "default" / "data.tim";
    const TableState first = read_table(dir);
    ASSERT_EQ(first.rows.size(), static_cast<std::size_t>(kCycles));
    const int c1 = 0;
    ASSERT_EQ(first.columns[c1].key, "метан_абс");
    for (const auto& row : first.rows) {
        EXPECT_NEAR(row[c1], kIntended[0] / kWrongResponse, kTolerance * kIntended[0]);
    }

    // With the calibration that made them every row comes out again bit for bit, and an
    // apply writes nothing.
    const std::string before = test::read_bytes(table_file);
    const Outcome same = tool(dir, range(first));
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.out.find("строк: 3, пересчитано: 3, изменится значений: 0"), std::string::npos)
        << same.out;
    const Outcome none = tool(dir, with(range(first), {"--apply", "--reason", "проверка"}));
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("Пересчёт не изменил ни одного значения"), std::string::npos)
        << none.out;
    EXPECT_EQ(test::read_bytes(table_file), before);

    const Outcome applied =
        tool(dir, with(range(first), {"--calibration", right_calibration().string(), "--apply",
                                      "--reason", "разбавление C1 введено неверно"}));
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_NE(applied.out.find("пересчёт №1"), std::string::npos) << applied.out;
    const TableState fixed = read_table(dir);
    ASSERT_EQ(fixed.rows.size(), first.rows.size());
    EXPECT_EQ(fixed.stamps, first.stamps);
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t r = 0; r < fixed.rows.size(); ++r) {
        for (std::size_t g = 0; g < gases.size(); ++g) {
            EXPECT_NEAR(fixed.rows[r][g], kIntended[g], kTolerance * kIntended[g]) << r << g;
        }
        // The same area, a response 1.2 times smaller.
        EXPECT_NEAR(fixed.rows[r][c1], first.rows[r][c1] * kWrongResponse, 1e-5);
        for (std::size_t g = 1; g < gases.size(); ++g) {
            EXPECT_TRUE(same_bits(fixed.rows[r][g], first.rows[r][g])) << r << g;
        }
    }

    // The trail holds every value that changed, with what it was and what it became.
    const Trail trail = read_trail(dir);
    int changed = 0;
    for (std::size_t r = 0; r < first.rows.size(); ++r) {
        for (std::size_t c = 0; c < kValues; ++c) {
            if (same_bits(first.rows[r][c], fixed.rows[r][c])) {
                continue;
            }
            ++changed;
            int found = 0;
            for (const auto& cell : trail.cells) {
                if (cell.entry == 1 && cell.row == static_cast<int>(r) &&
                    cell.column == static_cast<int>(c)) {
                    ++found;
                    EXPECT_TRUE(same_bits(cell.old_value, first.rows[r][c]));
                    EXPECT_TRUE(same_bits(cell.new_value, fixed.rows[r][c]));
                }
            }
            EXPECT_EQ(found, 1) << "row " << r << " column " << c;
        }
    }
    EXPECT_GE(changed, kCycles * 2);  // the gas and at least its sum
    EXPECT_EQ(cells_of(trail, 1), changed);
    EXPECT_EQ(trail.ends.at(1), "committed");
    const std::string journal = library::cp1251_to_utf8(test::read_bytes(dir / "события.txt"));
    EXPECT_NE(journal.find("Пересчёт №1 анализов с "), std::string::npos) << journal;
    EXPECT_NE(journal.find("калибровка: верная.cal, изменено значений " + std::to_string(changed) +
                           " в строках 3"),
              std::string::npos)
        << journal;

    const Outcome undone = tool(dir, {"--undo", "--reason", "проверка отмены"});
    ASSERT_EQ(undone.status, 0) << undone.err;
    const TableState back = read_table(dir);
    for (std::size_t r = 0; r < first.rows.size(); ++r) {
        for (std::size_t c = 0; c < kValues; ++c) {
            EXPECT_TRUE(same_bits(back.rows[r][c], first.rows[r][c])) << r << " " << c;
        }
    }
    EXPECT_EQ(test::read_bytes(table_file), before);
    EXPECT_EQ(read_trail(dir).ends.at(2), "committed");

    // A cycle made with the right calibration stores what the re-processing gave.
    write_calibration(dir / analysis::EtalonStorage::kFileName, 1.0);
    ASSERT_EQ(run_console(dir, 1), 0);
    const TableState after = read_table(dir);
    ASSERT_EQ(after.rows.size(), first.rows.size() + 1);
    for (std::size_t c = 0; c < first.columns.size(); ++c) {
        const double fresh = after.rows.back()[c];
        EXPECT_NEAR(fixed.rows[0][c], fresh, kTolerance * std::max(std::abs(fresh), 0.01))
            << first.columns[c].key;
    }
}

// An apply killed after each of its file steps (the trail's first write, every value written
// into the table, the trail's last write): every cell holds its old or its new value, the trail
// already holds the whole entry, and the next run of the tool completes it; an undo then
// brings back the first values.
TEST_F(Reprocessing, an_apply_killed_at_any_file_step_is_completed_and_can_still_be_undone) {
    const std::vector<std::string> apply_args = {"--calibration", right_calibration().string(),
                                                 "--apply", "--reason", "сбой питания"};
    const fs::path clean = copy_of_made("clean");
    const TableState first = read_table(clean);
    const auto args = with(range(first), apply_args);
    ASSERT_EQ(tool(clean, args).status, 0);
    const TableState fixed = read_table(clean);
    const int cells = cells_of(read_trail(clean), 1);
    ASSERT_GT(cells, 0);

    for (int step = 1; step <= cells + 2; ++step) {
        SCOPED_TRACE("killed after step " + std::to_string(step));
        const fs::path dir = copy_of_made("step" + std::to_string(step));
        const Outcome killed =
            tool(dir, args,
                 {std::string("LD_PRELOAD=") + VETRA_STEP_SHIM_PATH,
                  "VETRA_KILL_AT_STEP=" + std::to_string(step),
                  "VETRA_KILL_RENAME_SUFFIX=пересчёт.txt", "VETRA_KILL_WRITE_SUFFIX=data.tim"});
        ASSERT_EQ(killed.status, -1) << killed.out << killed.err;

        const Trail trail = read_trail(dir);
        ASSERT_EQ(trail.announced.count(1), 1u);
        EXPECT_EQ(cells_of(trail, 1), cells);
        EXPECT_EQ(trail.announced.at(1), cells);
        EXPECT_EQ(trail.ends.count(1), step == cells + 2 ? 1u : 0u);
        const TableState now = read_table(dir);
        int new_cells = 0;
        for (std::size_t r = 0; r < first.rows.size(); ++r) {
            for (std::size_t c = 0; c < kValues; ++c) {
                const bool is_new = same_bits(now.rows[r][c], fixed.rows[r][c]);
                EXPECT_TRUE(is_new || same_bits(now.rows[r][c], first.rows[r][c])) << r << c;
                new_cells += is_new && !same_bits(first.rows[r][c], fixed.rows[r][c]) ? 1 : 0;
            }
        }
        EXPECT_EQ(new_cells, std::min(step - 1, cells));

        // The next apply completes what was begun and then finds nothing left to change.
        const Outcome next = tool(dir, args);
        ASSERT_EQ(next.status, 0) << next.err;
        EXPECT_NE(next.out.find("Пересчёт не изменил ни одного значения"), std::string::npos)
            << next.out;
        const TableState completed = read_table(dir);
        for (std::size_t r = 0; r < first.rows.size(); ++r) {
            for (std::size_t c = 0; c < kValues; ++c) {
                EXPECT_TRUE(same_bits(completed.rows[r][c], fixed.rows[r][c])) << r << c;
            }
        }
        const Trail done = read_trail(dir);
        EXPECT_EQ(done.ends.at(1), step == cells + 2 ? "committed" : "recovered");

        ASSERT_EQ(tool(dir, {"--undo", "--reason", "откат"}).status, 0);
        const TableState back = read_table(dir);
        for (std::size_t r = 0; r < first.rows.size(); ++r) {
            for (std::size_t c = 0; c < kValues; ++c) {
                EXPECT_TRUE(same_bits(back.rows[r][c], first.rows[r][c])) << r << c;
            }
        }
    }
}

}  // namespace
}  // namespace vetra::e2e
