// The workstation against the simulated chromatograph over a real pseudo-terminal: the
// console runs whole cycles, and its published concentrations are checked against the
// areas the simulator put into the signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_list.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/number_text.h"
#include "link/serial_port.h"
#include "link/wire_protocol.h"
#include "program_run.h"
#include "storage/history.h"
#include "storage/plot_record.h"
#include "storage/results_table.h"
#include "support/temp_dir.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kSim = VETRA_SIM_PATH;
constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr const char* kTool = VETRA_TOOL_PATH;
// Generous: CI runs these beside other tests on two cores. A cycle takes about 3 s.
constexpr auto kRunLimit = 100s;
constexpr auto kStartLimit = 20s;
constexpr int kCycleSeconds = 90;  // the last default window ends at 75 s
constexpr int kRate = 8;
constexpr const char* kSpeed = "30";
constexpr double kTolerance = 0.02;
// The calibration's concentration per default gas, %.
constexpr double kIntended[] = {0.8, 0.4, 0.3, 0.2, 0.1, 0.05};

const std::string kLostConnection = "Внезапно потеряна связь с хроматографом!";
const std::string kNoAnswer = "Хроматограф не ответил после запроса!";

std::string points_line() {
    return "cycle finished, status -96, points " + std::to_string(kCycleSeconds * kRate) + "\n";
}

using ResultList = std::map<std::string, double>;

// The console prints each published list as key=value lines closed by an empty line.
std::vector<ResultList> result_lists(const std::string& out) {
    std::vector<ResultList> lists;
    std::istringstream in(out);
    std::string line;
    ResultList current;
    while (std::getline(in, line)) {
        if (line.empty()) {
            if (!current.empty()) {
                lists.push_back(current);
            }
            current.clear();
            continue;
        }
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            current[line.substr(0, eq)] = library::parse_number(line.substr(eq + 1)).value_or(-1);
        }
    }
    if (!current.empty()) {
        lists.push_back(current);
    }
    return lists;
}

void expect_intended_concentrations(const ResultList& list) {
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t g = 0; g < gases.size(); ++g) {
        const auto at = list.find(gases[g].name + "_абс");
        ASSERT_NE(at, list.end()) << gases[g].name;
        EXPECT_NEAR(at->second, kIntended[g], kTolerance * kIntended[g]) << gases[g].name;
    }
}

// A sandbox with a program directory set up for one model, and the simulator playing it.
class Bench {
public:
    explicit Bench(int model) : model_(model), program_dir_(sandbox_ / "program") {
        fs::create_directories(program_dir_);
    }

    // Settings for a short cycle of the model, plus `extra` INI text.
    void write_settings(const std::string& extra = "") {
        const std::string text = "[порт]\r\ndevice_type=0" + std::to_string(model_) +
                                 "000000\r\n[время]\r\nпосылок_в_секунду=" + std::to_string(kRate) +
                                 "\r\n" + (model_ == 0 ? "время7=" : "время5=") +
                                 std::to_string(kCycleSeconds) + "\r\n" + extra;
        test::write_bytes(program_dir_ / "хроматограф.ini", library::utf8_to_cp1251(text));
    }

    [[nodiscard]] bool start_sim(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"chromatograph",
                                      "--model",
                                      std::to_string(model_),
                                      "--rate",
                                      std::to_string(kRate),
                                      "--speed",
                                      kSpeed,
                                      "--truth",
                                      (sandbox_ / "truth.txt").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<ProgramRun>(sandbox_, "sim", kSim, args);
        if (!sim_->started() ||
            !wait_until([&] { return sim_->out_so_far().find('\n') != std::string::npos; },
                        kStartLimit)) {
            return false;
        }
        const std::string out = sim_->out_so_far();
        port_ = out.substr(0, out.find('\n'));
        return !port_.empty();
    }

