// Both totalizers end to end: vetra-console reading the simulated instruments, the station
// hearing every per-second reading, "gsumm.dat" left behind, and the totalizer work mode.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "program_run.h"
#include "storage/totalizer_file.h"
#include "support/temp_dir.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr const char* kSim = VETRA_SIM_PATH;
constexpr auto kTimeLimit = 60s;
constexpr auto kStartLimit = 10s;

class TotalizerE2E : public ::testing::Test {
protected:
    ProgramRun& run(const std::string& tag, const std::vector<std::string>& args) {
        runs_.emplace_back(std::make_unique<ProgramRun>(sandbox_, tag, kSim, args));
        return *runs_.back();
    }
    // The simulator's first line: the pseudo-terminal's path or host:port.
    std::string sim_address(ProgramRun& sim) {
        EXPECT_TRUE(wait_until([&] { return sim.out_so_far().find('\n') != std::string::npos; },
                               kStartLimit));
        const std::string out = sim.out_so_far();
        return out.substr(0, out.find('\n'));
    }
    ProgramRun& station() {
        ProgramRun& st = run("station", {"station", "--no-tcp", "--timeout", "90"});
        EXPECT_TRUE(wait_until(
            [&] { return st.err_so_far().find("receiving results at") != std::string::npos; },
            kStartLimit))
            << st.err_so_far();
        return st;
    }
    void settings(const std::string& utf8) { write_settings(program_dir_, utf8); }
    Outcome console(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--dir", program_dir_.string(), "--verbose"};
        all.insert(all.end(), args.begin(), args.end());
        ProgramRun con(sandbox_, "console", kConsole, all);
        return con.wait(kTimeLimit);
    }
    // The totalizer readings the station printed, in order.
    static std::vector<double> readings(const std::string& station_out) {
        std::vector<double> values;
        std::istringstream in(station_out);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("сумм_газ2=", 0) == 0) {
                values.push_back(
                    library::parse_number(line.substr(line.find('=') + 1)).value_or(-1));
            }
        }
        return values;
    }
    analysis::TotalizerLog log() const {
        analysis::TotalizerLog log;
        (void)storage::load_totalizer_file(log, program_dir_ / "default" / "default" / "gsumm.dat");
        return log;
    }
    void expect_near_all(const std::vector<double>& values, double expected, std::size_t at_least) {
        EXPECT_GE(values.size(), at_least);
        for (double v : values) {
            EXPECT_NEAR(v, expected, 0.002);
        }
    }

    test::TempDir sandbox_;
    fs::path program_dir_ = sandbox_ / "program";
    std::vector<std::unique_ptr<ProgramRun>> runs_;
};

struct BuiltInCase {
    const char* name;
    const char* curve;
    double percent;  // as the program reads it back from the 14-bit codes
};

class BuiltIn : public TotalizerE2E, public ::testing::WithParamInterface<BuiltInCase> {};

// Model 1 between cycles: its stream of totalizer frames becomes one reading a second, on
// the low range below "porog" and on the high range above it.
TEST_P(BuiltIn, per_second_readings_reach_the_station_and_the_log) {
    ProgramRun& sim = run("sim", {"chromatograph", "--model", "1", "--total-gas", GetParam().curve,
                                  "--totalizer-seconds", "60"});
    const std::string port = sim_address(sim);
    ProgramRun& st = station();
    settings("[порт]\r\ndevice_type=01000000\r\n[газосумматор]\r\nuse=1\r\n");
    const Outcome c = console({"--port", port, "--mode", "3", "--timeout", "6"});
    ASSERT_EQ(c.status, 0) << c.err;
    ASSERT_TRUE(wait_until([&] { return st.out_so_far().find("сумм_газ=0") != std::string::npos; },
                           kStartLimit));
    // The very first reading may come from the low range before the high range has spoken.
    std::vector<double> values = readings(st.out_so_far());
    ASSERT_FALSE(values.empty());
    values.erase(values.begin());
    expect_near_all(values, GetParam().percent, 4);
    const analysis::TotalizerLog saved = log();
    ASSERT_GE(saved.size(), 4u);
    EXPECT_NEAR(saved.value(saved.size() - 1), GetParam().percent, 0.002);
    EXPECT_NEAR((saved.time(saved.size() - 1) - saved.time(0)) * 86400, saved.size() - 1, 1.5);
}

INSTANTIATE_TEST_SUITE_P(
    Totalizer, BuiltIn,
    // 0.5 %: code 4096 of channel 1 reads 0.50006; 3 %: code 2457 of channel 2 reads 2.9996.
    ::testing::Values(BuiltInCase{"low_range", "const:0.5", 0.50006},
                      BuiltInCase{"high_range", "const:3", 2.99963}),
    [](const auto& info) { return std::string(info.param.name); });

class External : public TotalizerE2E, public ::testing::WithParamInterface<bool> {};

// Model 0: the external instrument on a pseudo-terminal or over TCP, with junk and bad
// check sums on the line that cost a packet each and nothing else.
TEST_P(External, packets_reach_the_station_and_the_log) {
    std::vector<std::string> args{"totalizer", "--total-gas", "const:0.75", "--interval", "100",
                                  "--garbage", "0.3",         "--bad-sum",  "0.3"};
    if (GetParam()) {
        args.insert(args.end(), {"--tcp-port", "0"});
    }
    ProgramRun& sim = run("totalizer", args);
    const std::string address = sim_address(sim);
    ProgramRun& st = station();
    settings("[порт]\r\nимя_сумм=" + address + "\r\n[газосумматор]\r\nuse=1\r\n");
    const Outcome c = console({"--mode", "3", "--timeout", "5"});
    ASSERT_EQ(c.status, 0) << c.err;
    ASSERT_TRUE(wait_until([&] { return st.out_so_far().find("сумм_газ=0") != std::string::npos; },
                           kStartLimit));
    expect_near_all(readings(st.out_so_far()), 0.75, 5);
    const analysis::TotalizerLog saved = log();
    ASSERT_GE(saved.size(), 2u);
    EXPECT_FLOAT_EQ(saved.value(0), 0.75f);
}

INSTANTIATE_TEST_SUITE_P(Totalizer, External, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "tcp" : "pty"; });

struct ModeCase {
    const char* name;
    const char* curve;
    bool starts;
};

class ThresholdMode : public TotalizerE2E, public ::testing::WithParamInterface<ModeCase> {};

// Mode 4 starts a (demonstration) cycle once the total gas rises above the threshold.
TEST_P(ThresholdMode, starts_a_cycle_only_above_the_threshold) {
    ProgramRun& sim =
        run("totalizer", {"totalizer", "--total-gas", GetParam().curve, "--interval", "100"});
    const std::string address = sim_address(sim);
    settings("[порт]\r\nимя_сумм=" + address +
             "\r\n[газосумматор]\r\nuse=1\r\n[порог]\r\nporog_po_summe_value=0,5\r\n"
             "[время]\r\nпосылок_в_секунду=2\r\n");
    const Outcome c = console({"--demo", "--mode", "4", "--cycles", "1", "--timeout", "8"});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.err.find("vetra-console: cycle started") != std::string::npos, GetParam().starts)
        << c.err;
}

INSTANTIATE_TEST_SUITE_P(Totalizer, ThresholdMode,
                         ::testing::Values(ModeCase{"below", "const:0.4", false},
                                           ModeCase{"rising", "ramp:0:1:6", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vetra::e2e