    // One calibration point per gas: the intended concentration at the truth area, so a
    // measured area equal to the truth gives the intended concentration exactly.
    void write_calibration() {
        std::map<std::string, double> truth;
        std::istringstream in(test::read_bytes(sandbox_ / "truth.txt"));
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            ASSERT_NE(eq, std::string::npos) << line;
            truth[line.substr(0, eq)] = library::parse_number(line.substr(eq + 1)).value_or(0);
        }
        analysis::EtalonPoint point;
        point.repeats = 1;
        const auto gases = analysis::GazList::default_gases();
        for (std::size_t g = 0; g < gases.size(); ++g) {
            ASSERT_EQ(truth.count(gases[g].name), 1u) << gases[g].name;
            ASSERT_GT(truth[gases[g].name], 0.0);
            point.pairs.emplace_back(kIntended[g], truth[gases[g].name]);
        }
        analysis::EtalonStorage storage;
        storage.copyPointsFrom({point});
        ASSERT_TRUE(storage.save((program_dir_ / analysis::EtalonStorage::kFileName).string()));
    }

    std::unique_ptr<ProgramRun> start_console(int cycles,
                                              const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--dir",    program_dir_.string(),  "--port",   port_,
                                      "--cycles", std::to_string(cycles), "--verbose"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto console = std::make_unique<ProgramRun>(sandbox_, "console", kConsole, args);
        EXPECT_TRUE(console->started());
        return console;
    }

    Outcome run_console(int cycles, const std::vector<std::string>& extra = {}) {
        return start_console(cycles, extra)->wait(kRunLimit);
    }

    std::string sim_log() const { return sim_ ? sim_->err_so_far() : ""; }
    std::string settings_text() const {
        return library::cp1251_to_utf8(test::read_bytes(program_dir_ / "хроматограф.ini"));
    }
    const std::string& port() const { return port_; }
    const fs::path& program_dir() const { return program_dir_; }

private:
    test::TempDir sandbox_;
    int model_;
    fs::path program_dir_;
    std::unique_ptr<ProgramRun> sim_;
    std::string port_;
};

// --- whole cycles --------------------------------------------------------------------

struct CycleCase {
    const char* name;
    int model;
    std::vector<std::string> sim_options;
    const char* sim_says;  // expected in the simulator's log
};

void PrintTo(const CycleCase& c, std::ostream* out) {
    *out << c.name;
}

class SimulatedCycle : public testing::TestWithParam<CycleCase> {};

TEST_P(SimulatedCycle, publishes_the_calibrated_concentrations_and_loses_no_point) {
    const CycleCase& c = GetParam();
    Bench bench(c.model);
    bench.write_settings();
    ASSERT_TRUE(bench.start_sim(c.sim_options)) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());

    const Outcome r = bench.run_console(1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, points_line()), 1u) << r.err;
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 1u) << r.out;
    expect_intended_concentrations(lists[0]);
    EXPECT_NE(bench.sim_log().find(c.sim_says), std::string::npos) << bench.sim_log();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimulatedCycle,
    testing::Values(CycleCase{"model_0", 0, {}, "program frame 1: 2 23 30 35 55 70 90 0"},
                    CycleCase{"model_1", 1, {}, "program frame 1: 4 18 70 32 90 0 0 0"},
                    CycleCase{"garbage_1_percent_model_0", 0, {"--garbage", "0.01"}, "cycle 1"},
                    CycleCase{"garbage_1_percent_model_1", 1, {"--garbage", "0.01"}, "cycle 1"},
                    CycleCase{"answer_to_the_second_frame_only",
                              0,
                              {"--answer-second-only"},
                              "program frame 1: 2 23 30 35 55 70 90 0\nvetra-sim: not answered\n"
                              "vetra-sim: program frame 2"}),
    [](const testing::TestParamInfo<CycleCase>& info) { return std::string(info.param.name); });

// --- what the results leave on disk -------------------------------------------------

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

TEST(SimulatedTable, every_published_list_is_a_row_of_the_table_and_a_line_of_text_data) {
    Bench bench(0);
    bench.write_settings();
    ASSERT_TRUE(bench.start_sim()) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());
    const Outcome r = bench.run_console(2);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 2u) << r.out;

    library::SystemClock clock;
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(bench.program_dir() / "default" / "default" / "data.tim", true));
    ASSERT_EQ(table.row_count(), 2);
    const auto& columns = table.columns();
    ASSERT_EQ(columns.size(), 13u);
    EXPECT_EQ(columns[6].key, "сумм_газ");

    std::vector<fs::path> files;
    for (const auto& f : fs::directory_iterator(bench.program_dir() / "TextData")) {
        files.push_back(f.path());
    }
    ASSERT_EQ(files.size(), 1u);
    std::istringstream text(test::read_bytes(files[0]));
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(text, line);) {
        EXPECT_EQ(line.back(), '\r');
        lines.push_back(words(line));
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 15u);
    EXPECT_EQ(lines[0][0], "Time");
    EXPECT_EQ(lines[0][2], "C1");

    for (int row = 0; row < 2; ++row) {
        const auto stored = table.row(row);
        ASSERT_TRUE(stored);
        ASSERT_EQ(lines[row + 1].size(), 15u);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const double published = lists[row].at(columns[i].key);
            EXPECT_NEAR(stored->values[i], published, 1e-6 * std::max(1.0, published))
                << columns[i].key;
            const double written = library::parse_number(lines[row + 1][i + 2]).value_or(-1);
            EXPECT_NEAR(written, published, 0.00006) << columns[i].key;
        }
        EXPECT_EQ(stored->values[13], 0.f);
    }

    // The tool shows the same table: the header row and one line per row.
    test::TempDir sandbox;
    ProgramRun tool(sandbox, "tool", kTool, {"table", "--dir", bench.program_dir().string()});
    const Outcome shown = tool.wait(kStartLimit);
    ASSERT_EQ(shown.status, 0) << shown.err;
    std::istringstream out(shown.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(out, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 3u) << shown.out;
    EXPECT_EQ(rows[0].substr(0, rows[0].find('\t')), "Глубина, м");
    EXPECT_EQ(words(rows[1]).size(), 1u + 2u + 13u);  // depth "-------", date, time, values

    // Asked for a print, it makes the PDF instead of showing the table.
    const fs::path pdf = sandbox.path() / "table.pdf";
    ProgramRun print(sandbox, "print", kTool,
                     {"table", "--dir", bench.program_dir().string(), "--pdf", pdf.string()});
    const Outcome printed = print.wait(kStartLimit);
    ASSERT_EQ(printed.status, 0) << printed.err;
    EXPECT_TRUE(printed.out.empty()) << printed.out;
    EXPECT_EQ(test::read_bytes(pdf).substr(0, 5), "%PDF-");
}

// --- faults ----------------------------------------------------------------------------

TEST(SimulatedFaults, a_line_that_falls_silent_loses_that_cycle_and_the_next_one_works) {
    Bench bench(0);
    bench.write_settings();
    ASSERT_TRUE(bench.start_sim({"--silent-after", "30"})) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());

    const Outcome r = bench.run_console(2);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, kLostConnection + "\n"), 1u) << r.err;
    // A lost cycle finishes nothing and publishes nothing; the second reopens the port.
    EXPECT_EQ(count_of(r.err, "cycle started"), 2u) << r.err;
    EXPECT_EQ(count_of(r.err, "cycle finished"), 1u) << r.err;
    EXPECT_EQ(count_of(r.err, points_line()), 1u) << r.err;
    EXPECT_LT(r.err.find(kLostConnection), r.err.find("cycle finished")) << r.err;
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 1u) << r.out;
    expect_intended_concentrations(lists[0]);
}

TEST(SimulatedFaults, a_chromatograph_that_never_answers_is_reported) {
    Bench bench(1);
    bench.write_settings();
    ASSERT_TRUE(bench.start_sim({"--no-answer"})) << bench.sim_log();

    const Outcome r = bench.run_console(1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, kNoAnswer + "\n"), 1u) << r.err;
    EXPECT_EQ(count_of(r.err, "cycle started"), 0u) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    // The program tried twice.
    EXPECT_EQ(count_of(bench.sim_log(), "not answered"), 2u) << bench.sim_log();
}

TEST(SimulatedFaults, a_cycle_without_its_closing_frame_ends_as_a_lost_connection) {
    Bench bench(1);
    bench.write_settings();
    ASSERT_TRUE(bench.start_sim({"--no-closing-frame"})) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());

    const Outcome r = bench.run_console(1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, kLostConnection + "\n"), 1u) << r.err;
    EXPECT_EQ(count_of(r.err, "cycle finished"), 0u) << r.err;
    // Every gas was done before the line fell silent, so the list was published.
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 1u) << r.out;
    expect_intended_concentrations(lists[0]);
}

TEST(SimulatedFaults, a_console_that_dies_mid_cycle_leaves_the_line_clean_for_the_next) {
    Bench bench(0);
    bench.write_settings();
    ASSERT_TRUE(bench.start_sim()) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());

    {
        const auto dying = bench.start_console(1);
        ASSERT_TRUE(wait_until(
            [&] { return bench.sim_log().find("cycle 1: 90 s") != std::string::npos; }, kRunLimit));
        dying->signal(SIGKILL);
        (void)dying->wait(kRunLimit);
    }
    // What the dead reader left unread must not reach the next one.
    EXPECT_TRUE(wait_until(
        [&] {
            return bench.sim_log().find(
                       "cycle 1: the program closed the "
                       "port") != std::string::npos;
        },
        kStartLimit))
        << bench.sim_log();
    const Outcome r = bench.run_console(1);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, points_line()), 1u) << r.err;
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 1u) << r.out;
    expect_intended_concentrations(lists[0]);
}

// --- the built-in totalizer ---------------------------------------------------------------

// In the time mode the link streams totalizer readings while it waits; the cycle that falls
// due meanwhile starts once the stream has ended with its closing frame.
TEST(SimulatedTotalizer, streams_between_cycles_and_the_due_cycle_follows) {
    Bench bench(1);
    bench.write_settings("[газосумматор]\r\nuse=1\r\n[VetraSystem]\r\ntime_mode_period=1\r\n");
    ASSERT_TRUE(bench.start_sim({"--totalizer-seconds", "40"})) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());

    const Outcome r = bench.run_console(1, {"--mode", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Газосумматор не найден"), std::string::npos) << r.err;
    EXPECT_EQ(count_of(r.err, points_line()), 1u) << r.err;
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 1u) << r.out;
    expect_intended_concentrations(lists[0]);
    const std::string log = bench.sim_log();
    EXPECT_GE(count_of(log, "totalizer stream for"), 1u) << log;
    EXPECT_LT(log.find("totalizer stream for"), log.find("program frame 1")) << log;
    // The readings told the program that the totalizer is there.
    const std::string ini = bench.settings_text();
    EXPECT_NE(ini.find("present=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("use=1"), std::string::npos) << ini;
}

// --- what a session leaves on disk ------------------------------------------------------------

// A headless workstation leaves what the window leaves: a run file per minute, the history
// of both cycles and the journal of the session.
TEST(SimulatedStorage, two_cycles_leave_run_files_the_history_and_the_journal) {
    Bench bench(0);
    bench.write_settings("[VetraSystem]\r\nsave_science_values=1\r\n");
    fs::create_directory(bench.program_dir() / "Analiz");
    ASSERT_TRUE(bench.start_sim()) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());

    const Outcome r = bench.run_console(2);
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(count_of(r.err, points_line()), 2u) << r.err;

    int run_files = 0;
    for (const auto& day : fs::directory_iterator(bench.program_dir() / "Analiz")) {
        for (const auto& file : fs::directory_iterator(day.path())) {
            // Beside each run file, the program's own file of what a re-run needs.
            if (file.path().extension() == ".rzx") {
                EXPECT_TRUE(fs::exists(fs::path(file.path()).replace_extension(".rzg")));
                continue;
            }
            ++run_files;
            ASSERT_EQ(file.path().extension(), ".rzg");
            std::istringstream in(test::read_bytes(file.path()), std::ios::binary);
            std::string head(14, '\0');
            in.read(head.data(), 14);
            EXPECT_EQ(head, "VetraGazCurve" + std::string(1, '\1'));
            display::ChromatogramPlot plot;
            storage::read_plot(plot, in);
            EXPECT_EQ(plot.point_count(), kCycleSeconds * kRate);
            EXPECT_NEAR(plot.seconds.back(), kCycleSeconds, 1);  // the seconds came along
            std::string calc(9, '\0');
            in.read(calc.data(), 9);
            EXPECT_EQ(calc, std::string("CALC\0\6\0\0\0", 9));
        }
    }
    EXPECT_GE(run_files, 1);  // both cycles may end within one minute
    EXPECT_LE(run_files, 2);

    storage::History history;
    history.load((bench.program_dir() / "vetra2.history").string());
    ASSERT_EQ(history.count(), 2);
    for (int i = 0; i < 2; ++i) {
        const auto& entry = history.entry(i);
        EXPECT_EQ(entry.point_count(), kCycleSeconds * kRate / 4 - 1);
        EXPECT_EQ(entry.message.rfind("Дата: ", 0), 0u) << entry.message;
        ASSERT_EQ(entry.windows.size(), 6u);
        EXPECT_TRUE(entry.windows[5].has_result);
    }

    const std::string journal =
        library::cp1251_to_utf8(test::read_bytes(bench.program_dir() / "события.txt"));
    EXPECT_EQ(count_of(journal, "]     Запуск программы\r\n"), 1u) << journal;
    EXPECT_EQ(journal.find("["), 0u) << journal;
    const std::string end = "]     Закрытие программы\r\n\r\n";
    ASSERT_GE(journal.size(), end.size());
    EXPECT_EQ(journal.substr(journal.size() - end.size()), end) << journal;
}

// --- the simulator's own side of the line ---------------------------------------------------

TEST(SimulatorLine, a_bad_checksum_gets_no_answer_and_a_good_frame_a_whole_cycle) {
    Bench bench(1);
    ASSERT_TRUE(bench.start_sim()) << bench.sim_log();
    link::SerialPort port;
    ASSERT_TRUE(port.open(bench.port()));
    ASSERT_TRUE(port.set_timeouts(0, 0, 1000));

    link::ProgramFrame frame = link::program_frame({4, 18, 70, 32, 3, 0, 0, 0});
    link::ProgramFrame broken = frame;
    broken[8] ^= 1;
    ASSERT_TRUE(port.write(broken));
    std::uint8_t answer[2] = {};
    EXPECT_EQ(port.read(answer, 2).count, 0u);
    EXPECT_NE(bench.sim_log().find("bad checksum"), std::string::npos) << bench.sim_log();

    ASSERT_TRUE(port.write(frame));
    ASSERT_EQ(port.read(answer, 2).count, 2u);
    EXPECT_EQ(std::string(answer, answer + 2), "OK");
    // 3 s of ticks from tick 0, one frame each, then the closing frame.
    const std::size_t frames = 3 * 50 * kRate + 1;
    std::vector<std::uint8_t> bytes(4 * frames + 4);
    const auto got = port.read(bytes.data(), bytes.size());
    ASSERT_EQ(got.count, bytes.size());
    for (std::size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(bytes[4 * i], 0x80 | (i & 0x7F)) << "frame " << i;
        ASSERT_EQ(bytes[4 * i + 1] & ~3u, 0u) << "frame " << i;
    }
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 4, bytes.end()),
              std::vector<std::uint8_t>(4, 0xFF));
    // And nothing after it.
    EXPECT_EQ(port.read(answer, 1).count, 0u);
}

// --- the rig's WITS network -----------------------------------------------------------------

TEST(RigWits, the_receiver_gets_the_printed_list_in_ppm_with_the_rig_depth) {
    Bench bench(0);
    test::TempDir rig_dir;
    ProgramRun rig(rig_dir, "wits", kSim, {"wits", "--port", "0", "--depth", "1500.5"});
    std::string address;
    ASSERT_TRUE(wait_until(
        [&] {
            const std::string err = rig.err_so_far();
            const auto at = err.find("listening on ");
            const auto end = err.find('\n', at);
            if (at == std::string::npos || end == std::string::npos) {
                return false;
            }
            address = err.substr(at + 13, end - at - 13);
            return true;
        },
        kStartLimit))
        << rig.err_so_far();
    // The workstation sends to the rig and reads the depth from the same rig, on two links.
    bench.write_settings("[wits]\r\nout=2\r\nout_address=" + address +
                         "\r\nin=2\r\nin_address=" + address + "\r\n");
    ASSERT_TRUE(bench.start_sim()) << bench.sim_log();
    ASSERT_NO_FATAL_FAILURE(bench.write_calibration());
    const Outcome r = bench.run_console(1);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lists = result_lists(r.out);
    ASSERT_EQ(lists.size(), 1u) << r.out;

    std::map<std::string, std::string> items;
    ASSERT_TRUE(wait_until(
        [&] {
            std::istringstream in(rig.out_so_far());
            for (std::string line; std::getline(in, line);) {
                items[line.substr(0, 4)] = line.size() > 5 ? line.substr(5) : "";
            }
            return items.count("1221") == 1;
        },
        kStartLimit))
        << rig.out_so_far();
    EXPECT_EQ(items["1208"], "1500.5");
    // The rig's depth is the depth the table stores, as the station's would be.
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(bench.program_dir() / "default" / "default" / "data.tim", true));
    ASSERT_EQ(table.row_count(), 1);
    EXPECT_FLOAT_EQ(table.row(0)->depth, 1500.5f);
    const char* codes[] = {"1212", "1213", "1214", "1216", "1218", "1221"};
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t g = 0; g < gases.size(); ++g) {
        const double percent = lists[0].at(gases[g].name + "_абс");
        EXPECT_NEAR(library::parse_number(items[codes[g]]).value_or(-1), percent * 10000.0, 0.1)
            << gases[g].name;
    }
}

}  // namespace
}  // namespace vetra::e2e
